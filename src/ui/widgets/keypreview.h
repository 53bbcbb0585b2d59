#pragma once
// Key preview for a window: every key pressed while the window or any widget in it has the
// focus is announced first (keyPressed()), as the key code of commands/keycodes.h, and no widget
// sees it afterwards, so a focused text box cannot swallow a command. Keys without a code
// are swallowed as well. The filter is a child of the window and covers the widgets that
// exist when it is installed.
#include <QList>
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

// The main window's preview: every key pressed in the window is announced (keyPressed())
// before the focused widget gets it, and the widget still gets it afterwards. Watches the
// application, so widgets made later are covered too; each key is announced once, at the
// widget it was first sent to.
class MainKeyPreview : public QObject
{
    Q_OBJECT
public:
    MainKeyPreview(QWidget &window, QObject *parent = nullptr);

    // A widget whose keys are its own and never commands (a text field for words).
    void exclude(const QWidget *widget) { m_excluded.append(widget); }

signals:
    // The key as a virtual-key code; the shift state is always 0.
    void keyPressed(int keyCode, int shift);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    QList<const QWidget *> m_excluded;
};
