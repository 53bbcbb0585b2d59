#include "infobarwindow.h"

#include "core/catalogue/camrecord.h"
#include "ui/widgets/camdescription.h"
#include "core/rules/heartbeatrules.h"

#include "core/state/runningstate.h"
#include "core/keys/keycodes.h"
#include "ui/desktop/pointer.h"
#include "core/geometry/twips.h"
#include "ui/desktop/windowopacity.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/demandtimer.h"
#include "core/state/fullscreentexts.h"
#include "ui/widgets/keypreview.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/twipbox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextEdit>
#include <QWindow>

using namespace fullscreen_layout;

namespace {

const QColor DarkGrey(32, 32, 32);

QFont tahoma(double points)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

} // namespace

Form4::Form4(RunningState &state, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_state(state)
{
    setObjectName(QStringLiteral("Form4"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, DarkGrey);
    setPalette(pal);
    setAutoFillBackground(true);
    const OverlayGeometry design = overlayDesign();
    resize(twips::toPixels(4860), twips::toPixels(design.Height));

    Shape1 = new RoundedBox(QColor(192, 192, 192), QColor(128, 128, 128), this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    placeTwipBox(Shape1, design.Shape1);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(pictures::ImageList1(2));
    Image1->setCursor(pointer::hidden());
    placeTwipBox(Image1, design.Image1);

    Label1 = new QLabel(this);
    Label1->setTextFormat(Qt::PlainText); // the cam's figures, as the server sent them
    Label1->setText(fullscreen_texts::NoCamData);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(tahoma(8.25));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setWordWrap(true);
    QPalette labelPal = Label1->palette();
    labelPal.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(labelPal);
    placeTwipBox(Label1, design.Label1);

    Command1 = new QPushButton(QStringLiteral("Command1"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    placeTwipBox(Command1, {720, 2160, 255, 255});

    RichTextBox1 = new QTextEdit(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setFrameShape(QFrame::NoFrame);
    RichTextBox1->setFont(tahoma(8.25));
    QPalette textPal = RichTextBox1->palette();
    textPal.setColor(QPalette::Base, DarkGrey);
    textPal.setColor(QPalette::Text, QColor(192, 192, 192));
    RichTextBox1->setPalette(textPal);
    RichTextBox1->setPlainText(fullscreen_texts::NoCamData);
    RichTextBox1->setCursor(pointer::hidden());
    RichTextBox1->viewport()->setCursor(pointer::hidden());
    RichTextBox1->viewport()->installEventFilter(this);
    placeTwipBox(RichTextBox1, design.RichTextBox1);

    ShapeX = new QWidget(this);
    ShapeX->setObjectName(QStringLiteral("ShapeX"));
    ShapeX->setAutoFillBackground(true);
    placeTwipBox(ShapeX, design.ShapeX);
    Shape2 = new QLabel(ShapeX);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setPixmap(pictures::commentTab());
    Shape2->setCursor(pointer::hidden());
    placeTwipBox(Shape2, {0, 0, 2385, 375});
    ShapeX->hide();

    Timer1 = new DemandTimer(10, m_state.infoBarOn, this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &DemandTimer::timeout, this, &Form4::Timer1_Timer);

    makeTranslucent(this, Alpha);
    connect(new KeyPreview(this), &KeyPreview::keyPressed, this, &Form4::Form_KeyDown);
}

void Form4::showCamInfo(const QStringList &f)
{
    ShowCamDescription(*RichTextBox1, f, QColor(192, 192, 192), 12);
    QString figures = heartbeat::overlayFigures(f);
    Label1->setText(figures.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Image1->setPixmap(pictures::ratingPicture(CamRecord::field(f, CamRecord::Rating)));
}

void Form4::showState()
{
    Timer1->setEnabled(m_state.infoBarOn);
}

void Form4::fullscreenVisibilityChanged(bool visible)
{
    m_fullscreenVisible = visible;
    Timer1->setWanted(visible);
    if (visible) {
        if (isVisible())
            raise();
    } else if (m_state.infoBarOn) {
        Timer1_Timer();
    }
}

void Form4::fullscreenActivated()
{
    if (isVisible())
        raise();
}

void Form4::setFullscreenFacts(const FullscreenFacts &facts)
{
    m_fullscreenFacts = facts;
}

void Form4::setPointerShown(bool shown)
{
    pointer::showOver(pointerSurfaces(), shown);
}

QList<QWidget *> Form4::pointerSurfaces() const
{
    return {const_cast<Form4 *>(this), Shape2, RichTextBox1};
}

OverlayGeometry Form4::currentGeometry() const
{
    OverlayGeometry g;
    g.Top = twips::fromPixels(frameGeometry().y());
    g.Height = twips::fromPixels(frameGeometry().height());
    g.ShapeX = twipBox(ShapeX);
    g.ShapeXVisible = !ShapeX->isHidden();
    g.RichTextBox1 = twipBox(RichTextBox1);
    g.Label1 = twipBox(Label1);
    g.Image1 = twipBox(Image1);
    g.Shape1 = twipBox(Shape1);
    return g;
}

void Form4::applyGeometry(const OverlayGeometry &g)
{
    placeTwipBox(ShapeX, g.ShapeX);
    placeTwipBox(RichTextBox1, g.RichTextBox1);
    placeTwipBox(Label1, g.Label1);
    placeTwipBox(Image1, g.Image1);
    placeTwipBox(Shape1, g.Shape1);
    ShapeX->setVisible(g.ShapeXVisible);
    const QRect frame = frameGeometry();
    const int top = twips::toPixels(g.Top);
    const int height = twips::toPixels(g.Height);
    if (frame.y() != top || frame.height() != height)
        setGeometry(frame.x(), top, width(), height);
}

void Form4::Timer1_Timer()
{
    if (!m_fullscreenVisible) {
        hide();
        return;
    }
    applyGeometry(layoutOverlay(currentGeometry(), m_fullscreenFacts, twips::fromPixels(frameGeometry().x())));

    if (Label1->text() == fullscreen_texts::NoCamData)
        return;
    if (isHidden()) {
        show();
        raise();
        activateWindow();
    }
}

void Form4::Form_KeyDown(int keyCode)
{
    if (keyCode == keycodes::Escape) {
        // The tick that follows the fullscreen window's hiding hides the overlay.
        emit closeRequested();
        return;
    }
    if (keycodes::commandLetter(keyCode) == QLatin1Char('i')) {
        m_state.infoBarOn = false;
        showState();
        hide();
        emit infoBarSwitchedOff();
        return;
    }
    emit keyRelayed(keyCode, 0);
}

void Form4::RichTextBox1_Click()
{
    // The text box never keeps the focus, so keys keep reaching the window's handler.
    Command1->setFocus(Qt::MouseFocusReason);
}

bool Form4::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == RichTextBox1->viewport() && event->type() == QEvent::MouseButtonRelease
               && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        RichTextBox1_Click();
    }
    return QWidget::eventFilter(watched, event);
}
