#pragma once
// Draws a picture into a picture area by a scale mode.
//
// The area is cleared to black first, whatever follows. The picture is then scaled
// smoothly onto exactly the pixel rectangle scaledPlacement() gives for the area's and the
// picture's sizes in twips; the rest of the area stays black and what overhangs the area
// is cut off. A null picture leaves the area black. An error of the arithmetic is
// returned with the area cleared and nothing drawn; nothing is thrown.
#include "view/scalegeometry.h"

class PictureArea;
class QImage;

ScaleError drawScaledPicture(PictureArea &target, const QImage &picture, ViewScaleMode mode);
