#include "fullscreenwindow.h"

#include "core/geometry/twips.h"
#include "core/keys/keycodes.h"
#include "core/rules/heartbeatrules.h"
#include "core/state/fullscreentexts.h"
#include "core/state/runningstate.h"
#include "platform/scaleddrawing.h"
#include "ui/desktop/pointer.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/widgets/keypreview.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/statusbox.h"
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

FullscreenWindow::FullscreenWindow(const RunningState &state, QWidget *parent)
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
    m_pictureArea = new PictureArea(this);
    m_pictureArea->setObjectName(QStringLiteral("picDraw"));
    m_pictureArea->setDrawing(PictureArea::Drawing::WhileVisible);
    // A new mode redraws the picture here after the main window has.
    connect(&state.switches, &ViewerSwitches::scaleModeChanged, this, &FullscreenWindow::drawPicture);
    placeTwipBox(m_pictureArea, design.pictureArea);
    // Movement without a button pressed is what shows the pointer.
    m_pictureArea->setMouseTracking(true);
    m_pictureArea->installEventFilter(this);

    createCommentBar(design);

    createStatusAndCountdown(design);

    // Above the picture and everything on it, and made before the key preview, which
    // covers its widgets too.
    m_infoBar = new InfoBarPanel(state, this);

    m_pointerTimer = new QTimer(this);
    m_pointerTimer->setObjectName(QStringLiteral("Timer1"));
    m_pointerTimer->setInterval(5000);
    connect(m_pointerTimer, &QTimer::timeout, this, &FullscreenWindow::onPointerTimer);

    setPointerShown(false);
    connect(new KeyPreview(this), &KeyPreview::keyPressed, this, &FullscreenWindow::onKeyDown);

    coverScreen();
    layOut();
}

void FullscreenWindow::createCommentBar(const FullscreenGeometry &design)
{
    CommentBarDesign bar;
    bar.commentBackground = design.commentBackground;
    bar.commentTab = design.commentTab;
    bar.dividerX = design.dividerX;
    bar.dividerTop = design.dividerTop;
    bar.dividerBottom = design.dividerBottom;
    bar.commentLabels = design.commentLabels;
    bar.dateCaption = fullscreen_texts::FullscreenDateDesign;
    m_commentBar = buildCommentBar(m_pictureArea, bar);
    // The Info-Bar ends at the comment bar whenever it is up.
    m_commentBar.background->installEventFilter(this);
}

// The status box with its message, and the auto-shuffle countdown bar with its caption.
void FullscreenWindow::createStatusAndCountdown(const FullscreenGeometry &design)
{
    m_statusBox = new RoundedBox(QColor(48, 48, 48), QColor(192, 192, 192), m_pictureArea);
    m_statusBox->setObjectName(QStringLiteral("Shape3"));
    placeTwipBox(m_statusBox, design.statusBox);
    m_statusBox->hide();

    m_statusMessage = new QLabel(fullscreen_texts::StatusText, m_pictureArea);
    m_statusMessage->setObjectName(QStringLiteral("Label1"));
    m_statusMessage->setTextFormat(Qt::PlainText);
    m_statusMessage->setFont(tahoma(9.75, true));
    setTextColor(m_statusMessage, QColor(192, 192, 192));
    placeTwipBox(m_statusMessage, design.statusMessage);
    m_statusMessage->hide();

    const QPixmap barPictures[2] = {pictures::autoShuffleTrack(), pictures::autoShuffleFill()};
    for (int i = 0; i < 2; ++i) {
        m_countdownBar[i] = new QLabel(m_pictureArea);
        m_countdownBar[i]->setObjectName(QStringLiteral("AutoRandom"));
        m_countdownBar[i]->setProperty("Index", i);
        // Not scaled: a narrower widget shows the picture cut at its width.
        m_countdownBar[i]->setPixmap(barPictures[i]);
        m_countdownBar[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        placeTwipBox(m_countdownBar[i], design.countdownBar[i]);
        m_countdownBar[i]->hide();
    }

    m_countdownCaption = new QLabel(fullscreen_texts::AutoShuffleDesign, m_pictureArea);
    m_countdownCaption->setObjectName(QStringLiteral("AutoRandomLabel"));
    m_countdownCaption->setTextFormat(Qt::PlainText);
    m_countdownCaption->setFont(tahoma(9.75, true));
    setTextColor(m_countdownCaption, Qt::white);
    placeTwipBox(m_countdownCaption, design.countdownCaption);
    m_countdownCaption->hide();
}

void FullscreenWindow::showStatusMessage(const QString &text)
{
    // A long message, a saved picture's path above all, widens the box up to the countdown
    // in the middle where that shows, else across the picture.
    const int designWidth = twips::toPixels(fullscreenDesign().statusMessage.width);
    const int right = m_countdownBar[0]->isHidden() ? m_pictureArea->width() - m_statusBox->x()
                                                    : m_countdownBar[0]->x() - twips::toPixels(120);
    const int frame = m_statusBox->width() - m_statusMessage->width();
    showFitted(*m_statusMessage, *m_statusBox, text, designWidth, right - m_statusBox->x() - frame);
}

void FullscreenWindow::drawPicture()
{
    (void)m_pictureArea->redrawPicture(m_state.switches.scaleMode());
}

void FullscreenWindow::clearPicture()
{
    m_pictureArea->clearPicture();
}


void FullscreenWindow::showTitle(const QString &title)
{
    setWindowTitle(title + heartbeat::FullscreenTitleSuffix);
}

void FullscreenWindow::showComment(const QStringList &fields)
{
    fillCommentBar(m_commentBar, fields);
    setCommentBarVisible(m_commentBar, true);
}

void FullscreenWindow::hideComment()
{
    setCommentBarVisible(m_commentBar, false);
}

void FullscreenWindow::showCountdown(double fill, const QString &caption)
{
    QLabel *track = m_countdownBar[0];
    m_countdownBar[1]->resize(int(fill * track->width() + 0.5), m_countdownBar[1]->height());
    m_countdownCaption->setText(caption);
}

void FullscreenWindow::setCountdownVisible(bool visible)
{
    m_countdownBar[0]->setVisible(visible);
    m_countdownBar[1]->setVisible(visible);
    m_countdownCaption->setVisible(visible);
}

void FullscreenWindow::onKeyDown(int keyCode)
{
    if (keyCode == keycodes::Escape) {
        emit closeRequested();
        return;
    }
    if (keycodes::commandLetter(keyCode) == QLatin1Char('i')) {
        switchInfoBar();
        return;
    }
    emit keyRelayed(keyCode, 0);
}

void FullscreenWindow::switchInfoBar()
{
    if (m_infoBar->isVisible()) {
        m_infoBar->switchOff();
        showStatusMessage(fullscreen_texts::InfoBarDisabled);
    } else {
        m_infoBar->switchOn();
        showStatusMessage(fullscreen_texts::InfoBarEnabled);
    }
    if (m_state.switches.autoShuffle())
        setCountdownVisible(m_infoBar->layoutTimer()->isEnabled());
}

void FullscreenWindow::switchInfoBarSide()
{
    const heartbeat::Sides sides =
        heartbeat::switchSides(twips::fromPixels(width()), twips::fromPixels(m_infoBar->x()),
                               twips::fromPixels(m_infoBar->width()), twips::fromPixels(m_statusBox->width()),
                               twips::fromPixels(m_statusMessage->width()));
    m_infoBar->move(twips::toPixels(sides.overlayLeft), m_infoBar->y());
    m_statusBox->move(twips::toPixels(sides.statusBoxLeft), m_statusBox->y());
    m_statusMessage->move(twips::toPixels(sides.statusMessageLeft), m_statusMessage->y());
}

void FullscreenWindow::tellInfoBarFacts()
{
    if (m_infoBar) // not yet while the window is built
        m_infoBar->setFullscreenFacts(overlayFacts());
}

FullscreenFacts FullscreenWindow::overlayFacts() const
{
    FullscreenFacts facts;
    facts.height = twips::fromPixels(height());
    facts.commentBarVisible = !m_commentBar.background->isHidden();
    facts.commentBarHeight = twips::fromPixels(m_commentBar.background->height());
    return facts;
}

FullscreenGeometry FullscreenWindow::currentGeometry() const
{
    FullscreenGeometry g;
    g.pictureArea = twipBox(m_pictureArea);
    g.countdownCaption = twipBox(m_countdownCaption);
    g.countdownBar = {twipBox(m_countdownBar[0]), twipBox(m_countdownBar[1])};
    g.statusMessage = twipBox(m_statusMessage);
    g.statusBox = twipBox(m_statusBox);
    g.commentLabels = {twipBox(m_commentBar.labels[0]), twipBox(m_commentBar.labels[1]), twipBox(m_commentBar.labels[2])};
    g.dividerX = m_commentBar.divider->x1();
    g.dividerTop = m_commentBar.divider->y1();
    g.dividerBottom = m_commentBar.divider->y2();
    g.commentBackground = twipBox(m_commentBar.background);
    g.commentTab = twipBox(m_commentBar.tab);
    return g;
}

void FullscreenWindow::applyGeometry(const FullscreenGeometry &g)
{
    placeTwipBox(m_pictureArea, g.pictureArea);
    placeTwipBox(m_countdownCaption, g.countdownCaption);
    placeTwipBox(m_countdownBar[0], g.countdownBar[0]);
    placeTwipBox(m_countdownBar[1], g.countdownBar[1]);
    placeTwipBox(m_statusMessage, g.statusMessage);
    placeTwipBox(m_statusBox, g.statusBox);
    for (int i = 0; i < 3; ++i)
        placeTwipBox(m_commentBar.labels[i], g.commentLabels[i]);
    m_commentBar.divider->setLine(g.dividerX, g.dividerTop, g.dividerX, g.dividerBottom);
    placeTwipBox(m_commentBar.background, g.commentBackground);
    placeTwipBox(m_commentBar.tab, g.commentTab);
    if (!m_commentBar.background->isHidden())
        fitCommentText(m_commentBar);
}

void FullscreenWindow::layOut()
{
    const FullscreenGeometry g =
        resizeFullscreen(currentGeometry(), twips::fromPixels(width()), twips::fromPixels(height()),
                         twips::fromPixels(frameGeometry().width()));
    applyGeometry(g);
    // A panel at the right edge stays there when the window's width changes.
    if (m_infoBar->x() > 0)
        m_infoBar->move(width() - m_infoBar->width(), m_infoBar->y());
    drawPicture();
}

void FullscreenWindow::resizeEvent(QResizeEvent *)
{
    layOut();
}

void FullscreenWindow::onPictureMouseMove(double x, double y)
{
    if (x == m_lastMouseX && y == m_lastMouseY)
        return;
    m_lastMouseX = x;
    m_lastMouseY = y;
    setPointerShown(true);
    // Enabling a running timer leaves its countdown alone.
    if (!m_pointerTimer->isActive())
        m_pointerTimer->start();
}

void FullscreenWindow::onPointerTimer()
{
    m_statusBox->hide();
    m_statusMessage->hide();
    setPointerShown(false);
}

QList<QWidget *> FullscreenWindow::pointerSurfaces() const
{
    return {m_pictureArea, m_commentBar.background, m_commentBar.tab, m_commentBar.labels[0], m_commentBar.labels[1], m_commentBar.labels[2]};
}

void FullscreenWindow::setPointerShown(bool shown)
{
    pointer::showOver(pointerSurfaces(), shown);
    m_infoBar->setPointerShown(shown);
}

void FullscreenWindow::coverScreen()
{
    QScreen *s = screen();
    if (!s)
        s = QGuiApplication::primaryScreen();
    if (s)
        setGeometry(s->geometry());
}

void FullscreenWindow::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // The geometry covers the screen where no window manager acts on the state request.
        coverScreen();
        setWindowState(windowState() | Qt::WindowFullScreen);
    }
    QWidget::setVisible(visible);
}

bool FullscreenWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
        tellInfoBarFacts();
        m_infoBar->fullscreenVisibilityChanged(true);
        emit visibilityChanged(true);
        break;
    case QEvent::Hide:
        m_infoBar->fullscreenVisibilityChanged(false);
        emit visibilityChanged(false);
        break;
    case QEvent::Resize:
        tellInfoBarFacts();
        break;
    default:
        break;
    }
    return handled;
}

bool FullscreenWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_commentBar.background) {
        const QEvent::Type type = event->type();
        if (type == QEvent::ShowToParent || type == QEvent::HideToParent || type == QEvent::Resize)
            tellInfoBarFacts();
    }
    if (watched == m_pictureArea && event->type() == QEvent::MouseMove) {
        const QPointF at = static_cast<QMouseEvent *>(event)->position();
        onPictureMouseMove(twips::fromPixels(qRound(at.x())), twips::fromPixels(qRound(at.y())));
    }
    return QWidget::eventFilter(watched, event);
}
