#include "mainwindow.h"

#include "core/state/runningstate.h"
#include "core/state/texts.h"
#include "ui/widgets/camlistwidget.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/camdescription.h"
#include "core/rules/heartbeatrules.h"
#include "ui/widgets/statusbar.h"
#include "ui/widgets/twipgeometry.h"
#include "core/state/fullscreentexts.h"
#include "ui/widgets/picturearea.h"
#include "platform/scaleddrawing.h"
#include "core/geometry/scalemodes.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QButtonGroup>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextEdit>

namespace {

template<typename W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

Form1::Form1(RunningState &state, QWidget *parent)
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

    pctMenuBar = named(new QWidget(client), "pctMenuBar");
    setTwipGeometry(pctMenuBar, 3600, 120, 11415, 375);
    Picture1 = named(new QWidget(pctMenuBar), "Picture1");
    setTwipGeometry(Picture1, 3120, 0, 8055, 375);
    Label1 = named(new QLabel(QStringLiteral("Re&fresh (sec):"), Picture1), "Label1");
    setTwipGeometry(Label1, 0, 60, 1035, 195);
    Text2 = named(new QLineEdit(QStringLiteral("5"), Picture1), "Text2");
    setTwipGeometry(Text2, 1080, 30, 375, 285);
    Label1->setBuddy(Text2);
    Check1 = named(new QCheckBox(QStringLiteral("Show user &comments"), Picture1), "Check1");
    setTwipGeometry(Check1, 1680, 60, 1815, 255);
    Check2 = named(new QCheckBox(QStringLiteral("Auto shuffle"), Picture1), "Check2");
    setTwipGeometry(Check2, 3720, 60, 1335, 255);
    Text3 = named(new QLineEdit(QStringLiteral("60"), Picture1), "Text3");
    setTwipGeometry(Text3, 4920, 30, 375, 285);
    Label2 = named(new QLabel(QStringLiteral("sec."), Picture1), "Label2");
    setTwipGeometry(Label2, 5340, 60, 300, 195);

    VScroll1 = named(new QScrollBar(Qt::Vertical, client), "VScroll1");
    setTwipGeometry(VScroll1, 3240, 120, 255, 10455);
    VScroll1->setRange(0, 0);
    CamList = new CamListWidget(VScroll1, client);
    setTwipGeometry(CamList, 120, 120, 3375, 10455);
    // The scroll bar stands over the list's right edge; dragging its thumb moves the rows.
    VScroll1->raise();
    connect(VScroll1, &QScrollBar::valueChanged, CamList, &CamListWidget::PositionListItems);

    picDraw = named(new PictureArea(client), "picDraw");
    setTwipGeometry(picDraw, 3600, 600, 11400, 8040);
    picOriginal = named(new PictureHolder(client), "picOriginal");

    m_option1Group = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        Option1[i] = named(new QRadioButton(scale_modes::OptionCaptions.at(i), client), "Option1");
        Option1[i]->setProperty("Index", i);
        Option1[i]->hide();
        m_option1Group->addButton(Option1[i], i);
    }
    connect(m_option1Group, &QButtonGroup::idClicked, this,
            [this](int option) { chooseScaleMode(scale_modes::modeForOption(option)); });

    createToolbar();

    pctInfoBar = named(new QWidget(client), "pctInfoBar");
    setTwipGeometry(pctInfoBar, 3600, 8760, 11400, 1695);
    RichTextBox1 = named(new QTextEdit(pctInfoBar), "RichTextBox1");
    RichTextBox1->setReadOnly(true);
    setTwipGeometry(RichTextBox1, 120, 120, 11175, 1095);
    StatusBar1 = new StatusBar(pctInfoBar);
    setTwipGeometry(StatusBar1, 0, 1320, 11295, 375);

    Text1 = named(new QLineEdit(client), "Text1");
    Text1->hide();

    CommentBarDesign bar;
    bar.Shape1 = {0, 5040, 10215, 1575};
    bar.Shape2 = {240, 4680, 2385, 375};
    bar.Line1X = 2280;
    bar.Line1Y1 = 5160;
    bar.Line1Y2 = 6480;
    bar.CamComment = {fullscreen_layout::TwipBox{120, 5400, 2100, 465}, fullscreen_layout::TwipBox{2400, 5160, 7620, 345},
                      fullscreen_layout::TwipBox{120, 5880, 2100, 225}};
    bar.dateCaption = fullscreen_texts::MainDateDesign;
    const CommentBar built = buildCommentBar(picDraw, bar);
    Shape1 = built.Shape1;
    Shape2 = built.Shape2;
    Line1 = built.Line1;
    CamComment = built.CamComment;

    showState();
}

void Form1::showState()
{
    // Setting an unchanged text would move the cursor of a box the user is typing in.
    const auto showText = [](QLineEdit *box, const QString &text) {
        if (box->text() != text) {
            const QSignalBlocker quiet(box);
            box->setText(text);
        }
    };
    showText(Text1, m_state.pictureAddress);
    showText(Text2, m_state.refreshIntervalText);
    showText(Text3, m_state.shuffleIntervalText);
    const auto showCheck = [](QCheckBox *box, bool on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    };
    showCheck(Check1, m_state.showComments);
    showCheck(Check2, m_state.autoShuffle);
    scaleModeButton->setText(scale_modes::caption(m_state.scaleMode));
    const int option = scale_modes::optionForMode(m_state.scaleMode);
    m_option1Group->setExclusive(option >= 0);
    for (int i = 0; i < 3; ++i)
        Option1[i]->setChecked(i == option);
    m_option1Group->setExclusive(true);
}

void Form1::createToolbar()
{
    Toolbar1 = named(new QToolBar(pctMenuBar), "Toolbar1");
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setIconSize(QSize(16, 16));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setTwipGeometry(Toolbar1, 0, 0, 11415, 330);

    scaleModeMenu = named(new QMenu(this), "scaleModeMenu");
    for (const QString &text : scale_modes::MenuItems)
        scaleModeMenu->addAction(text);
    connect(scaleModeMenu, &QMenu::triggered, this, &Form1::toolbarMenuClicked);

    scaleModeButton = named(new QToolButton(Toolbar1), "scaleModeButton");
    scaleModeButton->setIcon(pictures::scaleModeIcon());
    scaleModeButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    scaleModeButton->setPopupMode(QToolButton::MenuButtonPopup);
    scaleModeButton->setMenu(scaleModeMenu);
    Toolbar1->addWidget(scaleModeButton);

    randomCamButton = named(new QToolButton(Toolbar1), "randomCamButton");
    randomCamButton->setText(scale_modes::RandomCam);
    randomCamButton->setIcon(pictures::randomCamIcon());
    randomCamButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Toolbar1->addWidget(randomCamButton);

    for (QToolButton *b : {scaleModeButton, randomCamButton})
        connect(b, &QToolButton::clicked, this, [this, b] { toolbarButtonClicked(b); });

    // The refresh and shuffle controls sit on the strip right of the buttons.
    Picture1->raise();
}

ViewScaleMode Form1::scaleMode() const
{
    return m_state.scaleMode;
}

ScaleError Form1::drawScaled()
{
    return drawScaledPicture(*picDraw, picOriginal->picture(), scaleMode());
}

QSize Form1::pictureAreaSize() const
{
    return picDraw->size();
}

void Form1::setPicture(const QImage &picture)
{
    picOriginal->setPicture(picture);
}

void Form1::drawPicture()
{
    // A failed placement (an area without height, an origin beyond the 16-bit range)
    // leaves the area cleared; the program goes on and the next redraw tries again.
    (void)drawScaled();
}

void Form1::clearPicture()
{
    picDraw->clear();
}

void Form1::showTransferState(const QString &bullets)
{
    picDraw->drawShadowText(bullets);
}

void Form1::showTransferStatistics(const QString &text)
{
    StatusBar1->setPanelText(5, text);
}

void Form1::showCamInfo(const QStringList &f)
{
    ShowCamDescription(*RichTextBox1, f, palette().color(QPalette::Text), 10);
    StatusBar &bar = *StatusBar1;
    bar.setPanelText(1, heartbeat::addedByText(f));
    bar.setPanelText(2, server_text::shown(CamRecord::field(f, CamRecord::ViewCount), server_text::LineLimit));
    bar.setPanelText(3, server_text::shown(CamRecord::field(f, CamRecord::CommentCount), server_text::LineLimit));
    bar.setPanelPicture(2, pictures::ImageList1(8));
    bar.setPanelPicture(3, pictures::ImageList1(7));
    bar.setPanelPicture(4, pictures::ratingPicture(CamRecord::field(f, CamRecord::Rating)));
}

void Form1::showTitle(const QString &title)
{
    setWindowTitle(title);
}

void Form1::showComment(const QStringList &fields)
{
    fillCommentBar(commentBar(), fields);
    setCommentBarVisible(commentBar(), true);
}

void Form1::hideComment()
{
    setCommentBarVisible(commentBar(), false);
}

void Form1::CycleScaleMode()
{
    toolbarButtonClicked(scaleModeButton);
}

void Form1::toolbarButtonClicked(QToolButton *button)
{
    if (button->text() == scale_modes::RandomCam)
        emit randomCamRequested();
    // The scale-mode button steps to the mode after the one in the state.
    if (button == scaleModeButton) {
        const int item = scale_modes::nextMenuItem(scale_modes::caption(m_state.scaleMode));
        if (item > 0)
            toolbarMenuClicked(scaleModeMenu->actions().at(item - 1));
    }
}

void Form1::toolbarMenuClicked(QAction *item)
{
    const int option = scale_modes::optionForMenuText(item->text());
    if (option >= 0)
        chooseScaleMode(scale_modes::modeForOption(option));
}

void Form1::chooseScaleMode(ViewScaleMode mode)
{
    if (mode == ViewScaleMode::Unselected)
        return;
    m_state.scaleMode = mode;
    showState();
    optionClicked();
}

void Form1::optionClicked()
{
    drawPicture();
    emit fullscreenRedrawRequested();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    emit resized();
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Coming back from the taskbar lays the window out again, as a resize would.
    if (event->type() == QEvent::WindowStateChange
        && (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized)
        && !(windowState() & Qt::WindowMinimized))
        emit resized();
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}
