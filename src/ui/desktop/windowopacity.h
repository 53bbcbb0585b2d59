#pragma once
// Makes a whole window translucent: alpha 0 (invisible) to 255 (opaque), applied to the
// window and everything in it. Call it once, before or after the window is first shown.
// Nothing is reported back: where the platform cannot blend windows (an X server without a
// compositor), the window stays opaque and works as before.
class QWidget;

void makeTranslucent(QWidget *window, int alpha);
