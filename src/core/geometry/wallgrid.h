#pragma once
// The wall's grid: how many rows and columns of tiles a window of a given size shows a
// number of cams in, and where each tile lies.
//
// Every tile shows its picture inline (whole, as large as fits), so what a grid wastes is
// the window's area the pictures leave black. Pictures come in a few shapes (4:3 and 16:9
// by default); a grid is judged by the area a picture of each shape covers in its tiles,
// the shapes counting alike, and the grid wasting least wins. Of grids that waste the same,
// the one with fewer empty cells wins, then the one with fewer rows. Pure arithmetic in
// logical pixels; a window without area or no tiles give an empty grid.
#include <QList>
#include <QRect>
#include <QSize>

namespace wall_grid {

// The most tiles a wall shows.
inline constexpr int MaxTiles = 25;

struct Grid
{
    int rows = 0;
    int columns = 0;

    bool operator==(const Grid &other) const { return rows == other.rows && columns == other.columns; }
};

// Pictures' shapes as width : height.
inline const QList<QSize> CommonShapes{QSize(4, 3), QSize(16, 9)};

// The grid for tiles tiles (at most MaxTiles are counted) in a window of this size.
Grid bestGrid(int tiles, const QSize &window, const QList<QSize> &shapes = CommonShapes);

// The rectangle of tile index, row by row from the top left; the tiles share the window's
// pixels out so that neighbours meet without gaps and the last row and column end at its
// edges.
QRect tileRect(const Grid &grid, const QSize &window, int index);

} // namespace wall_grid
