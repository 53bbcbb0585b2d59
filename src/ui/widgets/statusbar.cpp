#include "statusbar.h"

#include "ui/widgets/statusbaraccessible.h"
#include "ui/widgets/tooltiptext.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QStyleOption>

namespace {
// The figures' panels (2 to 4) have fixed widths; the statistics (5) take what their text
// needs and the name of who added the cam (1) the rest.
constexpr std::array<int, 3> FigureWidths{72, 64, 112};
constexpr int Gap = 2;
}

StatusBar::StatusBar(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("StatusBar1"));
    StatusBarAccessible::install();
    m_panels[0].text = QStringLiteral("Cam added by: lumora");
    m_panels[1].text = QStringLiteral("0");
    m_panels[2].text = QStringLiteral("0");
    m_panels[4].text = QStringLiteral("0 kb in 0 sec (0 kb/sec)");
    measureStatistics();
}

StatusBar::Panel *StatusBar::panel(int number)
{
    return number >= 1 && number <= PanelCount ? &m_panels[number - 1] : nullptr;
}

const StatusBar::Panel *StatusBar::panel(int number) const
{
    return number >= 1 && number <= PanelCount ? &m_panels[number - 1] : nullptr;
}

void StatusBar::setPanelText(int number, const QString &text)
{
    Panel *p = panel(number);
    if (!p || p->text == text)
        return;
    p->text = text;
    describePanels();
    // The statistics' width sets every panel's place; while it stays, only this panel
    // changes, and the statistics change at every refresh.
    const int before = m_statsWidth;
    if (number == PanelCount)
        measureStatistics();
    if (m_statsWidth == before)
        update(panelRect(number - 1));
    else
        update();
}

void StatusBar::measureStatistics()
{
    m_statsWidth = fontMetrics().horizontalAdvance(m_panels[PanelCount - 1].text) + 12;
}

void StatusBar::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        measureStatistics();
    QWidget::changeEvent(event);
}

void StatusBar::setPanelName(int number, const QString &name)
{
    if (Panel *p = panel(number)) {
        p->name = name;
        describePanels();
    }
}

QString StatusBar::panelName(int number) const
{
    const Panel *p = panel(number);
    return p ? p->name : QString();
}

QRect StatusBar::panelGeometry(int number) const
{
    return panel(number) ? panelRect(number - 1) : QRect();
}

QString StatusBar::panelToolTip(int number) const
{
    const Panel *p = panel(number);
    if (!p)
        return QString();
    return p->text.isEmpty() ? p->name : p->name + QStringLiteral(": ") + p->text;
}

void StatusBar::describePanels()
{
    QStringList parts;
    for (int number = 1; number <= PanelCount; ++number)
        parts.append(panelToolTip(number));
    setAccessibleDescription(parts.join(QStringLiteral("; ")));
}

bool StatusBar::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    for (int i = 0; i < PanelCount; ++i) {
        if (panelRect(i).contains(help->pos())) {
            QToolTip::showText(help->globalPos(), plainToolTip(panelToolTip(i + 1)), this, panelRect(i));
            return true;
        }
    }
    QToolTip::hideText();
    return true;
}

void StatusBar::setPanelPicture(int number, const QPixmap &picture)
{
    if (Panel *p = panel(number)) {
        p->picture = picture;
        update(panelRect(number - 1));
    }
}

QString StatusBar::panelText(int number) const
{
    const Panel *p = panel(number);
    return p ? p->text : QString();
}

QPixmap StatusBar::panelPicture(int number) const
{
    const Panel *p = panel(number);
    return p ? p->picture : QPixmap();
}

QRect StatusBar::panelRect(int index) const
{
    const int statsWidth = m_statsWidth;
    int figures = 0;
    for (int w : FigureWidths)
        figures += w + Gap;
    const int first = std::max(0, width() - figures - statsWidth - Gap);
    std::array<int, PanelCount> widths{first, FigureWidths[0], FigureWidths[1], FigureWidths[2], 0};
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += widths[i] + Gap;
    const int w = index == PanelCount - 1 ? std::max(0, width() - left) : widths[index];
    return {left, 0, w, height()};
}

void StatusBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    for (int i = 0; i < PanelCount; ++i) {
        const QRect r = panelRect(i).adjusted(0, 1, 0, -1);
        if (r.width() <= 0)
            continue;
        // A sunken frame per panel.
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        const Panel &panel = m_panels[i];
        QRect inner = r.adjusted(3, 1, -3, -1);
        p.save();
        p.setClipRect(inner);
        if (!panel.picture.isNull()) {
            const int y = inner.top() + (inner.height() - panel.picture.height()) / 2;
            p.drawPixmap(inner.left(), y, panel.picture);
            inner.setLeft(inner.left() + panel.picture.width() + 4);
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, panel.text);
        p.restore();
    }
}
