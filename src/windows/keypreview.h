#pragma once
// Key preview for a window: every key pressed while the window or any widget in it has the
// focus goes to the handler first, as the key code of commands/keycodes.h, and no widget
// sees it afterwards, so a focused text box cannot swallow a command. Keys without a code
// are swallowed as well. The filter is a child of the window and covers the widgets that
// exist when it is installed.
#include <QObject>

#include <functional>

class QWidget;

class KeyPreview : public QObject
{
    Q_OBJECT
public:
    KeyPreview(QWidget *window, std::function<void(int keyCode)> handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void(int)> m_handler;
};

class QLineEdit;

// Hands a key code to the main window's key handler through its mailbox: the code becomes
// a one-character text, whose change runs the handler once and empties the box again.
void relayKeyCode(QLineEdit *mailbox, int keyCode);
