#include "wallgrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wall_grid {

namespace {

// The area a picture of this shape covers drawn inline into a tile of this size.
double coveredArea(double tileWidth, double tileHeight, const QSize &shape)
{
    const double aspect = double(shape.width()) / shape.height();
    const double width = std::min(tileWidth, tileHeight * aspect);
    return width * (width / aspect);
}

} // namespace

Grid bestGrid(int tiles, const QSize &window, const QList<QSize> &shapes)
{
    tiles = std::min(tiles, MaxTiles);
    if (tiles <= 0 || window.isEmpty())
        return {};
    Grid best;
    double leastWaste = std::numeric_limits<double>::max();
    int fewestEmpty = 0;
    for (int columns = 1; columns <= tiles; ++columns) {
        const int rows = (tiles + columns - 1) / columns;
        const double tileWidth = double(window.width()) / columns;
        const double tileHeight = double(window.height()) / rows;
        double covered = 0;
        int counted = 0;
        for (const QSize &shape : shapes) {
            if (shape.isEmpty())
                continue;
            covered += coveredArea(tileWidth, tileHeight, shape);
            ++counted;
        }
        if (counted > 0)
            covered = covered / counted * tiles;
        const double waste = double(window.width()) * window.height() - covered;
        const int empty = rows * columns - tiles;
        // Less than a pixel apart counts as the same waste; later grids have no more rows.
        const bool same = std::abs(waste - leastWaste) < 0.5;
        if ((!same && waste < leastWaste) || (same && empty <= fewestEmpty)) {
            best = Grid{rows, columns};
            leastWaste = waste;
            fewestEmpty = empty;
        }
    }
    return best;
}

QRect tileRect(const Grid &grid, const QSize &window, int index)
{
    if (grid.rows <= 0 || grid.columns <= 0 || index < 0 || index >= grid.rows * grid.columns)
        return {};
    const int row = index / grid.columns;
    const int column = index % grid.columns;
    const int left = window.width() * column / grid.columns;
    const int right = window.width() * (column + 1) / grid.columns;
    const int top = window.height() * row / grid.rows;
    const int bottom = window.height() * (row + 1) / grid.rows;
    return QRect(left, top, right - left, bottom - top);
}

} // namespace wall_grid
