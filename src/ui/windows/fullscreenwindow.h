#pragma once
// The fullscreen window: the cam picture alone on a black, borderless window covering the
// screen, with its own comment bar, the auto-shuffle countdown and a status box.
//
// Created hidden once and only shown and hidden afterwards. Whenever it is shown it sets its
// geometry to its whole screen and asks for the full-screen state, so it covers the screen
// with or without a window manager that honours the request. Every key pressed in it goes
// to onKeyDown() before any widget: Escape asks to close it (closeRequested()), a key
// that reads as "i" switches the Info-Bar, every other key goes out as keyRelayed() for
// the main window's key commands. After each layout it redraws its picture. While hidden it
// draws no picture: a drawing asked for then is made when the window is shown, with the
// picture it was last given.
//
// The Info-Bar is a translucent panel of this window, over the picture at its left or right
// edge; "i" switches it off while it shows and on otherwise, whichever widget has the focus.
//
// The pointer: hidden over the picture until the mouse moves there, then shown on the
// window's pointer surfaces, the panel's included, until the next tick of the pointer timer.
// The window announces its visibility and knows no other window.
#include "control/views.h"
#include "core/geometry/fullscreenlayout.h"
#include "ui/widgets/commentbar.h"

#include <QImage>
#include <QWidget>

#include <array>

struct RunningState;
class InfoBarPanel;
class LineShape;
class PictureArea;
class QLabel;
class QTimer;
class RoundedBox;

// FullscreenWindow: the fullscreen window.
class FullscreenWindow : public QWidget,
              public TitleView,
              public CommentView,
              public CountdownView
{
    Q_OBJECT
public:
    explicit FullscreenWindow(const RunningState &state, QWidget *parent = nullptr);

    PictureArea *pictureArea() const { return m_pictureArea; } // `picDraw`
    InfoBarPanel *infoBar() const { return m_infoBar; } // `Form4`: the Info-Bar
    QLabel *countdownCaption() const { return m_countdownCaption; } // `AutoRandomLabel`
    const std::array<QLabel *, 2> &countdownBar() const { return m_countdownBar; } // `AutoRandom`: 0 the track, 1 the fill, cut at its width
    QLabel *statusMessage() const { return m_statusMessage; } // `Label1`: the status message
    RoundedBox *statusBox() const { return m_statusBox; } // `Shape3`: the box behind it
    QLabel *commentBackground() const { return m_commentBar.background; } // `Shape1`
    QLabel *commentTab() const { return m_commentBar.tab; } // `Shape2`
    LineShape *commentDivider() const { return m_commentBar.divider; } // `Line1`
    const std::array<QLabel *, 3> &commentLabels() const { return m_commentBar.labels; } // `CamComment`
    QTimer *pointerTimer() const { return m_pointerTimer; } // `Timer1`: hides the pointer and the status box
    // The last pointer position seen over the picture area, twips.
    double lastMouseX() const { return m_lastMouseX; }
    double lastMouseY() const { return m_lastMouseY; }

    const CommentBar &commentBar() const { return m_commentBar; }

    // Shows text in the status box until the next tick of the pointer timer.
    void showStatusMessage(const QString &text);
    // Draws the picture the picture area keeps by the current mode, or when the window shows.
    void drawPicture();
    // The picture area black until the next picture; the picture stays kept.
    void clearPicture();
    // The views of this window besides its picture area (which draws only while the window
    // shows): the title (the cam's, marked as the fullscreen window's), the comment bar, the
    // auto-shuffle countdown (the bar and its text together).
    void showTitle(const QString &title) override;
    void showComment(const QStringList &fields) override;
    void hideComment() override;
    void showCountdown(double fill, const QString &caption) override;
    void setCountdownVisible(bool visible) override;

    // The window's handlers, callable as if the event had happened.
    void onKeyDown(int keyCode);
    void layOut();
    void onPictureMouseMove(double x, double y);
    void onPointerTimer();

    // The surfaces whose pointer is switched.
    QList<QWidget *> pointerSurfaces() const;
    void setPointerShown(bool shown);

    fullscreen_layout::FullscreenGeometry currentGeometry() const;
    // What the overlay's layout needs to know of this window.
    fullscreen_layout::FullscreenFacts overlayFacts() const;

    // The Info-Bar goes to the other edge, and the status box to the edge it leaves.
    void switchInfoBarSide();

    void setVisible(bool visible) override;

signals:
    void closeRequested();
    // A key this window leaves to the main window's key commands (shift state always 0).
    void keyRelayed(int keyCode, int shift);
    void visibilityChanged(bool visible);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PictureArea *m_pictureArea = nullptr;
    QLabel *m_countdownCaption = nullptr;
    std::array<QLabel *, 2> m_countdownBar{};
    QLabel *m_statusMessage = nullptr;
    RoundedBox *m_statusBox = nullptr;
    CommentBar m_commentBar;
    QTimer *m_pointerTimer = nullptr;
    InfoBarPanel *m_infoBar = nullptr;
    double m_lastMouseX = 0;
    double m_lastMouseY = 0;
    void applyGeometry(const fullscreen_layout::FullscreenGeometry &g);
    void coverScreen();
    void createCommentBar(const fullscreen_layout::FullscreenGeometry &design);
    void createStatusAndCountdown(const fullscreen_layout::FullscreenGeometry &design);
    void switchInfoBar();
    // The panel learns what its layout reads of this window.
    void tellInfoBarFacts();

    const RunningState &m_state;
};
