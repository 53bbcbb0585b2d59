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

// MainWindow: the main window with the cam list, the picture area and the controls above it.
//
// A view over the running state: it reads it and never writes it. The picture address, the
// scale mode, the switches and the interval boxes show the state's values and follow its
// changes; the user's edits of them, and the toolbar's scale-mode choices, are announced as
// requests. A close request never closes the window by itself; it is announced with
// closeRequested() and the application ends the program.
//
// The scale mode is shown by the hidden scale-mode options and by name on the toolbar's
// scale-mode button; a new mode redraws the main picture area. The "Random Cam" button
// announces randomCamRequested() and never touches the mode.
class MainWindow : public QMainWindow,
              public TransferView,
              public CamInfoView,
              public TitleView,
              public CommentView
{
    Q_OBJECT
public:
    explicit MainWindow(const RunningState &state, QWidget *parent = nullptr);

    QWidget *menuStrip() const { return m_menuStrip; } // `pctMenuBar`
    QWidget *intervalStrip() const { return m_intervalStrip; } // `Picture1`
    QLabel *refreshLabel() const { return m_refreshLabel; } // `Label1`
    QLineEdit *refreshIntervalEdit() const { return m_refreshIntervalEdit; } // `Text2`: refresh interval in seconds
    QCheckBox *showCommentsCheck() const { return m_showCommentsCheck; } // `Check1`
    QCheckBox *autoShuffleCheck() const { return m_autoShuffleCheck; } // `Check2`
    QLineEdit *shuffleIntervalEdit() const { return m_shuffleIntervalEdit; } // `Text3`: auto-shuffle interval in seconds
    QLabel *secondsLabel() const { return m_secondsLabel; } // `Label2`
    CamListWidget *camList() const { return m_camList; } // `CamList`
    QScrollBar *camListScrollBar() const { return m_camListScrollBar; } // `VScroll1`
    PictureArea *pictureArea() const { return m_pictureArea; } // `picDraw`
    const std::array<QRadioButton *, 3> &scaleModeOptions() const { return m_scaleModeOptions; } // `Option1`: hidden: shows the scale mode
    QToolBar *toolbar() const { return m_toolbar; } // `Toolbar1`
    QToolButton *scaleModeButton() const { return m_scaleModeButton; } // `scaleModeButton`: button 1, captioned with the mode
    QToolButton *randomCamButton() const { return m_randomCamButton; } // `randomCamButton`: button 2
    QToolButton *wallButton() const { return m_wallButton; } // `wallButton`: opens the wall (Ctrl+G)
    QMenu *scaleModeMenu() const { return m_scaleModeMenu; } // `scaleModeMenu`
    QLineEdit *pictureAddressEdit() const { return m_pictureAddressEdit; } // `Text1`: hidden: shows the selected cam's picture address
    // The comment bar over the bottom of the picture area.
    QLabel *commentBackground() const { return m_commentBar.background; } // `Shape1`
    QLabel *commentTab() const { return m_commentBar.tab; } // `Shape2`
    LineShape *commentDivider() const { return m_commentBar.divider; } // `Line1`
    const std::array<QLabel *, 3> &commentLabels() const { return m_commentBar.labels; } // `CamComment`: name, text, date
    QWidget *infoStrip() const { return m_infoStrip; } // `pctInfoBar`
    QTextEdit *descriptionBox() const { return m_descriptionBox; } // `RichTextBox1`: the cam's name and description
    StatusBar *camStatusBar() const { return m_camStatusBar; } // `StatusBar1`
    const CommentBar &commentBar() const { return m_commentBar; }

    // The running state's mode.
    ViewScaleMode scaleMode() const;

    // Draws the picture the picture area keeps by the current mode (a resize, a mode change).
    void drawPicture();
    // The picture area black until the next picture; the picture stays kept.
    void clearPicture();

    // The views of this window besides its picture area: the bullets over the picture and the
    // transfer figures in the status bar's panel 5, the cam's description and its figures in
    // panels 1 to 4, the title, the comment bar.
    void showTransferState(const QString &bullets) override;
    void showTransferStatistics(const QString &text) override;
    // A message for the user in the status bar's last panel, until the next transfer's
    // figures take its place.
    void showStatusMessage(const QString &text);
    void clearTransferState() override;
    void showCamInfo(const QStringList &camFields) override;
    void showTitle(const QString &title) override;
    void showComment(const QStringList &fields) override;
    void hideComment() override;

    // Exactly a click on the scale-mode button: a request for the next mode.
    void cycleScaleMode();

    // The toolbar's handlers, callable as if the user had clicked.
    void toolbarButtonClicked(QToolButton *button);
    void toolbarMenuClicked(QAction *item);

signals:
    // The client area changed size, or the window came back from being minimised.
    void resized();
    void closeRequested();
    void randomCamRequested();
    void wallRequested();
    // The user's requests to change what the state holds.
    void scaleModeChosen(ViewScaleMode mode);
    void refreshIntervalEdited(const QString &text);
    void shuffleIntervalEdited(const QString &text);
    void showCommentsSwitched(bool on);
    void autoShuffleSwitched(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *m_menuStrip = nullptr;
    QWidget *m_intervalStrip = nullptr;
    QLabel *m_refreshLabel = nullptr;
    QLineEdit *m_refreshIntervalEdit = nullptr;
    QCheckBox *m_showCommentsCheck = nullptr;
    QCheckBox *m_autoShuffleCheck = nullptr;
    QLineEdit *m_shuffleIntervalEdit = nullptr;
    QLabel *m_secondsLabel = nullptr;
    CamListWidget *m_camList = nullptr;
    QScrollBar *m_camListScrollBar = nullptr;
    PictureArea *m_pictureArea = nullptr;
    std::array<QRadioButton *, 3> m_scaleModeOptions{};
    QToolBar *m_toolbar = nullptr;
    QToolButton *m_scaleModeButton = nullptr;
    QToolButton *m_randomCamButton = nullptr;
    QToolButton *m_wallButton = nullptr;
    QMenu *m_scaleModeMenu = nullptr;
    QLineEdit *m_pictureAddressEdit = nullptr;
    CommentBar m_commentBar;
    QWidget *m_infoStrip = nullptr;
    QTextEdit *m_descriptionBox = nullptr;
    StatusBar *m_camStatusBar = nullptr;
    void createIntervalControls(QWidget *client);
    void createCamList(QWidget *client);
    void createPictureBoxes(QWidget *client);
    void createToolbar();
    void createInfoStrip(QWidget *client);
    void createCommentBar();
    void setUpKeyboardAccess();
    void chooseScaleMode(ViewScaleMode mode);
    void followState();
    void showScaleMode();
    static void showText(QLineEdit *box, const QString &text);
    static void showCheck(QCheckBox *box, bool on);

    const RunningState &m_state;
    QButtonGroup *m_scaleModeOptionGroup = nullptr;
};
