#pragma once
// A scroll bar style whose thumb stands out from its track. The default style draws the
// thumb a shade lighter than the button colour and the track a shade darker, which on the
// usual light palettes is near-white on light grey: the thumb can hardly be found. This
// style draws everything as the application's style does, then the thumb over it in the
// palette's Mid colour (Light on a dark palette).
#include <QProxyStyle>

class QScrollBar;

class ScrollThumbStyle : public QProxyStyle
{
    Q_OBJECT
public:
    // Gives bar this style; the style lives as long as the bar.
    static void apply(QScrollBar *bar);

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override;
};
