#pragma once
// Makes a widget inside a window translucent: alpha 0 (invisible) to 255 (opaque), applied to
// the widget and everything in it, blended over what lies beneath it in the same window.
// The window draws the blend itself, so it needs no compositor and no window of its own.
class QWidget;

void makeTranslucent(QWidget *widget, int alpha);
