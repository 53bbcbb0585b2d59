#pragma once
// The picture loader: a picture file on disk in, a picture or no picture out, plus an
// error text that is empty on success and never anything thrown.
//
// A picture is a QImage in Format_RGB32 whose transparent parts have been laid over
// black. std::nullopt is "no picture"; an optional holding a null QImage is the empty
// picture, given only for a blank file name. The name decides the route: bitmaps, icons,
// cursors and metafiles go to the platform loader, GIF, PNG, TIFF and JPEG to the main
// decoder (bitmaps too with ForceGdiPlus). Metafiles cannot be decoded here and always
// fail with the platform loader's text. A picture whose pixels would need more than
// MaxPictureBytes is refused before anything is allocated. No EXIF rotation is applied.
//
// A load may run on any thread. Given a cancel flag, it can be given up from another
// thread: once the flag is set, every further read of the file fails, so whichever decoder
// is at work runs out of input and ends soon, and the result is no picture with the
// status "Abbruch der Operation". The picture is made in the decoded image's own memory
// wherever its pixels are 32 bits wide, so a load holds one full-size image at a time.
#include <QImage>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

using Picture = std::optional<QImage>;

// A picture needing more than this many bytes of 32-bit pixels is refused.
inline constexpr qint64 MaxPictureBytes = qint64(256) * 1024 * 1024;

// Handed unchanged to the platform loader. For icons and cursors holding several images,
// the one closest to desiredWidth x desiredHeight pixels is taken; the rest are accepted
// and not used.
struct PlatformLoadOptions
{
    std::optional<int> size;
    std::optional<int> colorDepth;
    std::optional<int> desiredWidth;
    std::optional<int> desiredHeight;
};

// The main decoder's engine, started and shut down around every load that uses it.
// startup() returns a status (0 = ready) and sets a token; shutdown() is called with the
// token whenever it is not 0, on every path.
struct DecoderEngine
{
    std::function<qint32(quint32 &token)> startup;
    std::function<void(quint32 token)> shutdown;
};

// The engine of this program: ready whenever Qt has any image format reader.
const DecoderEngine &defaultDecoderEngine();

Picture LoadPictureFile(const QString &FileName, QString &ErrorText, bool AllowPlatformFallback = false,
                        bool ForceGdiPlus = false, const PlatformLoadOptions &options = {},
                        const DecoderEngine &engine = defaultDecoderEngine(),
                        const std::atomic<bool> *cancel = nullptr);

// Decodes with the main decoder; the engine must have been started.
Picture LoadPictureGdiPlus(const QString &FileName, QString &ErrorText, const std::atomic<bool> *cancel = nullptr);

// The error text of a load given up through its cancel flag.
QString cancelledLoadText();

// Makes the picture from decoded pixels; a null image gives no picture.
Picture PictureFromBitmapHandle(const QImage &bitmap);
