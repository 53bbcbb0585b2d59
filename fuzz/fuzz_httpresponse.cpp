// The reader of HTTP answers over any bytes a server may send: the limits hold while the
// bytes arrive, and how the bytes are split into pieces never changes the outcome.
//
// Input: the stream, followed by up to 16 control bytes read from the end (the limits,
// whether the connection ends, the sizes of the pieces).
#include "fuzzcheck.h"

#include "core/http/httpresponse.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

namespace {

struct Outcome {
    HttpResponseReader::Error error;
    bool complete;
    bool headersComplete;
    int status;
    QByteArray body;
    qint64 taken;
};

Outcome read(const QByteArray &stream, const std::vector<qsizetype> &pieces, bool endOfStream, qint64 maxHeader,
             qint64 maxBody)
{
    HttpResponseReader reader(maxHeader, maxBody);
    qint64 taken = 0;
    qsizetype at = 0;
    size_t next = 0;
    while (at < stream.size() && !reader.failed() && !reader.complete()) {
        const qsizetype size = std::min(next < pieces.size() ? pieces[next++] : stream.size(), stream.size() - at);
        QByteArrayView piece = QByteArrayView(stream).sliced(at, size);
        at += size;
        while (!piece.isEmpty()) {
            const qsizetype n = reader.feed(piece);
            FUZZ_CHECK(n >= 0 && n <= piece.size());
            // The limits hold after every step, not just at the end.
            FUZZ_CHECK(reader.headerBytes() <= maxHeader);
            FUZZ_CHECK(reader.body().size() <= maxBody);
            if (reader.failed())
                FUZZ_CHECK(reader.body().isEmpty());
            if (n == 0) {
                FUZZ_CHECK(reader.failed() || reader.complete());
                break;
            }
            taken += n;
            piece = piece.sliced(n);
        }
    }
    if (endOfStream) {
        reader.endOfStream();
        FUZZ_CHECK(reader.failed() || reader.complete());
    }
    if (reader.complete()) {
        FUZZ_CHECK(!reader.failed());
        FUZZ_CHECK(reader.headersComplete());
        FUZZ_CHECK(reader.statusCode() >= 200 && reader.statusCode() <= 599);
        if (reader.contentLength() >= 0 && reader.statusCode() != 204 && reader.statusCode() != 304
            && !reader.hasHeader("transfer-encoding"))
            FUZZ_CHECK(reader.body().size() == reader.contentLength());
    }
    FUZZ_CHECK(taken <= stream.size());
    return {reader.error(), reader.complete(), reader.headersComplete(), reader.statusCode(), reader.body(), taken};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t controlSize = std::min<size_t>(size, 16);
    FuzzedDataProvider control(data + size - controlSize, controlSize);
    const QByteArray stream = fuzz::bytes(data, size - controlSize);

    const qint64 maxHeader = control.ConsumeIntegralInRange<qint64>(0, 512);
    const qint64 maxBody = control.ConsumeIntegralInRange<qint64>(0, 512);
    const bool endOfStream = control.ConsumeBool();
    std::vector<qsizetype> pieces;
    while (control.remaining_bytes() > 0)
        pieces.push_back(control.ConsumeIntegralInRange<qsizetype>(1, 64));

    const Outcome whole = read(stream, {}, endOfStream, maxHeader, maxBody);
    const Outcome split = read(stream, pieces, endOfStream, maxHeader, maxBody);
    FUZZ_CHECK(whole.error == split.error);
    FUZZ_CHECK(whole.complete == split.complete);
    FUZZ_CHECK(whole.headersComplete == split.headersComplete);
    FUZZ_CHECK(whole.status == split.status);
    FUZZ_CHECK(whole.body == split.body);
    // A failure may come a piece earlier or later in what was taken, never in what it is.
    if (whole.error == HttpResponseReader::Error::None)
        FUZZ_CHECK(whole.taken == split.taken);
    return 0;
}
