#pragma once
// The picture loader: a picture file on disk in, a picture or no picture out, plus an
// error text that is empty on success and never anything thrown.
//
// A picture is a QImage in Format_RGB32 whose transparent parts have been laid over
// black. std::nullopt is "no picture"; an optional holding a null QImage is the empty
// picture, given only for a blank file name. The name decides the route: bitmaps, icons,
// cursors and metafiles take the platform loader, GIF, PNG, TIFF and JPEG the main
// decoder. Both read with Qt's image readers; they differ in what a failure tells: the
// platform loader gives one fixed text, the main decoder a fixed text and the status of
// what went wrong. Metafiles cannot be decoded here and always fail with the platform
// loader's text. A picture whose pixels would need more than MaxPictureBytes is refused
// before anything is allocated. No EXIF rotation is applied.
//
// A load may run on any thread. Given a cancel flag, it can be given up from another
// thread: once the flag is set, every further read of the file fails, so whichever reader
// is at work runs out of input and ends soon, and the result is no picture with the
// status "Abbruch der Operation". A JPEG decoded by the JPEG library's API (below) is
// one call that cannot be stopped; the flag is looked at before and after it, and the
// JPEGs that could keep that call busy for long go to the reader. The picture is made in
// the decoded image's own memory wherever its pixels are 32 bits wide, so a load holds
// one full-size image at a time.
//
// A JPEG can be decoded smaller than its full size, at 1/2, 1/4 or 1/8, which the JPEG
// library does in a fraction of the work of a full decode: a Reduction's rule picks the
// factor from the full size, and only a factor that divides both sides is taken, so the
// picture keeps its proportions exactly. The size limit is that of the full picture
// whatever the factor, so a picture refused at one size is refused at all.
//
// A JPEG held in memory (loadPictureBytes, decodePictureBytes, and any file up to 64 MiB,
// which is read whole) is decoded by the JPEG library's TurboJPEG API straight into the
// picture's pixels, with no copy or conversion after it, or, for loadPictureOrPlanes, into
// its planes (yuvplanes.h); it is known by its first two bytes, as the reader knows one, so
// the reader's probe of every format is spared. A JPEG it does not take that way (CMYK, an
// unusual header, a decode that fails or finds damage) goes to Qt's reader as every other
// format does, so the outcome is always the reader's; so does a progressive JPEG of many
// scans, because only the reader can be given up halfway through one.
#include "platform/yuvplanes.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

using Picture = std::optional<QImage>;

// A picture needing more than this many bytes of 32-bit pixels is refused.
inline constexpr qint64 MaxPictureBytes = qint64(256) * 1024 * 1024;

// How much smaller than its full size a JPEG is decoded.
struct Reduction
{
    // Given the full size, 1, 2, 4 or 8; any other answer decodes at full size. Asked
    // only for JPEGs, on the thread that decodes.
    std::function<int(const QSize &fullSize)> rule;
    // Set by the load: the factor the picture was decoded at, 1 for a full-size one.
    int used = 1;
    // For loadPictureOrPlanes: given the size a JPEG is decoded at, whether its planes are
    // wanted rather than a picture; unset, they always are.
    std::function<bool(const QSize &decodedSize)> planesWanted;
};

Picture loadPictureFile(const QString &fileName, QString &errorText, const std::atomic<bool> *cancel = nullptr,
                        Reduction *reduction = nullptr);

// Loads the bytes of a picture file as loadPictureFile loads the file holding them: the
// same rules on the name, on the size and on the route the extension picks, with the
// bytes read in place of the file. For a file just written with these bytes; the file
// itself is not looked at.
Picture loadPictureBytes(const QString &fileName, const QByteArray &bytes, QString &errorText,
                         const std::atomic<bool> *cancel = nullptr, Reduction *reduction = nullptr);

// A load's outcome where a JPEG may come as its planes instead of a picture.
struct PictureOrPlanes
{
    Picture picture;   // the load's picture, or no picture; nothing while planes came
    YuvPlanes planes; // not null: the JPEG's planes, decoded at the reduction's factor
};

// Loads as loadPictureBytes does (as decodePictureBytes does for an empty name), except that a
// JPEG the JPEG library's API decodes, of a colour layout YuvPlanes holds (4:2:0, 4:2:2, 4:4:4
// or grey), comes as its planes. Every failure and every other picture is as the load's.
PictureOrPlanes loadPictureOrPlanes(const QString &fileName, const QByteArray &bytes, QString &errorText,
                                    const std::atomic<bool> *cancel = nullptr, Reduction *reduction = nullptr);

// Decodes with the main decoder, whatever the name's extension.
Picture decodePicture(const QString &fileName, QString &errorText, const std::atomic<bool> *cancel = nullptr,
                      Reduction *reduction = nullptr);

// Decodes a picture file's bytes held in memory with the main decoder, as decodePicture
// does the file.
Picture decodePictureBytes(const QByteArray &bytes, QString &errorText, const std::atomic<bool> *cancel = nullptr,
                           Reduction *reduction = nullptr);

// The JPEG library's route alone, as the loads take it for a JPEG held in memory. taken is
// false where it leaves the bytes to Qt's reader (see above: not a JPEG it takes, or a
// decode that failed); otherwise picture and errorText are the outcome, as
// decodePictureBytes gives them.
struct DirectJpegDecode
{
    bool taken = false;
    Picture picture;
    QString errorText;
};
DirectJpegDecode decodeJpegDirectly(const QByteArray &bytes, const std::atomic<bool> *cancel = nullptr,
                                    Reduction *reduction = nullptr);

// The error text of a load given up through its cancel flag.
QString cancelledLoadText();

enum class Flattened { Done, OutOfMemory, Cancelled };

// Lays transparent parts over black so that they come out black, as the picture painted
// onto a black background would, and leaves the picture in Format_RGB32. Over black a pixel
// is its premultiplied colour made opaque, so 32-bit pictures are changed where they lie,
// row by row, instead of painted into a second full-size image; only narrower formats
// (palettes, grey) need a new, wider image.
Flattened layOverBlack(QImage &image, const std::atomic<bool> *cancel = nullptr);

// Makes the picture from decoded pixels; a null image gives no picture.
Picture pictureFromPixels(const QImage &pixels);
