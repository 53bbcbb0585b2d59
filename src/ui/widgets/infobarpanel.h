#pragma once
// The Info-Bar: a translucent side panel inside the fullscreen window, over its picture, with
// the cam's name, description, rating and figures.
//
// A child of the fullscreen window: its background and every part on it are drawn at 75 %
// opacity over the picture beneath, by the window itself, so it is one surface with the
// picture: nothing to place or keep on top, translucent with or without a compositor, and
// a redraw of the picture under it costs no picture of the panel made anew. Created hidden;
// its layout timer is enabled exactly while the running state's Info-Bar switch is on: on
// means the panel is sized to the fullscreen window and shown whenever that window is
// visible, as long as the figures label holds cam figures (it never shows while that reads
// "..."). The switch keeps that meaning at every moment, but the tick runs only while the
// fullscreen window is visible and the layout may still change: a tick that moves, resizes,
// shows or hides nothing lets the timer rest until one of what the layout reads changes (the
// fullscreen window's facts, the panel's own position, size or visibility, the figures or
// the unchanged note). The window's hiding runs one tick at once, so the panel goes with it.
// Its keys are the fullscreen window's.
#include "control/views.h"
#include "core/geometry/fullscreenlayout.h"

#include <QWidget>

struct RunningState;
class DemandTimer;
class QLabel;
class QPushButton;
class QTextEdit;
class RoundedBox;

// InfoBarPanel: the translucent Info-Bar panel (`Form4`).
class InfoBarPanel : public QWidget, public CamInfoView, public UnchangedNoteView, public StreamFormatView
{
    Q_OBJECT
public:
    // The panel's opacity, 0 to 255.
    static constexpr int Alpha = 191;

    InfoBarPanel(const RunningState &state, QWidget *fullscreenWindow);

    QWidget *commentTabHolder() const { return m_commentTabHolder; } // `ShapeX`: holds the comment tab at the panel's bottom edge
    QLabel *commentTab() const { return m_commentTab; } // `Shape2`: the comment tab picture
    QTextEdit *descriptionBox() const { return m_descriptionBox; } // `RichTextBox1`: the cam's name and description, read-only
    QPushButton *focusButton() const { return m_focusButton; } // `Command1`: a focus target only
    QLabel *figuresLabel() const { return m_figuresLabel; } // `Label1`: the cam's figures
    QLabel *ratingImage() const { return m_ratingImage; } // `Image1`: the rating picture
    RoundedBox *figuresBox() const { return m_figuresBox; } // `Shape1`: the box behind the rating picture and the figures
    DemandTimer *layoutTimer() const { return m_layoutTimer; } // `Timer1`: shows the Info-Bar switch; the layout loop

    // The cam's name and description, figures and rating strip.
    void showCamInfo(const QStringList &camFields) override;
    // A line under the figures while the cam's picture stays the same; the figures box
    // grows by that line upwards, so nothing below it moves.
    void showUnchangedNote(const QString &note) override;
    // A line under the figures while a video cam plays: its codec and size.
    void showStreamFormat(const QString &format) override;

    // The switch on: the timer runs again, and the panel shows on its tick once it has cam
    // data. The switch off: the timer stops and the panel hides at once.
    void switchOn();
    void switchOff();

    // What the fullscreen window tells the panel.
    void fullscreenVisibilityChanged(bool visible);
    void setFullscreenFacts(const fullscreen_layout::FullscreenFacts &facts);
    // Shows or hides the pointer on the panel's pointer surfaces.
    void setPointerShown(bool shown);

    // The panel's handlers, callable as if the event had happened.
    void onLayoutTick();
    void onDescriptionClicked();

    // The panel's pointer surfaces: the panel, the tab picture and the text box.
    QList<QWidget *> pointerSurfaces() const;

    fullscreen_layout::OverlayGeometry currentGeometry() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *m_commentTabHolder = nullptr;
    QLabel *m_commentTab = nullptr;
    QTextEdit *m_descriptionBox = nullptr;
    QPushButton *m_focusButton = nullptr;
    QLabel *m_figuresLabel = nullptr;
    QLabel *m_ratingImage = nullptr;
    RoundedBox *m_figuresBox = nullptr;
    DemandTimer *m_layoutTimer = nullptr;
    void applyGeometry(const fullscreen_layout::OverlayGeometry &g);
    void createFigures(const fullscreen_layout::OverlayGeometry &design);
    void createDescription(const fullscreen_layout::OverlayGeometry &design);
    void showFigures();
    // Something the layout reads has changed: the tick runs again while the fullscreen
    // window is visible.
    void layoutMayChange();

    const RunningState &m_state;
    QString m_figures;
    QString m_unchangedNote;
    QString m_streamFormat;
    // One of the lines under the figures set; the box grows or shrinks by the lines it gains.
    void setLineUnderFigures(QString &line, const QString &text);
    int linesUnderFigures() const;
    bool m_fullscreenVisible = false;
    fullscreen_layout::FullscreenFacts m_fullscreenFacts;
};
