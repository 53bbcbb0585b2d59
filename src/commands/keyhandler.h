#pragma once
// The main window's key commands: the navigation keys move the selection through the cam
// list; "r", "s", "c" and "a" pick a random cam, step the scale mode, switch the comments
// and auto shuffle, the last three saying so in the fullscreen window's status box.
//
// Form_KeyDown() takes virtual-key codes. The main window sees every key before the
// widget that has the focus (MainKeyPreview), keys typed into the interval boxes included;
// the fullscreen and overlay windows relay theirs with their keyRelayed() signals.
#include <QObject>

class CamSelection;
class Form1;
class Form3;
class QWidget;
struct RunningState;

class KeyHandler : public QObject
{
    Q_OBJECT
public:
    KeyHandler(RunningState &state, Form1 &form1, Form3 &form3, CamSelection &selection, QObject *parent = nullptr);

    void Form_KeyDown(int keyCode, int shift);

signals:
    // A command switched the running state's switch; the windows have yet to show it.
    void showCommentsChanged();
    void autoShuffleChanged();

private:
    RunningState &m_state;
    Form1 &m_form1;
    Form3 &m_form3;
    CamSelection &m_selection;
};

// Hands every key pressed in a window to a handler before the focused widget gets it; the
// widget still gets it afterwards. Watches the application, so widgets made later are
// covered too; each key is handed over once, at the widget it was first sent to.
class MainKeyPreview : public QObject
{
    Q_OBJECT
public:
    MainKeyPreview(QWidget &window, KeyHandler &handler, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    KeyHandler &m_handler;
};
