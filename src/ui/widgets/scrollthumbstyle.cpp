#include "scrollthumbstyle.h"

#include <QScrollBar>
#include <QStyleOptionSlider>

void ScrollThumbStyle::apply(QScrollBar *bar)
{
    // Without a base style the proxy follows the application's style.
    auto *style = new ScrollThumbStyle;
    style->setParent(bar);
    bar->setStyle(style);
}

void ScrollThumbStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                          const QWidget *widget) const
{
    const auto *bar = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (control != CC_ScrollBar || !bar || !(bar->subControls & SC_ScrollBarSlider)) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    QStyleOptionSlider rest(*bar);
    rest.subControls &= ~SC_ScrollBarSlider;
    QProxyStyle::drawComplexControl(control, &rest, painter, widget);

    QStyleOptionSlider thumb(*bar);
    thumb.subControls = SC_ScrollBarSlider;
    const bool lightPalette = bar->palette.color(QPalette::Button).lightness() >= 128;
    thumb.palette.setColor(QPalette::Button, bar->palette.color(lightPalette ? QPalette::Mid : QPalette::Light));
    QProxyStyle::drawComplexControl(control, &thumb, painter, widget);
}
