#pragma once
#include <QWidget>

// Form2: the splash window shown while the cam list is being loaded.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);

    // Places the window at the centre of the screen it will appear on.
    void centre();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};
