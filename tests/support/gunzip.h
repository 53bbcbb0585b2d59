#pragma once
// One gzip member inflated with zlib, for reading compressed answers in tests.
#include <QByteArray>

#include <zlib.h>

// The inflated bytes; *ok is false unless the member was whole, its CRC and length right,
// and nothing followed it.
inline QByteArray gunzip(const QByteArray &data, bool *ok = nullptr)
{
    z_stream stream {};
    QByteArray out;
    int status = inflateInit2(&stream, 16 + MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    while (status == Z_OK) {
        char buffer[64 * 1024];
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
    }
    inflateEnd(&stream);
    if (ok)
        *ok = status == Z_STREAM_END && stream.avail_in == 0;
    return out;
}
