#pragma once
// Key preview for a window: every key pressed while the window or any widget in it has the
// focus is announced first (keyPressed()), as the key code of commands/keycodes.h, and no widget
// sees it afterwards, so a focused text box cannot swallow a command. Keys without a code
// are swallowed as well. The filter is a child of the window and covers the widgets that
// exist when it is installed.
#include <QObject>

class QWidget;

class KeyPreview : public QObject
{
    Q_OBJECT
public:
    explicit KeyPreview(QWidget *window);

signals:
    void keyPressed(int keyCode);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
