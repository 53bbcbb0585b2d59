#pragma once
// What is kept of the wall per catalogue: its window's size and the grid it showed, as
// "size=W,H" and "grid=ROWS,COLUMNS" lines in catalogue_files::folder(configHome), named
// catalogue_files::fileName(address, ".wall").
//
// read() gives what a readable file holds: a missing, unreadable or garbled file, or a line
// out of bounds, gives nothing of it, never an error. A size larger than largest (the
// largest screen's, as the caller knows it) is held to it side by side, so a file cannot
// make a window larger than any screen. write() makes the folder (the user's
// alone) and writes the file by way of a private new file renamed into place, never
// through a link; false when that fails.
#include "core/geometry/wallgrid.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

namespace wall_layout {

struct Layout
{
    QSize size;
    wall_grid::Grid grid;
};

QByteArray format(const Layout &layout);
std::optional<Layout> parse(const QByteArray &text, const QSize &largest);

std::optional<Layout> read(const QString &configHome, const QString &address, const QSize &largest);
bool write(const QString &configHome, const QString &address, const Layout &layout);

} // namespace wall_layout
