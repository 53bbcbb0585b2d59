#include "infobarpanel.h"

#include "core/catalogue/camrecord.h"
#include "core/rules/heartbeatrules.h"
#include "ui/widgets/camdescription.h"

#include "core/geometry/twips.h"
#include "core/state/fullscreentexts.h"
#include "core/state/runningstate.h"
#include "ui/desktop/pointer.h"
#include "ui/desktop/translucency.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/twipbox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QTextEdit>

using namespace fullscreen_layout;

namespace {

const QColor DarkGrey(32, 32, 32);
const QColor LightGrey(192, 192, 192);

QColor seeThrough(const QColor &colour) { return translucent(colour, InfoBarPanel::Alpha); }

// A widget whose pixels are never drawn: the panel's focus target lies behind the
// description, which lets the panel show through.
class Unpainted : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Paint; }
};

QFont tahoma(double points)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

} // namespace

InfoBarPanel::InfoBarPanel(const RunningState &state, QWidget *fullscreenWindow)
    : QWidget(fullscreenWindow)
    , m_state(state)
{
    setObjectName(QStringLiteral("Form4"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, DarkGrey);
    setPalette(pal);
    // The panel draws its own background, see-through; every part on it is as well.
    setAutoFillBackground(false);
    const OverlayGeometry design = overlayDesign();
    resize(twips::toPixels(4860), twips::toPixels(design.height));

    createFigures(design);

    m_focusButton = new QPushButton(QStringLiteral("Command1"), this);
    m_focusButton->setObjectName(QStringLiteral("Command1"));
    m_focusButton->installEventFilter(new Unpainted(m_focusButton));
    placeTwipBox(m_focusButton, {720, 2160, 255, 255});

    createDescription(design);

    m_layoutTimer = new DemandTimer(10, m_state.switches.infoBarOn(), this);
    m_layoutTimer->setObjectName(QStringLiteral("Timer1"));
    connect(m_layoutTimer, &DemandTimer::timeout, this, &InfoBarPanel::onLayoutTick);
    // The timer is the switch: its changes are requests, and it follows the state's.
    connect(&m_state.switches, &ViewerSwitches::infoBarOnChanged, m_layoutTimer, &DemandTimer::setEnabled);

    hide();
}

// The rating strip and the cam's figures on their box.
void InfoBarPanel::createFigures(const OverlayGeometry &design)
{
    m_figuresBox = new RoundedBox(seeThrough(LightGrey), seeThrough(QColor(128, 128, 128)), this);
    m_figuresBox->setObjectName(QStringLiteral("Shape1"));
    placeTwipBox(m_figuresBox, design.figuresBox);

    m_ratingImage = new QLabel(this);
    m_ratingImage->setObjectName(QStringLiteral("Image1"));
    m_ratingImage->setPixmap(translucent(pictures::imageListPicture(2), Alpha));
    m_ratingImage->setCursor(pointer::hidden());
    placeTwipBox(m_ratingImage, design.ratingImage);

    m_figuresLabel = new QLabel(this);
    m_figuresLabel->setTextFormat(Qt::PlainText); // the cam's figures, as the server sent them
    m_figuresLabel->setText(fullscreen_texts::NoCamData);
    m_figuresLabel->setObjectName(QStringLiteral("Label1"));
    m_figuresLabel->setFont(tahoma(8.25));
    m_figuresLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_figuresLabel->setWordWrap(true);
    QPalette labelPal = m_figuresLabel->palette();
    labelPal.setColor(QPalette::WindowText, seeThrough(Qt::black));
    m_figuresLabel->setPalette(labelPal);
    placeTwipBox(m_figuresLabel, design.figuresLabel);
}

// The cam's name and description, and the comment tab at the bottom edge.
void InfoBarPanel::createDescription(const OverlayGeometry &design)
{
    m_descriptionBox = new QTextEdit(this);
    m_descriptionBox->setObjectName(QStringLiteral("RichTextBox1"));
    m_descriptionBox->setReadOnly(true);
    m_descriptionBox->setFrameShape(QFrame::NoFrame);
    m_descriptionBox->setFont(tahoma(8.25));
    QPalette textPal = m_descriptionBox->palette();
    textPal.setColor(QPalette::Base, Qt::transparent);
    textPal.setColor(QPalette::Text, seeThrough(LightGrey));
    m_descriptionBox->setPalette(textPal);
    m_descriptionBox->setPlainText(fullscreen_texts::NoCamData);
    m_descriptionBox->setCursor(pointer::hidden());
    m_descriptionBox->viewport()->setCursor(pointer::hidden());
    m_descriptionBox->viewport()->setAutoFillBackground(false);
    m_descriptionBox->viewport()->installEventFilter(this);
    placeTwipBox(m_descriptionBox, design.descriptionBox);

    m_commentTabHolder = new QWidget(this);
    m_commentTabHolder->setObjectName(QStringLiteral("ShapeX"));
    placeTwipBox(m_commentTabHolder, design.commentTabHolder);
    m_commentTab = new QLabel(m_commentTabHolder);
    m_commentTab->setObjectName(QStringLiteral("Shape2"));
    m_commentTab->setPixmap(translucent(pictures::commentTab(), Alpha));
    m_commentTab->setCursor(pointer::hidden());
    placeTwipBox(m_commentTab, {0, 0, 2385, 375});
    m_commentTabHolder->hide();
}

void InfoBarPanel::showCamInfo(const QStringList &f)
{
    showCamDescription(*m_descriptionBox, f, seeThrough(LightGrey), 12);
    m_figures = heartbeat::overlayFigures(f).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    showFigures();
    m_ratingImage->setPixmap(translucent(pictures::ratingPicture(CamRecord::field(f, CamRecord::Rating)), Alpha));
    layoutMayChange();
}

void InfoBarPanel::showUnchangedNote(const QString &note)
{
    setLineUnderFigures(m_unchangedNote, note);
}

void InfoBarPanel::showStreamFormat(const QString &format)
{
    setLineUnderFigures(m_streamFormat, format);
}

int InfoBarPanel::linesUnderFigures() const
{
    return int(!m_unchangedNote.isEmpty()) + int(!m_streamFormat.isEmpty());
}

void InfoBarPanel::setLineUnderFigures(QString &line, const QString &text)
{
    if (text == line)
        return;
    const int before = linesUnderFigures();
    line = text;
    if (const int gained = linesUnderFigures() - before) {
        // The box and the label take the lines more or less, and the box keeps its foot
        // where it was, as the layout would place it; the description gives way.
        const int shift = m_figuresLabel->fontMetrics().lineSpacing() * gained;
        for (QWidget *w : {static_cast<QWidget *>(m_figuresBox), static_cast<QWidget *>(m_figuresLabel)})
            w->setGeometry(w->x(), w->y() - shift, w->width(), w->height() + shift);
        m_ratingImage->move(m_ratingImage->x(), m_ratingImage->y() - shift);
        m_descriptionBox->resize(m_descriptionBox->width(), m_descriptionBox->height() - shift);
    }
    showFigures();
    layoutMayChange();
}

void InfoBarPanel::showFigures()
{
    // Before the first cam's figures the label keeps saying there are none.
    if (m_figures.isEmpty())
        return;
    QString text = m_figures;
    for (const QString *line : {&m_streamFormat, &m_unchangedNote})
        if (!line->isEmpty())
            text += QLatin1Char('\n') + *line;
    m_figuresLabel->setText(text);
}

void InfoBarPanel::switchOn()
{
    m_layoutTimer->setEnabled(true);
}

void InfoBarPanel::switchOff()
{
    m_layoutTimer->setEnabled(false);
    hide();
}

void InfoBarPanel::fullscreenVisibilityChanged(bool visible)
{
    m_fullscreenVisible = visible;
    m_layoutTimer->setWanted(visible);
    if (!visible && m_state.switches.infoBarOn())
        onLayoutTick();
}

void InfoBarPanel::setFullscreenFacts(const FullscreenFacts &facts)
{
    m_fullscreenFacts = facts;
    layoutMayChange();
}

void InfoBarPanel::layoutMayChange()
{
    m_layoutTimer->setWanted(m_fullscreenVisible);
}

void InfoBarPanel::paintEvent(QPaintEvent *event)
{
    QPainter(this).fillRect(event->rect(), seeThrough(palette().color(QPalette::Window)));
}

void InfoBarPanel::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    layoutMayChange();
}

void InfoBarPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutMayChange();
}

void InfoBarPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    layoutMayChange();
}

void InfoBarPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    layoutMayChange();
}

void InfoBarPanel::setPointerShown(bool shown)
{
    pointer::showOver(pointerSurfaces(), shown);
}

QList<QWidget *> InfoBarPanel::pointerSurfaces() const
{
    return {const_cast<InfoBarPanel *>(this), m_commentTab, m_descriptionBox};
}

OverlayGeometry InfoBarPanel::currentGeometry() const
{
    OverlayGeometry g;
    g.top = twips::fromPixels(y());
    g.height = twips::fromPixels(height());
    g.commentTabHolder = twipBox(m_commentTabHolder);
    g.commentTabShown = !m_commentTabHolder->isHidden();
    g.descriptionBox = twipBox(m_descriptionBox);
    g.figuresLabel = twipBox(m_figuresLabel);
    g.ratingImage = twipBox(m_ratingImage);
    g.figuresBox = twipBox(m_figuresBox);
    return g;
}

void InfoBarPanel::applyGeometry(const OverlayGeometry &g)
{
    placeTwipBox(m_commentTabHolder, g.commentTabHolder);
    placeTwipBox(m_descriptionBox, g.descriptionBox);
    placeTwipBox(m_figuresLabel, g.figuresLabel);
    placeTwipBox(m_ratingImage, g.ratingImage);
    placeTwipBox(m_figuresBox, g.figuresBox);
    m_commentTabHolder->setVisible(g.commentTabShown);
    const int top = twips::toPixels(g.top);
    const int h = twips::toPixels(g.height);
    if (y() != top || height() != h)
        setGeometry(x(), top, width(), h);
}

void InfoBarPanel::onLayoutTick()
{
    if (!m_fullscreenVisible) {
        hide();
        return;
    }
    const OverlayGeometry before = currentGeometry();
    applyGeometry(layoutOverlay(before, m_fullscreenFacts, twips::fromPixels(x())));
    const bool moved = !(currentGeometry() == before);

    if (m_figuresLabel->text() != fullscreen_texts::NoCamData && isHidden()) {
        show();
        return;
    }
    // Nothing to do until something the layout reads changes.
    if (!moved)
        m_layoutTimer->setWanted(false);
}

void InfoBarPanel::onDescriptionClicked()
{
    // The text box never keeps the focus, so keys keep reaching the window's handler.
    m_focusButton->setFocus(Qt::MouseFocusReason);
}

bool InfoBarPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_descriptionBox->viewport() && event->type() == QEvent::MouseButtonRelease
               && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        onDescriptionClicked();
    }
    return QWidget::eventFilter(watched, event);
}
