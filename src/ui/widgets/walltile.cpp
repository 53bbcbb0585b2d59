#include "walltile.h"

#include "ui/widgets/picturearea.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

namespace {
// The frame around the tile, in logical pixels; drawn while the tile has the focus.
constexpr int Frame = 2;
} // namespace

WallTile::WallTile(const QString &camName, QWidget *parent)
    : QWidget(parent)
    , m_area(new PictureArea(this))
    , m_name(new QLabel(this))
{
    setObjectName(QStringLiteral("wallTile"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    setPalette(dark);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setText(camName);
    m_name->setAlignment(Qt::AlignCenter);
    m_name->setPalette(dark);
    m_area->setDrawing(PictureArea::Drawing::WhileOnScreen);
    // A redraw on every change of the area's size or pixel ratio.
    connect(m_area, &PictureArea::areaChanged, this, [this] { m_area->redrawPicture(ViewScaleMode::ScaleInline); });
}

void WallTile::resizeEvent(QResizeEvent *)
{
    const int nameHeight = m_name->sizeHint().height();
    const QRect inner = rect().adjusted(Frame, Frame, -Frame, -Frame);
    m_area->setGeometry(inner.adjusted(0, 0, 0, -nameHeight));
    m_name->setGeometry(inner.left(), inner.bottom() + 1 - nameHeight, inner.width(), nameHeight);
}

void WallTile::paintEvent(QPaintEvent *)
{
    if (!hasFocus())
        return;
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::Highlight), Frame));
    p.drawRect(QRectF(rect()).adjusted(Frame / 2.0, Frame / 2.0, -Frame / 2.0, -Frame / 2.0));
}

void WallTile::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void WallTile::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

void WallTile::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->setAccepted(m_pressed);
}

void WallTile::mouseReleaseEvent(QMouseEvent *event)
{
    // A press dragged off the tile and let go elsewhere is no click.
    if (m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit activated();
    m_pressed = false;
}

void WallTile::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!event->isAutoRepeat())
            emit activated();
        return;
    }
    QWidget::keyPressEvent(event);
}
