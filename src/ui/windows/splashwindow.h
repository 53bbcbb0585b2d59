#pragma once
#include <QWidget>

// SplashWindow: the splash window shown while the cam list is being loaded.
class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);

    // Places the window at the centre of the screen it will appear on.
    void centre();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};
