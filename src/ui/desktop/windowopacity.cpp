#include "windowopacity.h"

#include <QWidget>

#include <algorithm>

void makeTranslucent(QWidget *window, int alpha)
{
    window->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}
