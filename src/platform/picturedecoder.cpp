#include "picturedecoder.h"

#include "core/rules/pictureloaderrules.h"
#include "platform/picturememory.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QIODevice>

#include <turbojpeg.h>

#include <cstring>
#include <memory>

using namespace picture_loader;

namespace {

struct Decoded
{
    Decoded(QImage picture = QImage(), std::optional<DecodeFailure> failedWith = std::nullopt)
        : image(std::move(picture))
        , failure(failedWith)
    {
    }
    QImage image;
    std::optional<DecodeFailure> failure;
    YuvPlanes planes; // in place of the image, where the planes were asked for and came
};

bool cancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// The picture file as the decoders read it: once the flag is set every read fails, so the
// decoder at work runs out of input (the JPEG reader then ends the picture where it is,
// the others fail). A file and not a memory buffer, because some readers take a buffer's
// bytes directly and would never ask again. Opened unbuffered, so no read runs ahead of
// what the decoder has asked for.
class CancellableFile : public QFile
{
public:
    CancellableFile(const QString &name, const std::atomic<bool> *cancel)
        : QFile(name)
        , m_cancel(cancel)
    {
    }

    // Hands out at most this many bytes per read; for readers that take short reads.
    void setReadPiece(qint64 bytes) { m_piece = bytes; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (cancelled(m_cancel)) {
            setErrorString(QStringLiteral("The load was given up"));
            return -1;
        }
        return QFile::readData(data, m_piece > 0 ? qMin(maxSize, m_piece) : maxSize);
    }

private:
    const std::atomic<bool> *m_cancel;
    qint64 m_piece = 0;
};

// Bytes held in memory, read as CancellableFile reads a file. Not a QBuffer, for the same
// reason.
class CancellableBytes : public QIODevice
{
public:
    CancellableBytes(const QByteArray &bytes, const std::atomic<bool> *cancel)
        : m_bytes(bytes)
        , m_cancel(cancel)
    {
    }

    // Hands out at most this many bytes per read; for readers that take short reads.
    void setReadPiece(qint64 bytes) { m_piece = bytes; }

    qint64 size() const override { return m_bytes.size(); }
    bool seek(qint64 pos) override
    {
        if (!QIODevice::seek(pos))
            return false;
        m_at = pos;
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (cancelled(m_cancel)) {
            setErrorString(QStringLiteral("The load was given up"));
            return -1;
        }
        const qint64 n = qMin(qMin(maxSize, m_piece > 0 ? m_piece : maxSize), qint64(m_bytes.size()) - m_at);
        if (n <= 0)
            return 0;
        std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    const std::atomic<bool> *m_cancel;
    qint64 m_piece = 0;
    qint64 m_at = 0;
};

// The JPEG reader asks for 4 KiB at a time, and a few kilobytes of crafted scans can be
// seconds of work; in small pieces a load given up ends within a few dozen scans.
constexpr qint64 JpegReadPiece = 512;

bool tooLarge(const QSize &size)
{
    return size.isValid() && qint64(size.width()) * size.height() * 4 > MaxPictureBytes;
}

// fileName is empty for bytes held in memory.
DecodeFailure failureOf(const QImageReader &reader, const QString &fileName)
{
    switch (reader.error()) {
    case QImageReader::FileNotFoundError:
        return DecodeFailure::FileNotFound;
    case QImageReader::DeviceError:
        if (fileName.isEmpty())
            return DecodeFailure::ReadError;
        if (!QFileInfo::exists(fileName))
            return DecodeFailure::FileNotFound;
        if (!QFileInfo(fileName).isReadable())
            return DecodeFailure::AccessDenied;
        return DecodeFailure::ReadError;
    case QImageReader::UnsupportedFormatError:
        return DecodeFailure::UnknownFormat;
    case QImageReader::InvalidDataError:
    case QImageReader::UnknownError:
        break;
    }
    return DecodeFailure::CorruptData;
}

// The factor a JPEG of this full size is decoded at: the rule's, where it divides both sides.
int reductionFactor(const Reduction *reduction, const QSize &fullSize)
{
    if (!reduction || !reduction->rule || !fullSize.isValid())
        return 1;
    const int factor = reduction->rule(fullSize);
    if ((factor != 2 && factor != 4 && factor != 8) || fullSize.width() % factor != 0
        || fullSize.height() % factor != 0)
        return 1;
    return factor;
}

// A progressive JPEG of more scans than this goes to the reader: the JPEG library decodes
// it in one call that cannot be given up, and each scan is one more pass over the
// picture. The JPEG library writes 10 scans at most, other encoders a few more.
constexpr int MaxScansInOneCall = 32;

// The start-of-scan markers in a JPEG. Inside the compressed data every 0xff byte is
// followed by a zero or a restart number, so each marker found is a scan; one found in
// metadata can only count too many.
int scanCount(const QByteArray &jpeg, int enough)
{
    const char *at = jpeg.constData();
    const char *const end = at + jpeg.size();
    int scans = 0;
    while (scans < enough) {
        at = static_cast<const char *>(std::memchr(at, 0xff, size_t(end - at)));
        if (!at || end - at < 2)
            break;
        if (uchar(at[1]) == 0xda)
            ++scans;
        ++at;
    }
    return scans;
}

struct TurboHandleFree
{
    void operator()(void *handle) const { tjDestroy(handle); }
};

// The planes a JPEG of this subsampling and these colours is decoded to; none for a layout
// drawing does not take from planes (4:4:0, 4:1:1) or colours that are not YCbCr.
std::optional<YuvPlanes::Colour> planesLayout(int subsampling, int colours)
{
    if (colours == TJCS_GRAY && subsampling == TJSAMP_GRAY)
        return YuvPlanes::Colour::Grey;
    if (colours != TJCS_YCbCr)
        return std::nullopt;
    switch (subsampling) {
    case TJSAMP_420:
        return YuvPlanes::Colour::Halved;
    case TJSAMP_422:
        return YuvPlanes::Colour::HalvedAcross;
    case TJSAMP_444:
        return YuvPlanes::Colour::Full;
    default:
        return std::nullopt;
    }
}

// The JPEG's planes at this size (its own, or reduced by a factor the library takes), in
// one block; std::nullopt where the decode does not end cleanly, as for the RGB decode.
std::optional<Decoded> decodeToPlanes(void *handle, const QByteArray &bytes, const QSize &size,
                                      YuvPlanes::Colour colour)
{
    YuvPlanes planes;
    planes.size = size;
    planes.colour = colour;
    planes.memory = planesMemory(size, colour);
    if (planes.memory.isNull())
        return std::nullopt;
    unsigned char *starts[3] = {};
    int strides[3] = {};
    for (int p = 0; p < planes.planeCount(); ++p) {
        starts[p] = planes.plane(p);
        strides[p] = planes.stride(p);
    }
    if (tjDecompressToYUVPlanes(handle, reinterpret_cast<const unsigned char *>(bytes.constData()),
                                static_cast<unsigned long>(bytes.size()), starts, size.width(), strides, size.height(),
                                TJFLAG_STOPONWARNING)
        != 0)
        return std::nullopt;
    Decoded decoded;
    decoded.planes = std::move(planes);
    return decoded;
}

// A JPEG held in memory, decoded by the JPEG library straight into the picture's 32-bit
// pixels: blue, green, red and a byte of 0xff, which is Format_RGB32 in memory on a
// little-endian machine. std::nullopt where the reader is to decide instead: a header the
// library does not take, colours it cannot give as RGB (CMYK), many scans, or a decode
// that did not end cleanly; the reader then ends as it always has. That includes a
// warning (data missing at the end, a damaged block): the reader keeps such a picture
// unless an error follows the warning, and TurboJPEG reports an error after a warning as
// a warning, so only the reader can tell; the decode stops at the first warning, as its
// work would be thrown away. A handle per decode: making one costs well under a
// microsecond.
//
// toPlanes: a JPEG of a colour layout YuvPlanes holds is decoded to its planes instead.
std::optional<Decoded> decodeJpegInMemory(const QByteArray &bytes, const std::atomic<bool> *cancel,
                                          Reduction *reduction, bool toPlanes = false)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "TJPF_BGRX is Format_RGB32 only on little-endian machines");
    const std::unique_ptr<void, TurboHandleFree> handle(tjInitDecompress());
    if (!handle)
        return std::nullopt;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colours = 0;
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colours) != 0)
        return std::nullopt;
    if (colours == TJCS_CMYK || colours == TJCS_YCCK || scanCount(bytes, MaxScansInOneCall + 1) > MaxScansInOneCall)
        return std::nullopt;
    const QSize fullSize(width, height);
    if (tooLarge(fullSize))
        return Decoded{QImage(), DecodeFailure::TooLarge};
    const int factor = reductionFactor(reduction, fullSize);
    if (cancelled(cancel))
        return Decoded{QImage(), DecodeFailure::Cancelled};

    const bool planesWanted =
        toPlanes && (!reduction || !reduction->planesWanted || reduction->planesWanted(fullSize / factor));
    const std::optional<YuvPlanes::Colour> layout = planesWanted ? planesLayout(subsampling, colours) : std::nullopt;
    if (layout) {
        std::optional<Decoded> decoded = decodeToPlanes(handle.get(), bytes, fullSize / factor, *layout);
        if (!decoded)
            return std::nullopt;
        if (cancelled(cancel))
            return Decoded{QImage(), DecodeFailure::Cancelled};
        if (reduction)
            reduction->used = factor;
        return decoded;
    }

    QImage image = newPicture(fullSize / factor, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    if (tjDecompress2(handle.get(), data, size, image.bits(), image.width(), int(image.bytesPerLine()),
                      image.height(), TJPF_BGRX, TJFLAG_STOPONWARNING)
        != 0)
        return std::nullopt;
    if (cancelled(cancel))
        return Decoded{QImage(), DecodeFailure::Cancelled};
    if (reduction)
        reduction->used = factor;
    return Decoded{std::move(image), std::nullopt};
}

// The first image the device holds, whatever the file's name says: the content picks the
// reader. fileName names the file read, for what a failure tells; empty for bytes held in
// memory.
template <class Device>
Decoded decodeFrom(Device &device, const QString &fileName, const std::atomic<bool> *cancel, Reduction *reduction)
{
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        return {QImage(), cancelled(cancel) ? DecodeFailure::Cancelled : failureOf(reader, fileName)};
    const bool jpeg = reader.format() == "jpeg";
    if (jpeg)
        device.setReadPiece(JpegReadPiece);

    // Known from the header: refuse before a single pixel is allocated. Readers that
    // cannot tell the size beforehand are held by QImageReader's own allocation limit.
    const QSize fullSize = reader.size();
    if (tooLarge(fullSize))
        return {QImage(), DecodeFailure::TooLarge};
    // Asked for exactly the reduced size, the JPEG reader has the library decode at that
    // scale and scales nothing afterwards.
    const int factor = jpeg ? reductionFactor(reduction, fullSize) : 1;
    if (factor > 1)
        reader.setScaledSize(fullSize / factor);

    QImage image;
    const bool read = reader.read(&image);
    // A decoder cut short may still hand over a picture; it is not the whole one.
    if (cancelled(cancel))
        return {QImage(), DecodeFailure::Cancelled};
    if (!read || image.isNull())
        return {QImage(), failureOf(reader, fileName)};
    if (reduction)
        reduction->used = factor;
    return {std::move(image), std::nullopt};
}

Decoded decodeBytes(const QByteArray &bytes, const QString &fileName, const std::atomic<bool> *cancel,
                    Reduction *reduction, bool toPlanes = false)
{
    // What the reader takes for a JPEG by its first two bytes goes to the JPEG library
    // straight away: asking the reader first would have it probe (and load) every
    // picture format it knows. Whatever the library leaves goes to the reader as before.
    if (bytes.startsWith("\xff\xd8")) {
        if (std::optional<Decoded> decoded = decodeJpegInMemory(bytes, cancel, reduction, toPlanes))
            return std::move(*decoded);
    }
    CancellableBytes device(bytes, cancel);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return decodeFrom(device, fileName, cancel, reduction);
}

// A picture file up to this size is read whole before it is decoded: the small pieces the
// JPEG reader is fed would otherwise each be a system call of their own.
constexpr qint64 ReadWholeBytes = qint64(64) * 1024 * 1024;

Decoded decode(const QString &fileName, const std::atomic<bool> *cancel, Reduction *reduction)
{
    CancellableFile file(fileName, cancel);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {QImage(), !QFileInfo::exists(fileName) ? DecodeFailure::FileNotFound
                              : !QFileInfo(fileName).isReadable() ? DecodeFailure::AccessDenied
                                                                   : DecodeFailure::ReadError};
    if (file.size() > ReadWholeBytes)
        return decodeFrom(file, fileName, cancel, reduction);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {QImage(), cancelled(cancel) ? DecodeFailure::Cancelled : DecodeFailure::ReadError};
    file.close();
    return decodeBytes(bytes, fileName, cancel, reduction);
}

} // namespace

Flattened layOverBlack(QImage &image, const std::atomic<bool> *cancel)
{
    if (image.format() == QImage::Format_Indexed8 && image.hasAlphaChannel()) {
        // A palette picture keeps its transparency in the colour table.
        QList<QRgb> colours = image.colorTable();
        for (QRgb &c : colours)
            c = qPremultiply(c) | 0xff000000u;
        image.setColorTable(colours);
    }
    if (!image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_RGB32);
        return image.isNull() ? Flattened::OutOfMemory : Flattened::Done;
    }
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return Flattened::OutOfMemory;
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        if (y % 256 == 0 && cancelled(cancel))
            return Flattened::Cancelled;
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] |= 0xff000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return Flattened::Done;
}

namespace {

// A failure here says no more than that there is no picture.
Picture platformLoad(Decoded d, const std::atomic<bool> *cancel)
{
    if (d.failure || layOverBlack(d.image, cancel) != Flattened::Done)
        return std::nullopt;
    return pictureFromPixels(std::move(d.image));
}

} // namespace

Picture pictureFromPixels(const QImage &pixels)
{
    if (pixels.isNull())
        return std::nullopt;
    return pixels;
}

QString cancelledLoadText()
{
    return statusErrorText(BitmapFromFileFailedText, decodeFailureStatus(DecodeFailure::Cancelled));
}

namespace {

// The main decoder's result: the picture, or no picture and the error text.
Picture finishDecode(Decoded d, QString &errorText, const std::atomic<bool> *cancel, Reduction *reduction)
{
    const auto fail = [&](const QString &text) -> Picture {
        errorText = text;
        if (reduction)
            reduction->used = 1;
        return std::nullopt;
    };
    if (d.failure)
        return fail(statusErrorText(BitmapFromFileFailedText, decodeFailureStatus(*d.failure)));
    switch (layOverBlack(d.image, cancel)) {
    case Flattened::Done:
        break;
    case Flattened::OutOfMemory:
        return fail(statusErrorText(HandleFailedText, status::OutOfMemory));
    case Flattened::Cancelled:
        return fail(statusErrorText(HandleFailedText, status::Aborted));
    }
    Picture picture = pictureFromPixels(std::move(d.image));
    if (!picture)
        return fail(PictureFromHandleFailedText);
    return picture;
}

// finishDecode(), or the planes where they came instead of a picture.
PictureOrPlanes finishDecodeOrPlanes(Decoded d, QString &errorText, const std::atomic<bool> *cancel,
                                     Reduction *reduction)
{
    if (!d.failure && !d.planes.isNull())
        return {std::nullopt, std::move(d.planes)};
    return {finishDecode(std::move(d), errorText, cancel, reduction), {}};
}

} // namespace

Picture decodePicture(const QString &fileName, QString &errorText, const std::atomic<bool> *cancel,
                      Reduction *reduction)
{
    errorText.clear();
    return finishDecode(decode(fileName, cancel, reduction), errorText, cancel, reduction);
}

Picture decodePictureBytes(const QByteArray &bytes, QString &errorText, const std::atomic<bool> *cancel,
                           Reduction *reduction)
{
    errorText.clear();
    return finishDecode(decodeBytes(bytes, QString(), cancel, reduction), errorText, cancel, reduction);
}

namespace {

// A load by a file's name: the rules on the name and the file's size, then the route the
// extension picks. sizeOf gives the size of the file the trimmed name names, or nothing
// where there is no such file; decoded does the decode, from a name or without one.
template <class SizeOf, class DecodeAs>
PictureOrPlanes loadByName(const QString &fileName, QString &errorText, const std::atomic<bool> *cancel,
                   Reduction *reduction, SizeOf sizeOf, DecodeAs decoded)
{
    errorText.clear();
    if (reduction)
        reduction->used = 1;
    const QString name = trimSpaces(fileName);
    if (name.isEmpty())
        return {QImage(), {}};
    if (name.size() < MinimumNameLength) {
        errorText = BadFileNameText;
        return {};
    }
    const std::optional<qint64> size = sizeOf(name);
    if (!size) {
        errorText = FileMissingText;
        return {};
    }
    if (*size < MinimumFileSize) {
        errorText = EmptyFileText;
        return {};
    }

    switch (routeFor(classifyExtension(name))) {
    case Route::Refused:
        errorText = UnsupportedFormatText;
        return {};
    case Route::Platform: {
        Picture result = platformLoad(decoded(name, nullptr), cancel);
        if (!result)
            errorText = PlatformLoadFailedText;
        return {std::move(result), {}};
    }
    case Route::Decoder:
        break;
    }
    return finishDecodeOrPlanes(decoded(name, reduction), errorText, cancel, reduction);
}

} // namespace

DirectJpegDecode decodeJpegDirectly(const QByteArray &bytes, const std::atomic<bool> *cancel, Reduction *reduction)
{
    DirectJpegDecode result;
    if (reduction)
        reduction->used = 1;
    std::optional<Decoded> decoded = decodeJpegInMemory(bytes, cancel, reduction);
    result.taken = decoded.has_value();
    if (decoded)
        result.picture = finishDecode(std::move(*decoded), result.errorText, cancel, reduction);
    return result;
}

Picture loadPictureFile(const QString &fileName, QString &errorText, const std::atomic<bool> *cancel,
                        Reduction *reduction)
{
    return loadByName(
        fileName, errorText, cancel, reduction,
        [](const QString &name) -> std::optional<qint64> {
            const QFileInfo info(name);
            if (!info.isFile())
                return std::nullopt;
            return info.size();
        },
        [cancel](const QString &name, Reduction *r) { return decode(name, cancel, r); })
        .picture;
}

namespace {

// loadPictureBytes, with a JPEG's planes in place of its picture where toPlanes asks for them.
PictureOrPlanes loadBytes(const QString &fileName, const QByteArray &bytes, QString &errorText,
                          const std::atomic<bool> *cancel, Reduction *reduction, bool toPlanes)
{
    return loadByName(
        fileName, errorText, cancel, reduction, [&bytes](const QString &) { return std::optional<qint64>(bytes.size()); },
        [&bytes, cancel, toPlanes](const QString &name, Reduction *r) {
            return decodeBytes(bytes, name, cancel, r, toPlanes);
        });
}

} // namespace

Picture loadPictureBytes(const QString &fileName, const QByteArray &bytes, QString &errorText,
                         const std::atomic<bool> *cancel, Reduction *reduction)
{
    return loadBytes(fileName, bytes, errorText, cancel, reduction, false).picture;
}

PictureOrPlanes loadPictureOrPlanes(const QString &fileName, const QByteArray &bytes, QString &errorText,
                                    const std::atomic<bool> *cancel, Reduction *reduction)
{
    if (fileName.isEmpty()) {
        errorText.clear();
        return finishDecodeOrPlanes(decodeBytes(bytes, QString(), cancel, reduction, true), errorText, cancel,
                                    reduction);
    }
    return loadBytes(fileName, bytes, errorText, cancel, reduction, true);
}
