#pragma once
// The wall (`wallWindow`): a window of its own showing several cams at once, as a grid of
// tiles sized to the window (wall_grid decides rows and columns; the tiles follow every
// resize).
//
// setCams() makes one tile per name, in order; tileActivated(i) tells that tile i was
// clicked or chosen with Enter. F11 switches the window between full screen and its normal
// size; Escape leaves full screen, else closes the window. Closing only hides it and is
// announced with closed(); fullscreenChanged() tells when the window starts or stops
// covering the screen. tilesMayBeShown() comes whenever tiles may have come into sight
// (the window shown, restored from minimised, resized).
#include "core/geometry/wallgrid.h"

#include <QList>
#include <QWidget>

class PictureView;
class WallTile;

class WallWindow : public QWidget
{
    Q_OBJECT
public:
    explicit WallWindow(QWidget *parent = nullptr);

    void setCams(const QStringList &names);
    const QList<WallTile *> &tiles() const { return m_tiles; }
    QList<PictureView *> tileViews() const;
    wall_grid::Grid grid() const { return m_grid; }

    void toggleFullscreen();

signals:
    void tileActivated(int index);
    void closed();
    void fullscreenChanged(bool on);
    void tilesMayBeShown();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void layOutTiles();

    QList<WallTile *> m_tiles;
    wall_grid::Grid m_grid;
};
