#include "keypreview.h"

#include "core/keys/keycodes.h"

#include <QApplication>
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

MainKeyPreview::MainKeyPreview(QWidget &window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    qApp->installEventFilter(this);
}

bool MainKeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != &m_window)
        return false;
    // A key ignored by a widget travels on to its parents; hand it over only where it
    // started: the focused widget, or the window itself when nothing in it has the focus.
    QWidget *focus = QApplication::focusWidget();
    const QWidget *start = focus && focus->window() == &m_window ? focus : &m_window;
    if (widget != start || m_excluded.contains(widget))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const int code = keycodes::virtualKeyCode(key->key(), key->modifiers());
    if (code != 0)
        emit keyPressed(code, 0);
    return false;
}
