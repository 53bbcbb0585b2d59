#include "translucency.h"

#include <QGraphicsOpacityEffect>
#include <QWidget>

#include <algorithm>

void makeTranslucent(QWidget *widget, int alpha)
{
    auto *effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(std::clamp(alpha, 0, 255) / 255.0);
    widget->setGraphicsEffect(effect);
}
