#pragma once
// One tile of the wall (`wallTile`): the cam's picture drawn inline on a black picture area
// with its notes (the failure reason, the unchanged badge), and the cam's name under it as
// plain text. A click with the left button, or Enter while the tile has the focus, is
// announced with activated(); the tile with the focus is framed.
#include <QWidget>

class PictureArea;
class QLabel;

class WallTile : public QWidget
{
    Q_OBJECT
public:
    explicit WallTile(const QString &camName, QWidget *parent = nullptr);

    PictureArea *pictureArea() const { return m_area; }
    QLabel *nameLabel() const { return m_name; }

signals:
    void activated();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    PictureArea *m_area;
    QLabel *m_name;
    bool m_pressed = false;
};
