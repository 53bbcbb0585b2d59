#include "listgeometry.h"

#include "core/geometry/twips.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace list_geometry {

namespace {

int toScrollValue(double x)
{
    return static_cast<int>(std::clamp(twips::roundHalfEven(x), 0.0, double(ValueLimit)));
}

} // namespace

double visibleRows(double listHeight, double itemHeight)
{
    return itemHeight > 0 ? listHeight / itemHeight : 0.0;
}

ScrollRange scrollRange(int camCount, double listHeight, double itemHeight)
{
    const double visible = visibleRows(listHeight, itemHeight);
    ScrollRange r;
    r.Max = toScrollValue((camCount - visible + 1) * itemHeight / ScrollUnit);
    r.LargeChange = std::max(1, toScrollValue(visible / 2 - 2));
    return r;
}

int firstRow(int value, double itemHeight)
{
    if (itemHeight <= 0)
        return 0;
    return static_cast<int>(twips::roundHalfEven(value * ScrollUnit / itemHeight));
}

double rowTop(int row, int first, double itemHeight)
{
    return row < first ? -itemHeight : (row - first) * itemHeight;
}

std::optional<int> rowAt(double y, int first, double itemHeight, int camCount)
{
    if (y < 0 || itemHeight <= 0)
        return std::nullopt;
    const int row = first + static_cast<int>(std::floor(y / itemHeight));
    if (row < 0 || row >= camCount)
        return std::nullopt;
    return row;
}

int scrollValueForCam(int k, double itemHeight, int min, int max)
{
    double x = k * itemHeight / ScrollUnit - 1;
    if (x < min)
        x = min;
    if (x > max)
        x = max;
    return static_cast<int>(twips::roundHalfEven(x));
}

int firstRowMovedBy(int first, int rows, int maxValue, double itemHeight)
{
    const int last = firstRow(std::max(0, maxValue), itemHeight);
    return int(std::clamp<qint64>(qint64(first) + rows, 0, last));
}

int scrollValueForFirstRow(int first, double itemHeight, int maxValue)
{
    return std::clamp(toScrollValue(first * itemHeight / ScrollUnit), 0, std::max(0, maxValue));
}

std::optional<int> ratingPicture(const QString &rating)
{
    bool ok = false;
    const int value = rating.trimmed().toInt(&ok);
    if (!ok || value < 0 || value > 7)
        return std::nullopt;
    return value + 1;
}

} // namespace list_geometry
