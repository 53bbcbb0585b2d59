#include "keypreview.h"

#include "commands/keycodes.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

KeyPreview::KeyPreview(QWidget *window, std::function<void(int keyCode)> handler)
    : QObject(window)
    , m_handler(std::move(handler))
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
        m_handler(code);
    return true;
}

void relayKeyCode(QLineEdit *mailbox, int keyCode)
{
    if (!mailbox || keyCode <= 0 || keyCode > 0xFFFF)
        return;
    mailbox->setText(QString(QChar(char16_t(keyCode))));
}
