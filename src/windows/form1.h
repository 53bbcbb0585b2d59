#pragma once
#include <QMainWindow>

class CamListWidget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QTimer;

// Form1: the main window with the cam list, the picture area and the controls above it.
//
// A view over the running state: it keeps no copy of it. A close request never closes the
// window by itself; it is announced with closeRequested() and the application ends the
// program.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    QWidget *pctMenuBar = nullptr;
    QWidget *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text2 = nullptr;   // refresh interval in seconds
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QLineEdit *Text3 = nullptr;   // auto-shuffle interval in seconds
    QLabel *Label2 = nullptr;
    CamListWidget *CamList = nullptr;
    QScrollBar *VScroll1 = nullptr;
    QWidget *picDraw = nullptr;
    QLineEdit *Text1 = nullptr;   // hidden: the selected cam's picture address
    QLineEdit *KeyCodeText = nullptr; // hidden: keystroke mailbox
    QTimer *Timer1 = nullptr;     // the one-second heartbeat

signals:
    void closeRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
};
