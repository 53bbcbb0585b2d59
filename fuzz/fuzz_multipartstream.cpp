// The reader of live picture streams: whatever the body and however it is cut into
// pieces, the same parts come out, none larger than the cap, and nothing after the
// stream has failed or ended.
//
// Input: a Content-Type value up to the first line feed, then the body. The body is fed
// at once, a byte at a time, and in pieces whose sizes its own bytes choose.
#include "fuzzcheck.h"

#include "core/http/multipartstream.h"

#include <QList>

#include <functional>

namespace {

constexpr qint64 Cap = 100;

struct Run
{
    QList<QByteArray> taken;
    qint64 completed = 0;
    bool failed = false;
    bool ended = false;
    QString reason;
};

Run feedInPieces(const QByteArray &boundary, QByteArrayView body,
                 const std::function<qsizetype(qsizetype at)> &pieceAt)
{
    multipart::PartReader reader(boundary, Cap);
    Run run;
    bool stopped = reader.failed();
    for (qsizetype at = 0; at < body.size();) {
        const qsizetype n = qMin(pieceAt(at), body.size() - at);
        const qint64 before = reader.completedParts();
        const bool reading = reader.feed(body.sliced(at, n));
        at += n;
        FUZZ_CHECK(reading == (!reader.failed() && !reader.ended()));
        FUZZ_CHECK(!(reader.failed() && reader.ended()));
        FUZZ_CHECK(reader.completedParts() >= before);
        // Once stopped, bytes are not read.
        if (stopped)
            FUZZ_CHECK(reader.completedParts() == before);
        stopped = !reading;
        if (std::optional<QByteArray> part = reader.takeNewest()) {
            FUZZ_CHECK(part->size() <= Cap);
            run.taken.append(*part);
        }
        FUZZ_CHECK(!reader.takeNewest());
    }
    run.completed = reader.completedParts();
    run.failed = reader.failed();
    run.ended = reader.ended();
    run.reason = reader.reason();
    FUZZ_CHECK(run.failed == !run.reason.isEmpty());
    return run;
}

void checkSameEnd(const Run &a, const Run &b)
{
    FUZZ_CHECK(a.completed == b.completed);
    FUZZ_CHECK(a.failed == b.failed);
    FUZZ_CHECK(a.reason == b.reason);
    FUZZ_CHECK(a.ended == b.ended);
    FUZZ_CHECK(a.taken.isEmpty() == b.taken.isEmpty());
    if (!a.taken.isEmpty())
        FUZZ_CHECK(a.taken.last() == b.taken.last());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const qsizetype newline = input.indexOf('\n');
    const QByteArray contentType = newline < 0 ? input : input.first(newline);
    const QByteArrayView body = newline < 0 ? QByteArrayView() : QByteArrayView(input).sliced(newline + 1);

    const std::optional<QByteArray> boundary = multipart::boundaryOf(contentType);
    if (boundary)
        FUZZ_CHECK(!boundary->isEmpty());
    const QByteArray named = boundary.value_or(QByteArray());

    const Run whole = feedInPieces(named, body, [&](qsizetype) { return qMax<qsizetype>(1, body.size()); });
    const Run bytewise = feedInPieces(named, body, [](qsizetype) { return qsizetype(1); });
    const Run pieces = feedInPieces(named, body, [&](qsizetype at) { return 1 + qsizetype(uchar(body[at]) % 23); });

    FUZZ_CHECK(whole.taken.size() <= 1);
    // A byte completes one part at most, so a byte at a time every part is seen.
    FUZZ_CHECK(bytewise.taken.size() == bytewise.completed);
    checkSameEnd(whole, bytewise);
    checkSameEnd(pieces, bytewise);
    // Parts seen in pieces are some of those seen a byte at a time, in the same order.
    qsizetype next = 0;
    for (const QByteArray &part : pieces.taken) {
        while (next < bytewise.taken.size() && bytewise.taken.at(next) != part)
            ++next;
        FUZZ_CHECK(next < bytewise.taken.size());
        ++next;
    }
    return 0;
}
