#include "desktopkeys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWindow>

namespace {

// Copies the selected text of the text field with the focus; false when the focus is
// not in a text field with selected text.
bool copySelectedText()
{
    QWidget *focus = QApplication::focusWidget();
    if (auto *line = qobject_cast<QLineEdit *>(focus); line && line->hasSelectedText() && line->echoMode() == QLineEdit::Normal) {
        line->copy();
        return true;
    }
    if (auto *text = qobject_cast<QTextEdit *>(focus); text && text->textCursor().hasSelection()) {
        text->copy();
        return true;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(focus); plain && plain->textCursor().hasSelection()) {
        plain->copy();
        return true;
    }
    return false;
}

bool isTextField(const QWidget *w)
{
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QTextEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w)
        || qobject_cast<const QAbstractSpinBox *>(w) || (qobject_cast<const QComboBox *>(w) && static_cast<const QComboBox *>(w)->isEditable());
}

} // namespace

DesktopKeys::DesktopKeys(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

const QWidget *DesktopKeys::windowOf(QObject *watched) const
{
    // A key goes to a window's QWindow first and to its focus widget after.
    const QWidget *window = nullptr;
    if (watched->isWidgetType()) {
        window = static_cast<QWidget *>(watched)->window();
    } else if (auto *handle = qobject_cast<QWindow *>(watched)) {
        for (const QWidget *top : QApplication::topLevelWidgets())
            if (top->windowHandle() == handle)
                window = top;
    }
    return window;
}

bool DesktopKeys::inOwnWindow(QObject *watched) const
{
    const QWidget *window = windowOf(watched);
    return !window || m_windows.contains(window);
}

bool DesktopKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const bool global = (key->key() == Qt::Key_F11 || key->key() == Qt::Key_F5) && modifiers == Qt::NoModifier;
    const bool quit = key->key() == Qt::Key_Q && modifiers == Qt::ControlModifier;
    if (key->key() == Qt::Key_F11 && m_fullscreenWindows.contains(windowOf(watched)))
        return false;
    if (!inOwnWindow(watched) && (!(global || quit) || isTextField(QApplication::focusWidget())))
        return false;
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
    if (key->key() == Qt::Key_S && modifiers == Qt::ControlModifier) {
        if (!key->isAutoRepeat())
            emit saveRequested();
        return true;
    }
    if (key->key() == Qt::Key_D && modifiers == Qt::ControlModifier) {
        if (!key->isAutoRepeat())
            emit favouriteToggleRequested();
        return true;
    }
    if (key->key() == Qt::Key_C && modifiers == Qt::ControlModifier) {
        // Copied here rather than left to the field, so that the main window's key
        // commands do not take it for "c" as well.
        if (!copySelectedText() && !key->isAutoRepeat())
            emit copyRequested();
        return true;
    }
    const bool slash = key->key() == Qt::Key_Slash && !(modifiers & ~Qt::ShiftModifier) && !m_textFields.contains(watched);
    if ((key->key() == Qt::Key_F && modifiers == Qt::ControlModifier) || slash) {
        if (!key->isAutoRepeat())
            emit findRequested();
        return true;
    }
    return false;
}
