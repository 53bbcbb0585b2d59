#include "picturedecoder.h"

#include "view/pictureloaderrules.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

using namespace picture_loader;

namespace {

struct Decoded
{
    QImage image;
    std::optional<DecodeFailure> failure;
};

bool tooLarge(const QSize &size)
{
    return size.isValid() && qint64(size.width()) * size.height() * 4 > MaxPictureBytes;
}

DecodeFailure failureOf(const QImageReader &reader, const QString &fileName)
{
    switch (reader.error()) {
    case QImageReader::FileNotFoundError:
        return DecodeFailure::FileNotFound;
    case QImageReader::DeviceError:
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

// The first image of the file, whatever its name says: the content picks the decoder.
Decoded decode(const QString &fileName, const PlatformLoadOptions *iconOptions = nullptr)
{
    QImageReader reader(fileName);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        return {QImage(), failureOf(reader, fileName)};

    if (iconOptions && iconOptions->desiredWidth && iconOptions->desiredHeight && reader.imageCount() > 1) {
        const QSize want(*iconOptions->desiredWidth, *iconOptions->desiredHeight);
        int best = 0;
        qint64 bestDistance = -1;
        for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
            const QSize s = reader.size();
            const qint64 d = qAbs(qint64(s.width()) - want.width()) + qAbs(qint64(s.height()) - want.height());
            if (bestDistance < 0 || d < bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        reader.jumpToImage(best);
    }

    // Known from the header: refuse before a single pixel is allocated. Readers that
    // cannot tell the size beforehand are held by QImageReader's own allocation limit.
    if (tooLarge(reader.size()))
        return {QImage(), DecodeFailure::TooLarge};

    QImage image;
    if (!reader.read(&image) || image.isNull())
        return {QImage(), failureOf(reader, fileName)};
    return {std::move(image), std::nullopt};
}

// Lays transparent parts over black so that they come out black, as a bitmap handle made
// with a black background does. Opaque pictures pass without a copy where they are 32-bit.
QImage overBlack(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return flat;
    flat.fill(Qt::black);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
    p.end();
    return flat;
}

qint32 startEngine(quint32 &token)
{
    if (QImageReader::supportedImageFormats().isEmpty())
        return status::NotInitialized;
    token = 1;
    return status::Ok;
}

void stopEngine(quint32) {}

Picture platformLoad(const QString &fileName, const PlatformLoadOptions &options)
{
    const Decoded d = decode(fileName, &options);
    if (d.failure)
        return std::nullopt;
    return PictureFromBitmapHandle(overBlack(d.image));
}

} // namespace

const DecoderEngine &defaultDecoderEngine()
{
    static const DecoderEngine engine{startEngine, stopEngine};
    return engine;
}

Picture PictureFromBitmapHandle(const QImage &bitmap)
{
    if (bitmap.isNull())
        return std::nullopt;
    return bitmap;
}

Picture LoadPictureGdiPlus(const QString &FileName, QString &ErrorText)
{
    ErrorText.clear();
    const Decoded d = decode(FileName);
    if (d.failure) {
        ErrorText = statusErrorText(BitmapFromFileFailedText, decodeFailureStatus(*d.failure));
        return std::nullopt;
    }
    const QImage handle = overBlack(d.image);
    if (handle.isNull()) {
        ErrorText = statusErrorText(HandleFailedText, status::OutOfMemory);
        return std::nullopt;
    }
    Picture picture = PictureFromBitmapHandle(handle);
    if (!picture)
        ErrorText = PictureFromHandleFailedText;
    return picture;
}

Picture LoadPictureFile(const QString &FileName, QString &ErrorText, bool AllowPlatformFallback, bool ForceGdiPlus,
                        const PlatformLoadOptions &options, const DecoderEngine &engine)
{
    ErrorText.clear();
    const QString name = trimSpaces(FileName);
    if (name.isEmpty())
        return QImage();
    if (name.size() < MinimumNameLength) {
        ErrorText = BadFileNameText;
        return std::nullopt;
    }
    const QFileInfo info(name);
    if (!info.isFile()) {
        ErrorText = FileMissingText;
        return std::nullopt;
    }
    if (info.size() < MinimumFileSize) {
        ErrorText = EmptyFileText;
        return std::nullopt;
    }

    Route route = routeFor(classifyExtension(name), ForceGdiPlus);
    if (route == Route::Refused) {
        ErrorText = UnsupportedFormatText;
        return std::nullopt;
    }

    quint32 token = 0;
    if (route == Route::Decoder) {
        // A start-up that cannot even be called counts as no connection to the decoder.
        qint32 started = status::NotInitialized;
        if (engine.startup)
            started = engine.startup(token);
        if (started != status::Ok) {
            if (!AllowPlatformFallback) {
                ErrorText = statusErrorText(StartupFailedText, started);
                if (token != 0 && engine.shutdown)
                    engine.shutdown(token);
                return std::nullopt;
            }
            route = Route::Platform;
        }
    }

    Picture result;
    if (route == Route::Platform) {
        result = platformLoad(name, options);
        if (!result)
            ErrorText = PlatformLoadFailedText;
    } else {
        result = LoadPictureGdiPlus(name, ErrorText);
    }

    if (token != 0 && engine.shutdown)
        engine.shutdown(token);
    return result;
}
