#pragma once
// A live stream of pictures: the body of a multipart/x-mixed-replace answer, each part
// replacing the one before (a camera's Motion-JPEG stream).
//
// PartReader takes the body as it arrives, in pieces of any size, and finds its parts by
// the boundary the Content-Type field names. It tolerates what cameras commonly send:
// delimiter lines with or without the leading "--", lines ending in CRLF or LF alone,
// parts with a Content-Length field (read exactly that many bytes) or without one (the
// part ends where the next delimiter line begins), a preamble before the first delimiter,
// blank lines between a part's end and the next delimiter. Only the newest complete part
// is held: a part not taken before the next one completes is dropped, so memory stays
// bounded however fast parts come. The stream fails, for good, with a reason when a part
// (its header section or its body) is larger than the cap, when no delimiter comes within
// the cap (the boundary is not the stream's), or when anything else stands between a part
// announced by its Content-Length and the next delimiter; a closing delimiter ("--B--")
// ends it without failure.
//
// Plain data in, plain data out: no I/O, no clock, no threads.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace multipart {

// Whether the Content-Type field's value is that of a live stream
// ("multipart/x-mixed-replace", any case, with or without parameters).
bool isStream(QByteArrayView contentType);

// The boundary named in the field's parameters ("boundary=frame", "boundary=\"frame\"",
// any case of the parameter's name, blanks round the "="); nothing when there is none or it
// is empty.
std::optional<QByteArray> boundaryOf(QByteArrayView contentType);

class PartReader
{
public:
    // maxPartBytes: the cap on one part's body; a part's header section has its own small
    // cap (HeaderMaxBytes). An empty boundary, or one holding a line break, fails at once.
    PartReader(const QByteArray &boundary, qint64 maxPartBytes);

    // Reads the next bytes of the body. Returns false once the stream has failed (reason())
    // or ended (ended()); bytes after that are not read.
    bool feed(QByteArrayView bytes);

    // The body of the newest part completed and not yet taken, once.
    std::optional<QByteArray> takeNewest();

    // Parts completed so far, taken or dropped.
    qint64 completedParts() const { return m_completed; }
    bool failed() const { return !m_reason.isEmpty(); }
    // Why the stream failed, one line for the user; empty while it has not.
    const QString &reason() const { return m_reason; }
    // A closing delimiter came.
    bool ended() const { return m_ended; }

    static constexpr qint64 HeaderMaxBytes = 16 * 1024;
    // A part without a length that grows past this takes room up to the cap at once.
    static constexpr qsizetype GrowToCapFrom = 1024 * 1024;
    // Blanks and tabs allowed after a delimiter, or on a blank line between parts.
    static constexpr qsizetype PaddingMaxBytes = 256;

private:
    // Where in the stream the reader stands.
    enum class State {
        Preamble, // before the first delimiter line
        Between, // after a part: blank lines, then a delimiter line
        Headers, // a part's header section
        SizedBody, // a body announced by Content-Length
        OpenBody, // a body that ends where the next delimiter line begins
        Stopped // failed or ended
    };
    // What a line that starts at a line start turns out to be.
    enum class Line { NeedMore, Delimiter, Closing, Blank, Other };

    Line classify(QByteArrayView line, qsizetype *length) const;
    Line lineAt(QByteArrayView bytes, qsizetype &pos, qsizetype *lineLength);
    qsizetype readGap(QByteArrayView bytes, qsizetype pos);
    // False, and the stream failed, when the part would be over the cap.
    bool addToOpenBody(QByteArrayView bytes);
    qsizetype readHeaders(QByteArrayView bytes, qsizetype pos);
    qsizetype readSizedBody(QByteArrayView bytes, qsizetype pos);
    qsizetype readOpenBody(QByteArrayView bytes, qsizetype pos);
    void consumeLine(qsizetype &pos, qsizetype lineLength);
    void startPart();
    void headerLine(QByteArrayView line);
    void startBody();
    void endOpenBody();
    void end();
    void completePart();
    bool countGap(qint64 bytes);
    void fail(const QString &reason);

    QByteArray m_boundary;
    QByteArray m_dashedBoundary; // "--" and the boundary
    qint64 m_maxPartBytes = 0;
    State m_state = State::Preamble;
    // The start of a line not yet told apart from a delimiter line, or the header line
    // being read: never more than a delimiter line's or the header section's cap.
    QByteArray m_line;
    // Preamble: the rest of the current line is skipped.
    bool m_skipLine = false;
    // Open body: the next byte starts a line.
    bool m_lineStart = false;
    qint64 m_gapBytes = 0; // preamble or blank lines since the last delimiter
    qint64 m_headerBytes = 0;
    qint64 m_bodyLength = -1; // from Content-Length; -1 without one
    QByteArray m_part; // the body being read
    qsizetype m_lastPartSize = 0;
    std::optional<QByteArray> m_newest;
    qint64 m_completed = 0;
    QString m_reason;
    bool m_ended = false;
};

} // namespace multipart
