#include "splashwindow.h"

#include "ui/pictures/pictures.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_picture(pictures::splash())
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // 6330 x 3300 twips: the picture fills the client area exactly.
    setFixedSize(m_picture.size());
    centre();
}

void SplashWindow::centre()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect r(QPoint(), size());
    r.moveCenter(screen->geometry().center());
    move(r.topLeft());
}

void SplashWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawPixmap(0, 0, m_picture);
}

void SplashWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}
