#pragma once
// The stop message: stop icon, OK button, a title and a text whose lines end in CR LF. It
// is opened modal to its parent window and returns at once; its finished() signal says
// when the user has dismissed it, and it deletes itself then.
#include <QString>

class QMessageBox;
class QWidget;

QMessageBox *openStopMessage(QWidget *parent, const QString &title, const QString &text);
