#pragma once
// What the controllers see of the windows: small views, each implemented by the windows
// that have the part in question. What goes to "both windows" is the same call on two
// views. Controllers hold views by pointer and never learn which window is behind one.
#include "core/geometry/scalegeometry.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

// Says that a cam's picture has stayed the same for a while ("unchanged since
// 14:02"); an empty text takes the note down again.
class UnchangedNoteView
{
public:
    virtual ~UnchangedNoteView() = default;
    virtual void showUnchangedNote(const QString &note) = 0;
};

// What a video cam's stream is ("H.264 1920x1080"); "" while no video plays.
class StreamFormatView
{
public:
    virtual ~StreamFormatView() = default;
    virtual void showStreamFormat(const QString &format) = 0;
};

// A picture area: the selected cam's in a window, or a wall tile's. It keeps the picture it
// is handed and draws it again by itself (a resize, a mode change), with the notes over it.
class PictureView : public UnchangedNoteView
{
public:
    virtual ~PictureView() = default;
    virtual QSize pictureAreaSize() const = 0;
    // Device pixels to a logical pixel of the area, for the sizes the picture is shrunk to.
    virtual qreal pictureAreaPixelRatio() const = 0;
    // Keeps the picture and shows it by the mode: the prepared surface (the area's whole
    // surface with the picture drawn in, made off the window thread by framedInArea) as it
    // is while it fits the area, else the picture drawn scaled. A null picture leaves the
    // area black.
    virtual void showPicture(const QImage &picture, ViewScaleMode mode, const QImage &prepared = QImage()) = 0;
    // Lets go of the picture kept, going on showing what was drawn of it: a redraw before the
    // next picture finds none.
    virtual void letGoOfPicture() = 0;
    // Whether showPicture() draws at once. An area that puts it off (a hidden window's) draws
    // when it is shown; the picture need not be decoded for its size until then.
    virtual bool drawsPictureAtOnce() const { return true; }
    // Whether the user can see the area now: live frames are decoded only for one that can.
    virtual bool pictureOnScreen() const { return drawsPictureAtOnce(); }
    // Why the refresh showed no picture, one line over the black area, until the next
    // picture or another cam; an empty text takes it down. Plain text.
    virtual void showFailureReason(const QString &reason) = 0;
};

// Where a refresh tells how its transfer goes: bullets over the picture while it runs,
// the figures of the finished transfer in the status bar.
class TransferView
{
public:
    virtual ~TransferView() = default;
    virtual void showTransferState(const QString &bullets) = 0;
    virtual void showTransferStatistics(const QString &text) = 0;
    // Takes the bullets off again where no redraw follows that would wipe them: the
    // picture under them shows as it was drawn.
    virtual void clearTransferState() = 0;
};

// The selected cam's name, description, figures and rating.
class CamInfoView
{
public:
    virtual ~CamInfoView() = default;
    // camFields is the cam's catalogue line split on ";".
    virtual void showCamInfo(const QStringList &camFields) = 0;
};

// A window title naming the selected cam.
class TitleView
{
public:
    virtual ~TitleView() = default;
    virtual void showTitle(const QString &title) = 0;
};

// The comment bar over a picture area.
class CommentView
{
public:
    virtual ~CommentView() = default;
    // fields: name, text and date; the text already cleaned for showing.
    virtual void showComment(const QStringList &fields) = 0;
    virtual void hideComment() = 0;
};

// The cam list: one row per cam, in catalogue order.
class CamListView
{
public:
    virtual ~CamListView() = default;
    virtual void addRow(const QString &name, const QString &rating) = 0;
    virtual void setNameHighlighted(int row, bool highlighted) = 0;
    virtual void setSelectionShown(int row, bool shown) = 0;
    virtual void scrollToCam(int row) = 0;
    // Only these cams' rows, in this order (table order), until showAll().
    virtual void showOnly(const std::vector<int> &cams) = 0;
    virtual void showAll() = 0;
    // The row's star (a favourite) and its mark as one of the user's own cams.
    virtual void setFavouriteShown(int row, bool favourite) = 0;
    virtual void setOwnShown(int row, bool own) = 0;
};

// A small mark on a cam's list row: its last refresh failed, or its picture has stayed the
// same for long.
enum class CamMark { None, Failed, Unchanged };

class CamMarkView
{
public:
    virtual ~CamMarkView() = default;
    virtual void showCamMark(int row, CamMark mark) = 0;
};

// The auto-shuffle countdown bar and its caption.
class CountdownView
{
public:
    virtual ~CountdownView() = default;
    // fill: the part of the bar filled, 0 to 1.
    virtual void showCountdown(double fill, const QString &caption) = 0;
    virtual void setCountdownVisible(bool visible) = 0;
};
