#pragma once
// A one-line message on a box of its own, as the fullscreen window's status box shows it.
//
// showFitted() sets the label to the message and both widgets' widths to what it needs:
// at least `minWidth`, at most `room` (the label's widths; the box stays wider by the
// frame round the label it has now). A message still too wide loses the middle of the
// folder of the path it ends in (core/files/pathelision.h); screen readers get it whole.
#include <QString>

class QLabel;
class QWidget;

void showFitted(QLabel &label, QWidget &box, const QString &message, int minWidth, int room);
