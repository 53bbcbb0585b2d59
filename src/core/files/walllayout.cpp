#include "walllayout.h"

#include "core/files/cataloguefiles.h"
#include "core/files/workingfiles.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace wall_layout {

namespace {

// Larger than any screen: the size is held to the screens' after it is read.
constexpr int LargestSide = 65535;
constexpr qint64 MaxFileBytes = 4096;

// "A,B" as two whole numbers from 1 to most, as width A and height B; an empty size else.
QSize pair(const QByteArray &value, int most)
{
    const QList<QByteArray> parts = value.trimmed().split(',');
    if (parts.size() != 2)
        return {};
    bool firstOk = false;
    bool secondOk = false;
    const int first = parts[0].trimmed().toInt(&firstOk);
    const int second = parts[1].trimmed().toInt(&secondOk);
    if (!firstOk || !secondOk || first < 1 || second < 1 || first > most || second > most)
        return {};
    return QSize(first, second);
}

} // namespace

QByteArray format(const Layout &layout)
{
    return "size=" + QByteArray::number(layout.size.width()) + ',' + QByteArray::number(layout.size.height())
        + "\ngrid=" + QByteArray::number(layout.grid.rows) + ',' + QByteArray::number(layout.grid.columns) + '\n';
}

std::optional<Layout> parse(const QByteArray &text, const QSize &largest)
{
    QSize size;
    QSize grid;
    for (const QByteArray &line : text.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        if (key == "size")
            size = pair(line.mid(equals + 1), LargestSide);
        else if (key == "grid")
            grid = pair(line.mid(equals + 1), wall_grid::MaxTiles);
    }
    if (size.isEmpty() || largest.isEmpty())
        return std::nullopt;
    Layout layout{size.boundedTo(largest), {}};
    if (!grid.isEmpty())
        layout.grid = wall_grid::Grid{grid.width(), grid.height()};
    return layout;
}

std::optional<Layout> read(const QString &configHome, const QString &address, const QSize &largest)
{
    const int dir = catalogue_files::openFolder(catalogue_files::folder(configHome));
    if (dir < 0)
        return std::nullopt;
    const std::optional<QByteArray> text = working_files::readRegular(
        dir, QFile::encodeName(catalogue_files::fileName(address, QStringLiteral(".wall"))), O_NOFOLLOW, MaxFileBytes);
    ::close(dir);
    return text ? parse(*text, largest) : std::nullopt;
}

bool write(const QString &configHome, const QString &address, const Layout &layout)
{
    const QString folder = catalogue_files::folder(configHome);
    if (!working_files::makePrivateFolders(folder))
        return false;
    const int dir = catalogue_files::openFolder(folder);
    if (dir < 0)
        return false;
    const int error = working_files::writeAt(dir, QFile::encodeName(catalogue_files::fileName(address, QStringLiteral(".wall"))),
                                             format(layout), working_files::Existing::Replace);
    ::close(dir);
    return error == 0;
}

} // namespace wall_layout
