#include "intervalkeyfilter.h"

#include "core/rules/countdown.h"

#include <QKeyEvent>
#include <QLineEdit>

IntervalKeyFilter::IntervalKeyFilter(QObject *parent)
    : QObject(parent)
{
}

void IntervalKeyFilter::watch(QLineEdit *box) { box->installEventFilter(this); }

bool IntervalKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    // Delete types nothing in the box's sense; only characters are filtered.
    // Tab types nothing either: it moves the focus on.
    if (text.isEmpty() || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false;
    if (countdown::intervalKeyAllowed(text.at(0).unicode()))
        return false;
    emit rejected();
    return true;
}
