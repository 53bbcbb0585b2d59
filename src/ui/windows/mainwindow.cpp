#include "mainwindow.h"

#include "core/geometry/mainlayout.h"
#include "core/geometry/scalemodes.h"
#include "core/geometry/twips.h"
#include "core/state/fullscreentexts.h"
#include "core/state/runningstate.h"
#include "core/state/texts.h"
#include "core/state/walltexts.h"
#include "platform/scaleddrawing.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/scrollthumbstyle.h"
#include "ui/widgets/statusbar.h"
#include "ui/widgets/twipgeometry.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QButtonGroup>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextEdit>

#include <algorithm>

namespace {

template<typename W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

// A control with a caption is at least as large as the caption needs in the font in use;
// the design sizes assume narrower fonts than many systems have.
void fitCaption(QWidget *w, int maxHeight)
{
    const QSize hint = w->sizeHint();
    w->resize(std::max(w->width(), hint.width()), std::clamp(hint.height(), w->height(), std::max(w->height(), maxHeight)));
}

} // namespace

MainWindow::MainWindow(const RunningState &state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(texts::DesignTitle);
    // The controls are measured for a small 8-point dialog font.
    QFont dialogFont(QStringLiteral("Tahoma"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSizeF(8.25);
    setFont(dialogFont);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(client);
    // Design client size: 15495 x 10560 twips.
    resize(twips::toPixels(15495), twips::toPixels(10560));

    // Made in this order, so later widgets stack above earlier ones as the design has them.
    createIntervalControls(client);
    createCamList(client);
    createPictureBoxes(client);
    createToolbar();
    createInfoStrip(client);
    createCommentBar();
    setUpKeyboardAccess();
    followState();
}

// The widgets that show the state show its values now and after every change.
void MainWindow::followState()
{
    const SelectedCam &selection = m_state.selection;
    const ViewerSwitches &switches = m_state.switches;
    showText(m_pictureAddressEdit, selection.pictureAddress());
    showText(m_refreshIntervalEdit, switches.refreshIntervalText());
    showText(m_shuffleIntervalEdit, switches.shuffleIntervalText());
    showCheck(m_showCommentsCheck, switches.showComments());
    showCheck(m_autoShuffleCheck, switches.autoShuffle());
    showScaleMode();
    connect(&selection, &SelectedCam::pictureAddressChanged, this, [this](const QString &address) { showText(m_pictureAddressEdit, address); });
    connect(&switches, &ViewerSwitches::refreshIntervalTextChanged, this, [this](const QString &text) { showText(m_refreshIntervalEdit, text); });
    connect(&switches, &ViewerSwitches::shuffleIntervalTextChanged, this, [this](const QString &text) { showText(m_shuffleIntervalEdit, text); });
    connect(&switches, &ViewerSwitches::showCommentsChanged, this, [this](bool on) { showCheck(m_showCommentsCheck, on); });
    connect(&switches, &ViewerSwitches::autoShuffleChanged, this, [this](bool on) { showCheck(m_autoShuffleCheck, on); });
    // A new mode is shown and drawn here before anyone else hears of it.
    connect(&switches, &ViewerSwitches::scaleModeChanged, this, [this] {
        showScaleMode();
        drawPicture();
    });
    // The user's edits are requests; the state comes back with them.
    connect(m_refreshIntervalEdit, &QLineEdit::textChanged, this, &MainWindow::refreshIntervalEdited);
    connect(m_shuffleIntervalEdit, &QLineEdit::textChanged, this, &MainWindow::shuffleIntervalEdited);
    connect(m_showCommentsCheck, &QCheckBox::toggled, this, &MainWindow::showCommentsSwitched);
    connect(m_autoShuffleCheck, &QCheckBox::toggled, this, &MainWindow::autoShuffleSwitched);
}

// Setting an unchanged text would move the cursor of a box the user is typing in; a box or
// switch that shows the state announces no edit.
void MainWindow::showText(QLineEdit *box, const QString &text)
{
    if (box->text() != text) {
        const QSignalBlocker quiet(box);
        box->setText(text);
    }
}

void MainWindow::showCheck(QCheckBox *box, bool on)
{
    const QSignalBlocker quiet(box);
    box->setChecked(on);
}

// The refresh and auto-shuffle controls on the strip beside the toolbar.
void MainWindow::createIntervalControls(QWidget *client)
{
    m_menuStrip = named(new QWidget(client), "pctMenuBar");
    setTwipGeometry(m_menuStrip, 3600, 120, 11415, 375);
    m_intervalStrip = named(new QWidget(m_menuStrip), "Picture1");
    setTwipGeometry(m_intervalStrip, 3120, 0, 8055, 375);
    m_refreshLabel = named(new QLabel(QStringLiteral("Re&fresh (sec):"), m_intervalStrip), "Label1");
    setTwipGeometry(m_refreshLabel, 0, 60, 1035, 195);
    m_refreshIntervalEdit = named(new QLineEdit(QStringLiteral("5"), m_intervalStrip), "Text2");
    setTwipGeometry(m_refreshIntervalEdit, 1080, 30, 375, 285);
    m_refreshLabel->setBuddy(m_refreshIntervalEdit);
    m_showCommentsCheck = named(new QCheckBox(QStringLiteral("Show user &comments"), m_intervalStrip), "Check1");
    setTwipGeometry(m_showCommentsCheck, 1680, 60, 1815, 255);
    m_autoShuffleCheck = named(new QCheckBox(QStringLiteral("Auto shuffle"), m_intervalStrip), "Check2");
    setTwipGeometry(m_autoShuffleCheck, 3720, 60, 1335, 255);
    m_shuffleIntervalEdit = named(new QLineEdit(QStringLiteral("60"), m_intervalStrip), "Text3");
    setTwipGeometry(m_shuffleIntervalEdit, 4920, 30, 375, 285);
    m_secondsLabel = named(new QLabel(QStringLiteral("sec."), m_intervalStrip), "Label2");
    setTwipGeometry(m_secondsLabel, 5340, 60, 300, 195);

    for (QWidget *w : std::initializer_list<QWidget *>{m_refreshLabel, m_showCommentsCheck, m_autoShuffleCheck, m_secondsLabel})
        fitCaption(w, m_intervalStrip->height() - w->y());
    // The widened controls keep their order, each after the one before.
    main_layout::Input in;
    in.refreshLabelLeft = twips::fromPixels(m_refreshLabel->x());
    in.refreshLabelWidth = twips::fromPixels(m_refreshLabel->width());
    in.refreshEditWidth = twips::fromPixels(m_refreshIntervalEdit->width());
    in.showCommentsWidth = twips::fromPixels(m_showCommentsCheck->width());
    in.autoShuffleWidth = twips::fromPixels(m_autoShuffleCheck->width());
    in.shuffleEditWidth = twips::fromPixels(m_shuffleIntervalEdit->width());
    in.secondsLabelWidth = twips::fromPixels(m_secondsLabel->width());
    const main_layout::IntervalRow row = main_layout::intervalRow(in);
    m_refreshIntervalEdit->move(twips::toPixels(row.refreshEditLeft), m_refreshIntervalEdit->y());
    m_showCommentsCheck->move(twips::toPixels(row.showCommentsLeft), m_showCommentsCheck->y());
    m_autoShuffleCheck->move(twips::toPixels(row.autoShuffleLeft), m_autoShuffleCheck->y());
    m_shuffleIntervalEdit->move(twips::toPixels(row.shuffleEditLeft), m_shuffleIntervalEdit->y());
    m_secondsLabel->move(twips::toPixels(row.secondsLabelLeft), m_secondsLabel->y());
    m_intervalStrip->resize(twips::toPixels(row.width), m_intervalStrip->height());
}

// The list with its scroll bar standing over its right edge.
void MainWindow::createCamList(QWidget *client)
{
    m_camListScrollBar = named(new QScrollBar(Qt::Vertical, client), "VScroll1");
    setTwipGeometry(m_camListScrollBar, 3240, 120, 255, 10455);
    m_camListScrollBar->setRange(0, 0);
    ScrollThumbStyle::apply(m_camListScrollBar);
    m_camList = new CamListWidget(m_camListScrollBar, client);
    setTwipGeometry(m_camList, 120, 120, 3375, 10455);
    // The scroll bar stands over the list's right edge; dragging its thumb moves the rows.
    m_camListScrollBar->raise();
    connect(m_camListScrollBar, &QScrollBar::valueChanged, m_camList, &CamListWidget::positionListItems);
}

// The picture area, the hidden box holding the picture and the hidden scale-mode options.
void MainWindow::createPictureBoxes(QWidget *client)
{
    m_pictureArea = named(new PictureArea(client), "picDraw");
    setTwipGeometry(m_pictureArea, 3600, 600, 11400, 8040);

    m_scaleModeOptionGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        m_scaleModeOptions[i] = named(new QRadioButton(scale_modes::OptionCaptions.at(i), client), "Option1");
        m_scaleModeOptions[i]->setProperty("Index", i);
        m_scaleModeOptions[i]->hide();
        m_scaleModeOptionGroup->addButton(m_scaleModeOptions[i], i);
    }
    connect(m_scaleModeOptionGroup, &QButtonGroup::idClicked, this,
            [this](int option) { chooseScaleMode(scale_modes::modeForOption(option)); });
}

// The cam's description and its status bar under the picture.
void MainWindow::createInfoStrip(QWidget *client)
{
    m_infoStrip = named(new QWidget(client), "pctInfoBar");
    setTwipGeometry(m_infoStrip, 3600, 8760, 11400, 1695);
    m_descriptionBox = named(new QTextEdit(m_infoStrip), "RichTextBox1");
    m_descriptionBox->setReadOnly(true);
    setTwipGeometry(m_descriptionBox, 120, 120, 11175, 1095);
    m_camStatusBar = new StatusBar(m_infoStrip);
    setTwipGeometry(m_camStatusBar, 0, 1320, 11295, 375);

    m_pictureAddressEdit = named(new QLineEdit(client), "Text1");
    m_pictureAddressEdit->hide();
}

void MainWindow::createCommentBar()
{
    CommentBarDesign bar;
    bar.commentBackground = {0, 5040, 10215, 1575};
    bar.commentTab = {240, 4680, 2385, 375};
    bar.dividerX = 2280;
    bar.dividerTop = 5160;
    bar.dividerBottom = 6480;
    bar.commentLabels = {fullscreen_layout::TwipBox{120, 5400, 2100, 465}, fullscreen_layout::TwipBox{2400, 5160, 7620, 345},
                      fullscreen_layout::TwipBox{120, 5880, 2100, 225}};
    bar.dateCaption = fullscreen_texts::MainDateDesign;
    m_commentBar = buildCommentBar(m_pictureArea, bar);
}

void MainWindow::showScaleMode()
{
    m_scaleModeButton->setText(scale_modes::caption(m_state.switches.scaleMode()));
    const int option = scale_modes::optionForMode(m_state.switches.scaleMode());
    m_scaleModeOptionGroup->setExclusive(option >= 0);
    for (int i = 0; i < 3; ++i)
        m_scaleModeOptions[i]->setChecked(i == option);
    m_scaleModeOptionGroup->setExclusive(true);
}

void MainWindow::createToolbar()
{
    m_toolbar = named(new QToolBar(m_menuStrip), "Toolbar1");
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setTwipGeometry(m_toolbar, 0, 0, 11415, 330);

    m_scaleModeMenu = named(new QMenu(this), "scaleModeMenu");
    for (const QString &text : scale_modes::MenuItems)
        m_scaleModeMenu->addAction(text);
    connect(m_scaleModeMenu, &QMenu::triggered, this, &MainWindow::toolbarMenuClicked);

    m_scaleModeButton = named(new QToolButton(m_toolbar), "scaleModeButton");
    m_scaleModeButton->setIcon(pictures::scaleModeIcon());
    m_scaleModeButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_scaleModeButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_scaleModeButton->setMenu(m_scaleModeMenu);
    // As wide as its widest caption, so a new mode never pushes into the interval strip.
    int widest = 0;
    for (const QString &text : scale_modes::MenuItems) {
        m_scaleModeButton->setText(text);
        widest = std::max(widest, m_scaleModeButton->sizeHint().width());
    }
    m_scaleModeButton->setFixedWidth(widest);
    m_toolbar->addWidget(m_scaleModeButton);

    m_randomCamButton = named(new QToolButton(m_toolbar), "randomCamButton");
    m_randomCamButton->setText(scale_modes::RandomCam);
    m_randomCamButton->setIcon(pictures::randomCamIcon());
    m_randomCamButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->addWidget(m_randomCamButton);

    for (QToolButton *b : {m_scaleModeButton, m_randomCamButton})
        connect(b, &QToolButton::clicked, this, [this, b] { toolbarButtonClicked(b); });

    m_wallButton = named(new QToolButton(m_toolbar), "wallButton");
    m_wallButton->setText(wall_texts::ButtonText);
    m_wallButton->setToolTip(wall_texts::ButtonTip);
    m_toolbar->addWidget(m_wallButton);
    connect(m_wallButton, &QToolButton::clicked, this, &MainWindow::wallRequested);
    // The key belongs to the window, wherever the focus is in it.
    auto *openWall = new QAction(this);
    openWall->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    addAction(openWall);
    connect(openWall, &QAction::triggered, this, &MainWindow::wallRequested);
    // The style's margins round the buttons would squeeze them below their icons' height
    // in the strip's design height; the buttons take the whole height instead.
    m_toolbar->layout()->setContentsMargins(2, 1, 2, 1);
    m_toolbar->resize(m_toolbar->width(), m_menuStrip->height());

    // The refresh and shuffle controls sit on the strip right of the buttons.
    m_intervalStrip->raise();
}

void MainWindow::cycleScaleMode()
{
    toolbarButtonClicked(m_scaleModeButton);
}

void MainWindow::toolbarButtonClicked(QToolButton *button)
{
    if (button->text() == scale_modes::RandomCam)
        emit randomCamRequested();
    // The scale-mode button steps to the mode after the one in the state.
    if (button == m_scaleModeButton) {
        const int item = scale_modes::nextMenuItem(scale_modes::caption(m_state.switches.scaleMode()));
        if (item > 0)
            toolbarMenuClicked(m_scaleModeMenu->actions().at(item - 1));
    }
}

void MainWindow::toolbarMenuClicked(QAction *item)
{
    const int option = scale_modes::optionForMenuText(item->text());
    if (option >= 0)
        chooseScaleMode(scale_modes::modeForOption(option));
}

void MainWindow::chooseScaleMode(ViewScaleMode mode)
{
    if (mode != ViewScaleMode::Unselected)
        emit scaleModeChosen(mode);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    emit resized();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Coming back from the taskbar lays the window out again, as a resize would.
    if (event->type() == QEvent::WindowStateChange
        && (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized)
        && !(windowState() & Qt::WindowMinimized))
        emit resized();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}
