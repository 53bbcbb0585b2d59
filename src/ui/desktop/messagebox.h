#pragma once
// The modal stop message: stop icon, OK button, a title and a text whose lines end in CR LF.
#include <QString>

class QWidget;

void showStopMessage(QWidget *parent, const QString &title, const QString &text);
