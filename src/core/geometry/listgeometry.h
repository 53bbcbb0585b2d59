#pragma once
// The cam list's scroll model in twips: rows of ItemHeight stacked from the top, scrolled
// by whole steps of ScrollUnit twips. Values stored into the scroll bar round halves to the
// even neighbour and stay inside its 16-bit range.
#include <QString>

#include <optional>

namespace list_geometry {

inline constexpr double ScrollUnit = 1500.0;
inline constexpr int ValueLimit = 32767;

// Rows the list window can show, as a fraction: 10455 / 735 = 14.22 at design size.
double visibleRows(double listHeight, double itemHeight);

struct ScrollRange
{
    int Max = 0;
    int LargeChange = 1;
};

// Max = R((camCount - visible rows + 1) x ItemHeight / ScrollUnit), LargeChange =
// R(visible rows / 2 - 2). When every cam fits, Max would fall below Min (0) and the
// range is left empty at 0; in a list only a few rows high LargeChange is held at 1.
ScrollRange scrollRange(int camCount, double listHeight, double itemHeight);

// The row drawn at the top of the list window for a scroll value.
int firstRow(int value, double itemHeight);

// A row's top inside the list window: rows above the first wait at -ItemHeight.
double rowTop(int row, int first, double itemHeight);

// The row under a point of the list window, or nothing between and below rows.
std::optional<int> rowAt(double y, int first, double itemHeight, int camCount);

// The scroll value that puts cam k one to three rows below the top, within [min, max].
int scrollValueForCam(int k, double itemHeight, int min, int max);

// The mouse wheel moves the list by whole rows, finer than a scroll step (about two rows):
// the first row after moving rows down (up when negative), held between row 0 and the
// first row of the last scroll value maxValue.
int firstRowMovedBy(int first, int rows, int maxValue, double itemHeight);

// The scroll value whose first row lies nearest to first, within [0, maxValue], so the
// thumb follows rows moved by the wheel.
int scrollValueForFirstRow(int first, double itemHeight, int maxValue);

// The number of the figures' picture list that shows a rating: Rating + 1 for whole numbers
// 0 to 7 (1 to 6 are the strips, 7 and 8 the symbols), nothing for anything else.
std::optional<int> ratingPicture(const QString &rating);

} // namespace list_geometry
