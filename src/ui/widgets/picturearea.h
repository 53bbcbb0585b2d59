#pragma once
// The two kinds of picture box of the cam view.
//
// PictureArea is a visible picture area (`picDraw`): a black drawing surface the size of
// the widget that keeps whatever is drawn on it until it is cleared; painting only shows
// that surface. The surface holds the widget's device pixels (its devicePixelRatio is the
// widget's), so a picture drawn on it is sharp on any screen; a painter on it works in
// logical pixels. After a resize the surface keeps its old content at the top left and is
// black elsewhere until the next redraw.
//
// The area keeps the picture it was last handed (the cam's picture, unscaled or decoded
// smaller) with its scale mode, and draws it again on redrawPicture(); it is the picture view
// of every window and wall tile.
//
// A double-click with the left button on the area (or on a widget inside it that does not
// take the click) is announced with doubleClicked(); a change of its size, or of its
// screen's device pixels to a logical one, with areaChanged().
//
// Two notes lie over the surface without being part of it, so every redraw keeps them and
// taking them down shows the surface unchanged: the unchanged badge, white on a dark plate
// in the top right corner (below the bullets' row when the area is too narrow for both),
// and the failure reason, one line white with a black shadow in the middle of the area,
// cut with "…" to its width. Both are plain text; with neither, painting shows the surface
// alone.
#include "control/views.h"
#include "core/geometry/scalegeometry.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QStaticText>
#include <QWidget>

class PictureArea : public QWidget, public PictureView
{
    Q_OBJECT
public:
    // When a picture handed to the area is drawn: at once, always (the main window's, whose
    // surface is kept up while it is hidden); while the area is visible, else when it is shown
    // (the fullscreen window's); at once, with live frames decoded only while the area can be
    // seen in its window (a wall tile's).
    enum class Drawing { Always, WhileVisible, WhileOnScreen };

    explicit PictureArea(QWidget *parent = nullptr);
    void setDrawing(Drawing drawing) { m_drawing = drawing; }

    QSize pictureAreaSize() const override { return size(); }
    qreal pictureAreaPixelRatio() const override { return pixelRatio(); }
    void showPicture(const QImage &picture, ViewScaleMode mode, const QImage &prepared = QImage()) override;
    void letGoOfPicture() override { m_picture = QImage(); }
    bool drawsPictureAtOnce() const override;
    bool pictureOnScreen() const override;
    void showFailureReason(const QString &reason) override { setFailureReason(reason); }
    void showUnchangedNote(const QString &note) override { setUnchangedBadge(note); }
    // The picture kept, drawn again by this mode. A failed placement (an area without height,
    // an origin beyond the 16-bit range) leaves the area black; the next redraw tries again.
    ScaleError redrawPicture(ViewScaleMode mode);
    const QImage &picture() const { return m_picture; }
    // Black until the next picture or redraw; the picture stays kept.
    void clearPicture();

    // The drawing surface; draw on it, then call update() to show the change.
    // It always has the widget's current size and ratio, also while the widget is hidden.
    QImage &surface();

    // The device pixels to a logical pixel the surface is made with.
    qreal pixelRatio() const;

    // Back to the black background, text drawn on the surface included. A hidden area lets
    // its surface go meanwhile: it is black at full size again when shown or drawn on.
    void clear();
    // Shows image as the surface itself, shared rather than copied, when it is the
    // surface's size at its pixel ratio; false, with nothing changed, otherwise.
    bool showSurface(const QImage &image);

    // Draws text white with a black shadow one pixel right and down, at (120, 60) twips,
    // over what the surface shows.
    void drawShadowText(const QString &text);
    // Puts back what the shadow text drawn since the surface last changed otherwise has
    // covered; nothing when there is none.
    void wipeShadowText();

    // The notes over the surface; an empty text takes one down.
    void setUnchangedBadge(const QString &text);
    void setFailureReason(const QString &text);
    QString unchangedBadge() const { return m_badge; }
    QString failureReason() const { return m_reason; }
    // Where the badge's plate lies, in logical pixels; empty while none shows.
    QRect badgeRect() const;

signals:
    void doubleClicked();
    void areaChanged();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void syncSurface();
    const QStaticText &staticText(const QString &text);
    void keepUnderText(int bottomRow);
    void forgetUnderText();
    void paintNotes(QPainter &p, const QRegion &region) const;
    // Where the failure reason's line and its shadow go; empty while none shows.
    QRect reasonRect() const;

    ScaleError drawPicture(const QImage &prepared);

    QImage m_surface;
    QImage m_picture;
    ViewScaleMode m_mode = ViewScaleMode::ScaleInline;
    Drawing m_drawing = Drawing::Always;
    bool m_drawPending = false; // a picture came while the area put drawing off
    // The surface's top rows as they were before shadow text went over them; null while
    // no text is on the surface.
    QImage m_underText;
    QRect m_textRect; // where text went since m_underText was kept, in logical pixels
    QHash<QString, QStaticText> m_staticTexts; // laid out in m_staticFont at m_staticRatio
    QFont m_staticFont;
    qreal m_staticRatio = 0;
    QString m_badge;
    QString m_reason;
    // badgeRect() as measured last, for this text, area width and font.
    struct Plate
    {
        QString text;
        int width = -1;
        QFont font;
        QRect rect;
    };
    mutable Plate m_plate;
};

// Draws the picture into the area by the mode and shows it (see drawScaledPicture for the
// surface).
ScaleError drawScaledPicture(PictureArea &target, const QImage &picture, ViewScaleMode mode);
