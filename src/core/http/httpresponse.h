#pragma once
// Reads one HTTP/1.x answer to a GET from the bytes of its connection, as they arrive.
//
// In: the bytes in pieces of any size, then endOfStream() when the connection ends. Out:
// the status, the header fields and the body, decoded from chunks where the answer is
// chunked. Limits hold while the bytes arrive, so nothing beyond them is ever held: the
// header section (status line to blank line, interim 1xx answers included) is at most
// maxHeaderBytes, a chunk-size line at most ChunkLineMaxBytes, the trailer section at most
// maxHeaderBytes, the body at most maxBodyBytes.
// Lines may end in CR LF or LF alone. A failure is final: the reader takes no more bytes,
// drops the body and error() says why. No content coding is undone: the request asks for none.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

class HttpResponseReader
{
public:
    enum class Error {
        None,
        HeaderTooLarge, // the header or trailer section is over its limit
        BodyTooLarge,   // the body is over its limit
        Malformed,      // not an HTTP/1.x answer, or one whose framing cannot be trusted
        CutShort,       // the connection ended before the answer did
    };

    static constexpr qsizetype ChunkLineMaxBytes = 4096;
    // A body of unknown length has this much, or its cap if less, reserved at the start.
    static constexpr qint64 ReserveMaxBytes = 64 * 1024 * 1024;

    HttpResponseReader(qint64 maxHeaderBytes, qint64 maxBodyBytes);

    // Takes bytes up to the end of the header section and stops there, so the caller sees
    // the header fields before any body byte is held; beyond that point it takes what the
    // answer still needs. Returns how many bytes it took: none once failed or complete.
    qsizetype feed(QByteArrayView data);
    // The connection has ended: a body that runs to the end of the connection is complete
    // now, anything unfinished is cut short.
    void endOfStream();

    bool headersComplete() const { return m_state >= State::BodyByLength; }
    bool complete() const { return m_state == State::Done; }
    bool failed() const { return m_error != Error::None; }
    Error error() const { return m_error; }

    int statusCode() const { return m_status; }
    // The status line's text after the code, as the server sent it; empty when it sent none.
    const QByteArray &reasonPhrase() const { return m_reasonPhrase; }
    // The first field of that name, case-insensitive, trimmed; empty when there is none.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    // The announced body length, or -1 when the answer announces none (chunked, or up to
    // the end of the connection).
    qint64 contentLength() const { return m_contentLength; }
    qint64 headerBytes() const { return m_headerBytes; }
    const QByteArray &body() const { return m_body; }
    QByteArray takeBody();

private:
    enum class State {
        StatusLine,
        HeaderLines,
        BodyByLength,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailers,
        BodyToClose,
        Done,
    };

    // Adds bytes up to a line end to m_line; true once the line is whole (without its end).
    bool takeLine(QByteArrayView data, qsizetype *taken, qint64 *budgetUsed, qint64 budget, Error overBudget);
    // One per kind of state: each takes what it can of data, adds it to *taken and moves on.
    // readHeaderLine is true once the header section is whole.
    bool readHeaderLine(QByteArrayView data, qsizetype *taken);
    void readCountedBody(QByteArrayView data, qsizetype *taken);
    void readChunkLine(QByteArrayView data, qsizetype *taken);
    void readTrailerLine(QByteArrayView data, qsizetype *taken);
    void readBodyToClose(QByteArrayView data, qsizetype *taken);
    void chunkSizeLine();
    void statusLine();
    void headerLine();
    void headersEnded();
    QByteArray transferCodings() const;
    bool agreedContentLength(qint64 *length) const;
    void reserveUnknownBody();
    void appendBody(QByteArrayView data);
    void fail(Error error);

    qint64 m_maxHeaderBytes;
    qint64 m_maxBodyBytes;
    State m_state = State::StatusLine;
    Error m_error = Error::None;
    QByteArray m_line;
    qint64 m_headerBytes = 0;
    qint64 m_chunkLineBytes = 0;
    qint64 m_trailerBytes = 0;
    int m_status = 0;
    QByteArray m_reasonPhrase;
    QList<QPair<QByteArray, QByteArray>> m_fields; // names in lower case
    qint64 m_contentLength = -1;
    qint64 m_remaining = 0; // of the body or of the current chunk
    QByteArray m_body;
};
