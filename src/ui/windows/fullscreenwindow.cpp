#include "fullscreenwindow.h"

#include "core/state/runningstate.h"
#include "core/keys/keycodes.h"
#include "ui/desktop/pointer.h"
#include "core/geometry/twips.h"
#include "ui/pictures/pictures.h"
#include "core/rules/heartbeatrules.h"
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/demandtimer.h"
#include "core/state/fullscreentexts.h"
#include "ui/widgets/keypreview.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/twipbox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

using namespace fullscreen_layout;

namespace {

QFont tahoma(double points, bool bold)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void setTextColor(QWidget *w, const QColor &color)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, color);
    w->setPalette(pal);
}

} // namespace

Form3::Form3(RunningState &state, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(fullscreen_texts::Caption);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    const FullscreenGeometry design = fullscreenDesign();
    picDraw = new PictureArea(this);
    picDraw->setObjectName(QStringLiteral("picDraw"));
    placeTwipBox(picDraw, design.picDraw);
    // Movement without a button pressed is what shows the pointer.
    picDraw->setMouseTracking(true);
    picDraw->installEventFilter(this);

    CommentBarDesign bar;
    bar.Shape1 = design.Shape1;
    bar.Shape2 = design.Shape2;
    bar.Line1X = design.Line1X;
    bar.Line1Y1 = design.Line1Y1;
    bar.Line1Y2 = design.Line1Y2;
    bar.CamComment = design.CamComment;
    bar.dateCaption = fullscreen_texts::FullscreenDateDesign;
    const CommentBar built = buildCommentBar(picDraw, bar);
    Shape1 = built.Shape1;
    Shape2 = built.Shape2;
    Line1 = built.Line1;
    CamComment = built.CamComment;
    // The overlay sits on the comment bar whenever it is up.
    Shape1->installEventFilter(this);

    Shape3 = new RoundedBox(QColor(48, 48, 48), QColor(192, 192, 192), picDraw);
    Shape3->setObjectName(QStringLiteral("Shape3"));
    placeTwipBox(Shape3, design.Shape3);
    Shape3->hide();

    Label1 = new QLabel(fullscreen_texts::StatusText, picDraw);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setFont(tahoma(9.75, true));
    setTextColor(Label1, QColor(192, 192, 192));
    placeTwipBox(Label1, design.Label1);
    Label1->hide();

    const QPixmap barPictures[2] = {pictures::autoShuffleTrack(), pictures::autoShuffleFill()};
    for (int i = 0; i < 2; ++i) {
        AutoRandom[i] = new QLabel(picDraw);
        AutoRandom[i]->setObjectName(QStringLiteral("AutoRandom"));
        AutoRandom[i]->setProperty("Index", i);
        // Not scaled: a narrower widget shows the picture cut at its width.
        AutoRandom[i]->setPixmap(barPictures[i]);
        AutoRandom[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        placeTwipBox(AutoRandom[i], design.AutoRandom[i]);
        AutoRandom[i]->hide();
    }

    AutoRandomLabel = new QLabel(fullscreen_texts::AutoShuffleDesign, picDraw);
    AutoRandomLabel->setObjectName(QStringLiteral("AutoRandomLabel"));
    AutoRandomLabel->setTextFormat(Qt::PlainText);
    AutoRandomLabel->setFont(tahoma(9.75, true));
    setTextColor(AutoRandomLabel, Qt::white);
    placeTwipBox(AutoRandomLabel, design.AutoRandomLabel);
    AutoRandomLabel->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, &Form3::Timer1_Timer);

    setPointerShown(false);
    connect(new KeyPreview(this), &KeyPreview::keyPressed, this, &Form3::Form_KeyDown);

    coverScreen();
    Form_Resize();
}

void Form3::showStatusMessage(const QString &text)
{
    Label1->setText(text);
    Label1->show();
    Shape3->show();
}

QSize Form3::pictureAreaSize() const
{
    return picDraw->size();
}

void Form3::setPicture(const QImage &picture)
{
    m_picture = picture;
}

void Form3::drawPicture()
{
    // A failed placement leaves the area cleared; the next redraw tries again.
    (void)drawScaledPicture(*picDraw, m_picture, m_state.scaleMode);
}

void Form3::clearPicture()
{
    picDraw->clear();
}

void Form3::showTitle(const QString &title)
{
    setWindowTitle(title + heartbeat::FullscreenTitleSuffix);
}

void Form3::showComment(const QStringList &fields)
{
    fillCommentBar(commentBar(), fields);
    setCommentBarVisible(commentBar(), true);
}

void Form3::hideComment()
{
    setCommentBarVisible(commentBar(), false);
}

void Form3::showCountdown(double fill, const QString &caption)
{
    QLabel *track = AutoRandom[0];
    AutoRandom[1]->resize(int(fill * track->width() + 0.5), AutoRandom[1]->height());
    AutoRandomLabel->setText(caption);
}

void Form3::setCountdownVisible(bool visible)
{
    AutoRandom[0]->setVisible(visible);
    AutoRandom[1]->setVisible(visible);
    AutoRandomLabel->setVisible(visible);
}

void Form3::Form_KeyDown(int keyCode)
{
    if (keyCode == keycodes::Escape) {
        emit closeRequested();
        return;
    }
    if (keycodes::commandLetter(keyCode) == QLatin1Char('i')) {
        // The overlay is not shown here: its own tick shows it once it has cam data.
        m_state.infoBarOn = true;
        emit infoBarSwitchedOn();
        showStatusMessage(fullscreen_texts::InfoBarEnabled);
        if (m_state.autoShuffle)
            setCountdownVisible(m_state.infoBarOn);
        return;
    }
    emit keyRelayed(keyCode, 0);
}

void Form3::infoBarSwitchedOff()
{
    show();
    activateWindow();
    showStatusMessage(fullscreen_texts::InfoBarDisabled);
    if (m_state.autoShuffle)
        setCountdownVisible(m_state.infoBarOn);
}

FullscreenFacts Form3::overlayFacts() const
{
    FullscreenFacts facts;
    facts.Height = twips::fromPixels(frameGeometry().height());
    facts.commentBarVisible = !Shape1->isHidden();
    facts.commentBarHeight = twips::fromPixels(Shape1->height());
    return facts;
}

FullscreenGeometry Form3::currentGeometry() const
{
    FullscreenGeometry g;
    g.picDraw = twipBox(picDraw);
    g.AutoRandomLabel = twipBox(AutoRandomLabel);
    g.AutoRandom = {twipBox(AutoRandom[0]), twipBox(AutoRandom[1])};
    g.Label1 = twipBox(Label1);
    g.Shape3 = twipBox(Shape3);
    g.CamComment = {twipBox(CamComment[0]), twipBox(CamComment[1]), twipBox(CamComment[2])};
    g.Line1X = Line1->X1();
    g.Line1Y1 = Line1->Y1();
    g.Line1Y2 = Line1->Y2();
    g.Shape1 = twipBox(Shape1);
    g.Shape2 = twipBox(Shape2);
    return g;
}

void Form3::applyGeometry(const FullscreenGeometry &g)
{
    placeTwipBox(picDraw, g.picDraw);
    placeTwipBox(AutoRandomLabel, g.AutoRandomLabel);
    placeTwipBox(AutoRandom[0], g.AutoRandom[0]);
    placeTwipBox(AutoRandom[1], g.AutoRandom[1]);
    placeTwipBox(Label1, g.Label1);
    placeTwipBox(Shape3, g.Shape3);
    for (int i = 0; i < 3; ++i)
        placeTwipBox(CamComment[i], g.CamComment[i]);
    Line1->setLine(g.Line1X, g.Line1Y1, g.Line1X, g.Line1Y2);
    placeTwipBox(Shape1, g.Shape1);
    placeTwipBox(Shape2, g.Shape2);
}

void Form3::Form_Resize()
{
    const FullscreenGeometry g =
        resizeFullscreen(currentGeometry(), twips::fromPixels(width()), twips::fromPixels(height()),
                         twips::fromPixels(frameGeometry().width()));
    applyGeometry(g);
    drawPicture();
}

void Form3::resizeEvent(QResizeEvent *)
{
    Form_Resize();
}

void Form3::picDraw_MouseMove(double x, double y)
{
    if (x == LastMouseX && y == LastMouseY)
        return;
    LastMouseX = x;
    LastMouseY = y;
    setPointerShown(true);
    // Enabling a running timer leaves its countdown alone.
    if (!Timer1->isActive())
        Timer1->start();
}

void Form3::Timer1_Timer()
{
    Shape3->hide();
    Label1->hide();
    setPointerShown(false);
}

QList<QWidget *> Form3::pointerSurfaces() const
{
    return {picDraw, Shape1, Shape2, CamComment[0], CamComment[1], CamComment[2]};
}

void Form3::setPointerShown(bool shown)
{
    pointer::showOver(pointerSurfaces(), shown);
    emit pointerShownChanged(shown);
}

void Form3::coverScreen()
{
    QScreen *s = screen();
    if (!s)
        s = QGuiApplication::primaryScreen();
    if (s)
        setGeometry(s->geometry());
}

void Form3::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // The geometry covers the screen where no window manager acts on the state request.
        coverScreen();
        setWindowState(windowState() | Qt::WindowFullScreen);
    }
    QWidget::setVisible(visible);
}

bool Form3::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
        emit overlayFactsChanged(overlayFacts());
        emit visibilityChanged(true);
        break;
    case QEvent::Hide:
        emit visibilityChanged(false);
        break;
    case QEvent::WindowActivate:
        emit activated();
        break;
    case QEvent::Resize:
    case QEvent::Move:
        emit overlayFactsChanged(overlayFacts());
        break;
    default:
        break;
    }
    return handled;
}

bool Form3::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Shape1) {
        const QEvent::Type type = event->type();
        if (type == QEvent::ShowToParent || type == QEvent::HideToParent || type == QEvent::Resize)
            emit overlayFactsChanged(overlayFacts());
    }
    if (watched == picDraw && event->type() == QEvent::MouseMove) {
        const QPointF at = static_cast<QMouseEvent *>(event)->position();
        picDraw_MouseMove(twips::fromPixels(qRound(at.x())), twips::fromPixels(qRound(at.y())));
    }
    return QWidget::eventFilter(watched, event);
}
