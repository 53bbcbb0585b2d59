// The JPEG route from bytes in memory: whatever the bytes, TurboJPEG's decode either leaves
// them to Qt's reader or ends as the reader ends them, with the same pixels.
//
// Input: the bytes of a picture file; their length modulo 4 picks the reduction asked
// for (1, 2, 4 or 8). Pictures over MaxPixels are passed over: each would cost the fuzzer
// seconds, and the size limit is a rule of its own (checked here from the header).
#include "fuzzcheck.h"

#include "core/rules/pictureloaderrules.h"
#include "platform/picturedecoder.h"

#include <QBuffer>
#include <QImageReader>

namespace {

constexpr qint64 MaxPixels = 1024 * 1024;

QString decoderFailure(picture_loader::DecodeFailure failure)
{
    return picture_loader::statusErrorText(picture_loader::BitmapFromFileFailedText,
                                           picture_loader::decodeFailureStatus(failure));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = fuzz::bytes(data, size);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize full = reader.size();
    const bool jpeg = reader.canRead() && reader.format() == "jpeg";
    const bool tooLarge = full.isValid() && qint64(full.width()) * full.height() * 4 > MaxPictureBytes;
    if (full.isValid() && !tooLarge && qint64(full.width()) * full.height() > MaxPixels)
        return 0;

    const int asked = 1 << (size % 4);
    Reduction reduction;
    reduction.rule = [asked](const QSize &) { return asked; };
    const DirectJpegDecode direct = decodeJpegDirectly(bytes, nullptr, &reduction);
    const int used = reduction.used;
    // Only a JPEG is taken, and only at a factor that divides both sides.
    FUZZ_CHECK(!direct.taken || jpeg);
    FUZZ_CHECK(used == 1 || (used == asked && full.width() % used == 0 && full.height() % used == 0));
    if (!direct.taken)
        return 0;
    if (!direct.picture) {
        // Refused before any decode: only the size limit does that without a cancel flag.
        FUZZ_CHECK(tooLarge);
        FUZZ_CHECK(direct.errorText == decoderFailure(picture_loader::DecodeFailure::TooLarge));
        return 0;
    }
    const QImage &picture = *direct.picture;
    FUZZ_CHECK(picture.format() == QImage::Format_RGB32);
    FUZZ_CHECK(picture.size() == full / used);
    FUZZ_CHECK(direct.errorText.isEmpty());

    // The reader, as it is asked for the same reduction, gives the same picture.
    if (used > 1)
        reader.setScaledSize(full / used);
    const QImage read = reader.read();
    FUZZ_CHECK(!read.isNull());
    const QImage want = read.convertToFormat(QImage::Format_RGB32);
    FUZZ_CHECK(want.size() == picture.size());
    for (int y = 0; y < want.height(); ++y) {
        const QRgb *got = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const QRgb *w = reinterpret_cast<const QRgb *>(want.constScanLine(y));
        for (int x = 0; x < want.width(); ++x)
            FUZZ_CHECK(got[x] == (w[x] | 0xff000000u));
    }
    return 0;
}
