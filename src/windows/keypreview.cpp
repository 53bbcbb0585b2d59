#include "keypreview.h"

#include "commands/keycodes.h"

#include <QKeyEvent>
#include <QWidget>

KeyPreview::KeyPreview(QWidget *window)
    : QObject(window)
{
    window->installEventFilter(this);
    for (QWidget *w : window->findChildren<QWidget *>())
        w->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (const int code = keycodes::virtualKeyCode(key->key(), key->modifiers()))
        emit keyPressed(code);
    return true;
}
