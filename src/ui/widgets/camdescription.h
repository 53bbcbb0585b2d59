#pragma once
// The cam's name and description in a rich text box: the name on the first line at
// size + 2 points, the description below it at size points ("<br>" starts a new line),
// all in one colour, the caret at the start.
#include <QColor>
#include <QStringList>

class QTextEdit;

void showCamDescription(QTextEdit &box, const QStringList &camFields, const QColor &colour, int size);
