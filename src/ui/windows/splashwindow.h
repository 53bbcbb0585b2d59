#pragma once
#include <QWidget>

// SplashWindow: the splash window shown while the cam list is being loaded. A close
// request (the window manager's, Alt+F4) leaves it on screen and announces
// closeRequested(); whoever listens ends the program.
class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);

    // Places the window at the centre of the screen it will appear on.
    void centre();

signals:
    void closeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QPixmap m_picture;
};
