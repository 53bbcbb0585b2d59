#pragma once
// Pictures this program draws for itself.
#include <QPixmap>

namespace pictures {

// The start-up picture, 422 x 220 pixels.
QPixmap splash();

// The image list of the cam figures (`ImageList1`), pictures 1 to 8: 1 to 6 the rating strips for the
// ratings 0 to 5 (100 x 20 pixels), 7 the comments symbol and 8 the views symbol
// (16 x 16 pixels). Any other number gives a null pixmap. Drawn once, then shared.
QPixmap imageListPicture(int number);
// The rating strip of the image list for a catalogue rating; null for a rating without one.
QPixmap ratingPicture(const QString &rating);

// The toolbar's 16 x 16 button pictures: the scale-mode button (a frame with a picture
// being fitted into it) and "Random Cam" (a die).
QPixmap scaleModeIcon();
QPixmap randomCamIcon();

// The comment bar's background, 248 x 95 pixels: a dark red gradient, drawn stretched to the
// bar's size.
QPixmap commentBar();
// The tab above the comment bar, 159 x 25 pixels, labelled "User Comment".
QPixmap commentTab();
// The auto-shuffle countdown bar, 216 x 43 pixels each: the empty track (a grey rounded
// bar) and the fill (the same bar in red), which is shown cut at the progress width.
QPixmap autoShuffleTrack();
QPixmap autoShuffleFill();

} // namespace pictures
