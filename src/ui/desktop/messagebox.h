#pragma once
// The stop message: stop icon, OK button, a title, a text whose lines end in CR LF and,
// under it, a detail line that names the cause. It is opened modal to its parent window,
// above it and above every window that stays on top, and returns at once; its finished()
// signal says when the user has dismissed it, and it deletes itself then. With a
// retryCaption, a Retry button so captioned stands next to OK; OK stays the default, and
// Escape or closing the box count as OK.
#include <QString>

class QMessageBox;
class QWidget;

QMessageBox *openStopMessage(QWidget *parent, const QString &title, const QString &text, const QString &detail,
                             const QString &retryCaption = QString());
