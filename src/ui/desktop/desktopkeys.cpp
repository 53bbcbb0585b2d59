#include "desktopkeys.h"

#include <QApplication>
#include <QKeyEvent>

DesktopKeys::DesktopKeys(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool DesktopKeys::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_F11 && modifiers == Qt::NoModifier) {
        if (!key->isAutoRepeat())
            emit fullscreenToggleRequested();
        return true;
    }
    if (key->key() == Qt::Key_F5 && modifiers == Qt::NoModifier) {
        if (!key->isAutoRepeat())
            emit refreshRequested();
        return true;
    }
    if (key->key() == Qt::Key_Q && modifiers == Qt::ControlModifier) {
        if (!key->isAutoRepeat())
            emit quitRequested();
        return true;
    }
    return false;
}
