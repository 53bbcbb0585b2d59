#pragma once
#include "control/views.h"
#include "core/geometry/scalegeometry.h"
#include "ui/widgets/commentbar.h"

#include <QMainWindow>

#include <array>

struct RunningState;
class CamListWidget;
class LineShape;
class PictureArea;
class PictureHolder;
class QAction;
class QButtonGroup;
class QMenu;
class QRadioButton;
class QToolBar;
class QToolButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QTextEdit;
class StatusBar;

// Form1: the main window with the cam list, the picture area and the controls above it.
//
// A view over the running state: it keeps no copy of it. The picture address, the scale
// mode, the switches and the interval boxes show the state's values (showState()); the
// application pushes the user's edits of the boxes and switches into the state. The
// toolbar's scale-mode choices go into the state here, as the window's own edit. A close request never closes the
// window by itself; it is announced with closeRequested() and the application ends the
// program.
//
// The scale mode is shown by the hidden option group Option1 and by name on the toolbar's
// scale-mode button. A mode change redraws the main picture area and then asks for
// the fullscreen one with fullscreenRedrawRequested(). The "Random Cam" button announces
// randomCamRequested() and never touches the mode.
class Form1 : public QMainWindow,
              public PictureView,
              public TransferView,
              public CamInfoView,
              public TitleView,
              public CommentView
{
    Q_OBJECT
public:
    explicit Form1(RunningState &state, QWidget *parent = nullptr);

    QWidget *pctMenuBar = nullptr;
    QWidget *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text2 = nullptr;   // refresh interval in seconds
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QLineEdit *Text3 = nullptr;   // auto-shuffle interval in seconds
    QLabel *Label2 = nullptr;
    CamListWidget *CamList = nullptr;
    QScrollBar *VScroll1 = nullptr;
    PictureArea *picDraw = nullptr;
    PictureHolder *picOriginal = nullptr; // hidden: the cam picture, unscaled
    std::array<QRadioButton *, 3> Option1{}; // hidden: shows the scale mode
    QToolBar *Toolbar1 = nullptr;
    QToolButton *scaleModeButton = nullptr; // button 1, captioned with the mode
    QToolButton *randomCamButton = nullptr; // button 2
    QMenu *scaleModeMenu = nullptr;
    QLineEdit *Text1 = nullptr;   // hidden: shows the selected cam's picture address
    // The comment bar over the bottom of the picture area.
    QLabel *Shape1 = nullptr;
    QLabel *Shape2 = nullptr;
    LineShape *Line1 = nullptr;
    std::array<QLabel *, 3> CamComment{};
    CommentBar commentBar() const { return {Shape1, Shape2, Line1, CamComment}; }
    QWidget *pctInfoBar = nullptr;
    QTextEdit *RichTextBox1 = nullptr; // the cam's name and description
    StatusBar *StatusBar1 = nullptr;

    // The running state's mode.
    ViewScaleMode scaleMode() const;

    // Brings the widgets that show the running state up to date, without announcing
    // the change as a user's edit.
    void showState();

    // Draws picOriginal into picDraw by the current mode. The area is cleared first; an
    // error of the arithmetic is returned with the area left cleared.
    ScaleError drawScaled();

    // The views of this window: picDraw holding its picture in picOriginal, the bullets
    // over it and the transfer figures in the status bar's panel 5, the cam's description
    // and its figures in panels 1 to 4, the title, the comment bar.
    QSize pictureAreaSize() const override;
    void setPicture(const QImage &picture) override;
    void drawPicture() override;
    void clearPicture() override;
    void showTransferState(const QString &bullets) override;
    void showTransferStatistics(const QString &text) override;
    void showCamInfo(const QStringList &camFields) override;
    void showTitle(const QString &title) override;
    void showComment(const QStringList &fields) override;
    void hideComment() override;

    // Exactly a click on the scale-mode button: the next mode, caption and drawing.
    void CycleScaleMode();

    // The toolbar's handlers, callable as if the user had clicked.
    void toolbarButtonClicked(QToolButton *button);
    void toolbarMenuClicked(QAction *item);
    // Redraws both views in the state's mode.
    void optionClicked();

signals:
    // The client area changed size, or the window came back from being minimised.
    void resized();
    void closeRequested();
    void randomCamRequested();
    void fullscreenRedrawRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createToolbar();
    void chooseScaleMode(ViewScaleMode mode);

    RunningState &m_state;
    QButtonGroup *m_option1Group = nullptr;
};
