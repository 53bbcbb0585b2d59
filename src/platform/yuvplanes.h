#pragma once
// A picture's pixels as a JPEG or a video frame holds them: a plane of brightness and, unless
// the picture is grey, two planes of colour (YCbCr; a JPEG's at full range by the BT.601
// matrix, a video's as its stream says), each colour plane half as wide
// (Colour::HalvedAcross), half as wide and half as high (Colour::Halved) or as large
// (Colour::Full) as the picture; a halved side of odd length rounds up. Decoding stops
// there, before the colour planes are enlarged and every pixel is converted to RGB, and
// drawing (scaleddrawing.h) scales each plane to the size the picture is shown at and
// converts only those pixels: a third of an RGB picture's bytes to scale, and no
// conversion of pixels that the scale throws away.
//
// The planes lie one after the other in one block of memory (newPicture's, so that the
// block is reused while a cam refreshes), each row of a plane right after the one before.
#include "platform/picturememory.h"

#include <QImage>
#include <QSize>

struct YuvPlanes
{
    enum class Colour { Grey, Halved, HalvedAcross, Full };
    // How brightness and colour turn into RGB: a JPEG's full range, or a video's, by the
    // matrix and range its stream gives (limited range unless it says full).
    enum class Matrix { Jpeg, Bt601, Bt709, Bt709Full, Bt2020 };

    QSize size; // of the picture, in pixels
    Colour colour = Colour::Halved;
    Matrix matrix = Matrix::Jpeg;
    QImage memory;

    bool isNull() const { return memory.isNull() || size.isEmpty(); }
    int planeCount() const { return colour == Colour::Grey ? 1 : 3; }
    // The pixels of plane 0 (brightness), 1 or 2 (the colours) that hold the picture.
    QSize planeSize(int plane) const { return planeSizeFor(size, colour, plane); }
    // A plane's bytes a row. The brightness plane of halved colours is laid out to an even
    // width and height, as the JPEG library writes it: two of its pixels to each colour sample.
    int stride(int plane) const { return laidOutFor(size, colour, plane).width(); }
    const uchar *plane(int plane) const { return memory.constBits() + offset(plane); }
    uchar *plane(int plane) { return memory.bits() + offset(plane); }

    static QSize planeSizeFor(const QSize &size, Colour colour, int plane)
    {
        if (plane == 0 || colour == Colour::Full)
            return size;
        if (colour == Colour::Grey)
            return QSize();
        return QSize((size.width() + 1) / 2, colour == Colour::Halved ? (size.height() + 1) / 2 : size.height());
    }
    // The bytes all planes of a picture of this size take.
    static qsizetype bytesFor(const QSize &size, Colour colour)
    {
        qsizetype total = 0;
        for (int p = 0; p < 3; ++p) {
            const QSize s = laidOutFor(size, colour, p);
            total += qsizetype(s.width()) * s.height();
        }
        return total;
    }

private:
    // A plane's bytes a row and its rows in memory.
    static QSize laidOutFor(const QSize &size, Colour colour, int plane)
    {
        if (plane > 0 || colour == Colour::Grey || colour == Colour::Full)
            return planeSizeFor(size, colour, plane);
        const QSize colours = planeSizeFor(size, colour, 1);
        return QSize(2 * colours.width(), colour == Colour::Halved ? 2 * colours.height() : size.height());
    }
    qsizetype offset(int plane) const
    {
        qsizetype at = 0;
        for (int p = 0; p < plane; ++p) {
            const QSize s = laidOutFor(size, colour, p);
            at += qsizetype(s.width()) * s.height();
        }
        return at;
    }
};

// A block of memory for the planes of a picture of this size and colours; not set.
inline QImage planesMemory(const QSize &size, YuvPlanes::Colour colour)
{
    const int width = qMax(1, size.width() + 1);
    const qsizetype rowBytes = (qsizetype(width) + 3) / 4 * 4;
    const qsizetype total = YuvPlanes::bytesFor(size, colour);
    return newPicture(QSize(width, int((total + rowBytes - 1) / rowBytes)), QImage::Format_Grayscale8);
}
