#pragma once
// Pictures made to try the decoders, built by the tests themselves.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QList>

namespace crafted {

// A picture of one colour, encoded in format ("PNG", "JPG").
inline QByteArray filled(QSize size, QRgb colour, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Every pixel black, alpha aside: an area the drawing left cleared.
inline bool allBlack(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0)
                return false;
    return true;
}

inline quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray bigEndian32(quint32 v)
{
    return QByteArray{} + char(v >> 24) + char(v >> 16) + char(v >> 8) + char(v);
}

inline QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian32(quint32(data.size())) + type + data + bigEndian32(crc32(type + data));
}

// A PNG of row.size() x height RGBA pixels, every row the same. The rows after the first
// are stored as "same as the row above", so even a picture near the pixel limit packs into
// a few hundred kilobytes and is quick to make; the decoder still fills every pixel.
inline QByteArray rgbaPng(const QList<QRgb> &row, int height)
{
    const qsizetype stride = 1 + 4 * row.size();
    QByteArray raw;
    raw.reserve(stride * height);
    raw.append('\0');
    for (const QRgb c : row)
        raw.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c))).append(char(qAlpha(c)));
    QByteArray up(stride, '\0');
    up[0] = 2;
    for (int y = 1; y < height; ++y)
        raw.append(up);
    const QByteArray header = bigEndian32(quint32(row.size())) + bigEndian32(quint32(height))
        + QByteArray("\x08\x06\x00\x00\x00", 5);
    const QByteArray zlib = qCompress(raw, 1).mid(4); // qCompress puts the length first
    raw.clear();
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib)
        + pngChunk("IEND", QByteArray());
}

// A row of `width` pixels whose colour and alpha run through every value from left to right.
inline QList<QRgb> rampRow(int width)
{
    QList<QRgb> row;
    row.reserve(width);
    for (int x = 0; x < width; ++x)
        row.append(qRgba(x % 256, (x / 256) % 256, 255 - x % 256, (x * 7) % 256));
    return row;
}

// A progressive JPEG of side x side pixels of one colour whose first luma AC scan is
// followed by `repeats` copies of itself. Each copy adds a few dozen bytes to the file but
// makes the decoder walk every block of the picture once more. Empty if the JPEG writer is
// missing or writes no such scan.
inline QByteArray jpegScanBomb(int side, int repeats)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(qRgb(90, 120, 150));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(image))
        return {};
    const auto at = [&](qsizetype i) { return i < bytes.size() ? uchar(bytes[i]) : 0; };
    qsizetype i = 2; // past SOI
    while (i + 4 <= bytes.size() && at(i) == 0xFF) {
        const int marker = at(i + 1);
        const int length = (at(i + 2) << 8) | at(i + 3);
        if (marker == 0xD9)
            break;
        if (marker != 0xDA) {
            i += 2 + length;
            continue;
        }
        // A scan: its header, then entropy-coded data up to the next marker that is
        // neither a stuffed zero nor a restart marker.
        const int components = at(i + 4);
        const int firstComponent = at(i + 5);
        const int spectralStart = at(i + 5 + 2 * components);
        const int approximationHigh = at(i + 7 + 2 * components) >> 4;
        qsizetype end = i + 2 + length;
        while (end + 1 < bytes.size()
               && !(at(end) == 0xFF && at(end + 1) != 0 && (at(end + 1) < 0xD0 || at(end + 1) > 0xD7)))
            ++end;
        if (components == 1 && firstComponent == 1 && spectralStart > 0 && approximationHigh == 0) {
            bytes.insert(end, bytes.mid(i, end - i).repeated(repeats));
            return bytes;
        }
        i = end;
    }
    return {};
}

} // namespace crafted
