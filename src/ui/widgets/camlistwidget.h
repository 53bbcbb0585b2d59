#pragma once
// CamList: the list window of the main window, one row per cam with its name and rating
// strip, scrolled by the sibling scroll bar.
//
// Rows are not widgets: the list keeps each row's caption, rating picture and selection
// state and paints only the rows inside the window, so a catalogue of 32768 cams costs
// no more to scroll than one of ten. Everything a row of widgets would show is kept
// queryable: the top of each row after positionListItems() (rows above the first wait at
// -ItemHeight), its colours, its selection rectangle, and the row a click lands on.
// All lengths at this interface are twips; the list converts at the painting boundary.
//
// The mouse wheel, over the rows or over the scroll bar, moves the list by the platform's
// wheel step in whole rows (three a notch by default); the scroll bar's own steps are
// coarser (about two rows each), so its thumb follows the wheel to its nearest value.
// A name wider than its place ends in "…", and the row shows the whole name as a tooltip.
// With the focus the list draws a ring in the highlight colour round its rows, and takes the
// selection keys (which the main window's key commands carry out).
//
// The filter line (`camFilter`) opens above the rows and narrows them to the cams the
// search found (showOnly()); rows keep their cam's number, and the scroll arithmetic
// counts the rows shown. Keys typed into the line are its own: Up and Down step through
// the matches, Enter takes the first, Escape closes it and shows every row again. Beside it
// the "favourites only" switch (`favouritesOnly`) narrows the rows to the favourites.
//
// Each row has a star at its right end, filled for a favourite; a click on it is no click
// on the row: starClicked() goes out instead, and the selection stays. The user's own cams
// carry a small "yours" tag beside the rating strip. Screen readers hear both with the row.
//
// A cam in trouble carries a small mark right of the star (showCamMark(), see CamMarks): a
// red disc with a cross where its last refresh failed, an amber one with two bars where its
// picture has been unchanged for long; screen readers hear it with the row too.
#include "control/views.h"

#include <QWidget>

#include <optional>
#include <vector>

class QHelpEvent;
class QKeyEvent;
class QLineEdit;
class QScrollBar;
class QToolButton;
class QWheelEvent;

class CamListWidget : public QWidget, public CamListView, public CamMarkView
{
    Q_OBJECT
public:
    CamListWidget(QScrollBar *scroll, QWidget *parent = nullptr);

    // Row i, built in order 0, 1, 2, ... from the cam's name and rating text.
    void addRow(const QString &camName, const QString &rating) override;
    int rowCount() const { return int(m_names.size()); }

    // Height of CamListItem(0); every row has it.
    static constexpr int ItemHeight = 735;

    // Scroll range for camCount rows over the list's current height (below the filter line
    // while that is open).
    void setUpScrollBar(int camCount);
    // Moves the rows to the scroll bar's value; runs on every change of that value.
    void positionListItems();
    // Scrolls so that cam k stands one to three rows below the top.
    void scrollToCam(int k) override;

    // The highlight parts of a row: the selection rectangle and the name's colour.
    void setSelectionShown(int row, bool shown) override;
    void setNameHighlighted(int row, bool highlighted) override;

    void showCamMark(int row, CamMark mark) override;
    CamMark rowMark(int row) const
    {
        return has(row, MarkFailed) ? CamMark::Failed : has(row, MarkUnchanged) ? CamMark::Unchanged : CamMark::None;
    }

    void showOnly(const std::vector<int> &cams) override;
    void showAll() override;
    void setFavouriteShown(int row, bool favourite) override;
    void setOwnShown(int row, bool own) override;
    bool isFavouriteShown(int row) const;
    bool isOwnShown(int row) const;
    // The rows shown: every row, or the filter's.
    int shownCount() const;

    // The filter line: opened with the focus in it, and closed.
    void openFilter();
    void closeFilter();
    bool isFilterOpen() const;
    QLineEdit *filterEdit() const { return m_filterEdit; } // `camFilter`
    QToolButton *favouritesOnlySwitch() const { return m_favouritesOnly; }

    // The cam shown at a place in the list, and the place of a cam (none when filtered out).
    int camAt(int place) const;
    std::optional<int> placeOf(int cam) const;

    // Queries for the row model, in twips.
    int firstRow() const { return m_first; }
    double rowTop(int row) const;
    std::optional<int> rowAt(QPoint pixel) const;
    QString rowCaption(int row) const;
    // The caption as painted: cut to the name's place with "…" when it does not fit.
    QString rowShownCaption(int row) const;
    std::optional<int> rowPicture(int row) const;
    bool isSelectionShown(int row) const;
    QColor rowBackground(int row) const;
    QColor nameColor(int row) const;
    double heightInTwips() const;
    QFont nameFont() const { return m_nameFont; }

    // Geometry of the parts of a row, in twips relative to the row.
    static QRect nameRect() { return {120, 120, 2250, 240}; }
    static QRect ratingRect() { return {120, 360, 1500, 300}; }
    // Right of the name, clear of the scroll bar over the rows' right end.
    static QRect starRect() { return {2430, 218, 300, 300}; }
    static QRect ownTagRect() { return {1710, 405, 690, 240}; }
    // Right of the star, clear of the scroll bar.
    static QRect markRect() { return {2820, 263, 210, 210}; }
    static constexpr int RowWidth = 3375;

signals:
    // Any part of row i was clicked: background, name or rating strip.
    void rowClicked(int row);
    // The star of row i was clicked.
    void starClicked(int row);
    void favouritesOnlyToggled(bool on);
    // The filter line opened, its text, and its keys.
    void filterOpened();
    void filterTextChanged(const QString &text);
    void filterAccepted();
    void filterStepped(int direction);
    void filterClosed();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    enum Flag : unsigned char {
        SelectionShown = 1, NameHighlighted = 2, Favourite = 4, Own = 8, MarkFailed = 16, MarkUnchanged = 32
    };
    bool has(int row, Flag f) const;
    void set(int row, Flag f, bool on);
    void scrollByWheel(QWheelEvent *event);
    void showNameTip(const QHelpEvent *event);
    void createFilterLine();
    bool filterKey(const QKeyEvent *key);
    void paintMarks(QPainter &p, int row, int top);
    // The row whose star is at pixel.
    std::optional<int> starAt(QPoint pixel) const;
    // Where the rows begin: below the filter line while it is open.
    int rowsTopPixels() const;

    QScrollBar *m_scroll;
    QStringList m_names;
    std::vector<signed char> m_pictures; // number of the figures' picture list, 0 for none
    std::vector<unsigned char> m_flags;
    int m_first = 0;
    std::optional<int> m_pressedRow;
    std::optional<int> m_pressedStar;
    int m_wheelAngle = 0; // eighths of a degree not yet turned into rows
    QFont m_nameFont;
    QLineEdit *m_filterEdit;
    QToolButton *m_favouritesOnly;
    std::optional<std::vector<int>> m_shown; // the filter's cams, in table order
};
