#include "httpresponse.h"

namespace {

bool isDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A decimal length as Content-Length gives it; -1 when it is none or past any sane size.
qint64 parseLength(QByteArrayView text)
{
    if (!isDigits(text) || text.size() > 18)
        return -1;
    qint64 value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

} // namespace

HttpResponseReader::HttpResponseReader(qint64 maxHeaderBytes, qint64 maxBodyBytes)
    : m_maxHeaderBytes(maxHeaderBytes)
    , m_maxBodyBytes(maxBodyBytes)
{
}

QByteArray HttpResponseReader::header(QByteArrayView name) const
{
    for (const auto &field : m_fields)
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    return {};
}

bool HttpResponseReader::hasHeader(QByteArrayView name) const
{
    for (const auto &field : m_fields)
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void HttpResponseReader::fail(Error error)
{
    if (m_error == Error::None)
        m_error = error;
    // A failed answer is of no use; what it held goes at once.
    m_line.clear();
    m_body.clear();
}

bool HttpResponseReader::takeLine(QByteArrayView data, qsizetype *taken, qint64 *budgetUsed, qint64 budget,
                                  Error overBudget)
{
    const qsizetype end = data.indexOf('\n');
    const qsizetype size = end < 0 ? data.size() : end + 1;
    // Counted before anything is kept, so a line never grows past the budget in memory.
    if (*budgetUsed + size > budget) {
        fail(overBudget);
        return false;
    }
    *budgetUsed += size;
    *taken += size;
    m_line.append(data.first(size));
    if (end < 0)
        return false;
    m_line.chop(1);
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    return true;
}

qsizetype HttpResponseReader::feed(QByteArrayView data)
{
    qsizetype taken = 0;
    while (taken < data.size() && !failed() && m_state != State::Done) {
        const QByteArrayView rest = data.sliced(taken);
        switch (m_state) {
        case State::StatusLine:
        case State::HeaderLines:
            if (readHeaderLine(rest, &taken))
                return taken; // the caller looks at the header fields first
            break;
        case State::BodyByLength:
        case State::ChunkData:
            readCountedBody(rest, &taken);
            break;
        case State::ChunkSize:
        case State::ChunkEnd:
            readChunkLine(rest, &taken);
            break;
        case State::Trailers:
            readTrailerLine(rest, &taken);
            break;
        case State::BodyToClose:
            readBodyToClose(rest, &taken);
            break;
        case State::Done:
            break;
        }
    }
    return taken;
}

bool HttpResponseReader::readHeaderLine(QByteArrayView data, qsizetype *taken)
{
    if (!takeLine(data, taken, &m_headerBytes, m_maxHeaderBytes, Error::HeaderTooLarge))
        return false;
    if (m_state == State::StatusLine)
        statusLine();
    else
        headerLine();
    m_line.clear();
    return headersComplete();
}

void HttpResponseReader::readCountedBody(QByteArrayView data, qsizetype *taken)
{
    const qsizetype n = qsizetype(qMin<qint64>(data.size(), m_remaining));
    appendBody(data.first(n));
    if (failed())
        return;
    *taken += n;
    m_remaining -= n;
    if (m_remaining == 0)
        m_state = m_state == State::BodyByLength ? State::Done : State::ChunkEnd;
}

void HttpResponseReader::readChunkLine(QByteArrayView data, qsizetype *taken)
{
    if (!takeLine(data, taken, &m_chunkLineBytes, ChunkLineMaxBytes, Error::Malformed))
        return;
    m_chunkLineBytes = 0;
    if (m_state == State::ChunkEnd) {
        // The data of a chunk ends in a bare line end, nothing else.
        if (!m_line.isEmpty())
            fail(Error::Malformed);
        m_state = State::ChunkSize;
    } else {
        chunkSizeLine();
    }
    m_line.clear();
}

void HttpResponseReader::chunkSizeLine()
{
    // Extensions after ';' carry nothing this reader needs.
    const qsizetype semicolon = m_line.indexOf(';');
    const QByteArray size = (semicolon < 0 ? m_line : m_line.left(semicolon)).trimmed();
    bool ok = false;
    const qint64 chunk = size.size() <= 15 ? size.toLongLong(&ok, 16) : -1;
    if (!ok || chunk < 0 || size.startsWith('+') || size.startsWith('-')
        || size.startsWith("0x") || size.startsWith("0X"))
        fail(Error::Malformed);
    else if (chunk == 0)
        m_state = State::Trailers;
    else if (qint64(m_body.size()) + chunk > m_maxBodyBytes)
        fail(Error::BodyTooLarge);
    else {
        m_remaining = chunk;
        m_state = State::ChunkData;
    }
}

void HttpResponseReader::readTrailerLine(QByteArrayView data, qsizetype *taken)
{
    if (!takeLine(data, taken, &m_trailerBytes, m_maxHeaderBytes, Error::HeaderTooLarge))
        return;
    if (m_line.isEmpty())
        m_state = State::Done;
    m_line.clear();
}

void HttpResponseReader::readBodyToClose(QByteArrayView data, qsizetype *taken)
{
    appendBody(data);
    if (!failed())
        *taken += data.size();
}

void HttpResponseReader::endOfStream()
{
    if (failed() || m_state == State::Done)
        return;
    if (m_state == State::BodyToClose)
        m_state = State::Done;
    else
        fail(Error::CutShort);
}

void HttpResponseReader::statusLine()
{
    // Blank lines before the status line are tolerated (they still count as header bytes).
    if (m_line.isEmpty())
        return;
    // "HTTP/1.x NNN reason"; the reason may be missing.
    const QByteArray &line = m_line;
    if (!line.startsWith("HTTP/1.") || line.size() < 12 || line.at(7) < '0' || line.at(7) > '9'
        || line.at(8) != ' ' || !isDigits(QByteArrayView(line).sliced(9, 3))
        || (line.size() > 12 && line.at(12) != ' ')) {
        fail(Error::Malformed);
        return;
    }
    const int status = QByteArrayView(line).sliced(9, 3).toInt();
    // 101 would switch protocols, which a GET never asked for.
    if (status < 100 || status > 599 || status == 101) {
        fail(Error::Malformed);
        return;
    }
    m_status = status;
    // An interim answer's phrase is replaced by the final one's.
    m_reasonPhrase = line.size() > 13 ? line.mid(13) : QByteArray();
    m_state = State::HeaderLines;
}

void HttpResponseReader::headerLine()
{
    if (m_line.isEmpty()) {
        headersEnded();
        return;
    }
    // A line starting with a blank continues the field before it.
    if ((m_line.startsWith(' ') || m_line.startsWith('\t')) && !m_fields.isEmpty()) {
        QByteArray &value = m_fields.last().second;
        const QByteArray more = m_line.trimmed();
        if (!more.isEmpty())
            value += (value.isEmpty() ? QByteArray() : QByteArray(" ")) + more;
        return;
    }
    const qsizetype colon = m_line.indexOf(':');
    // Lines without a name are skipped, as lenient clients do; they still count against
    // the limit.
    if (colon <= 0)
        return;
    m_fields.append({m_line.left(colon).trimmed().toLower(), m_line.mid(colon + 1).trimmed()});
}

void HttpResponseReader::headersEnded()
{
    if (m_status < 200) {
        // An interim answer; the real one follows on the same connection.
        m_fields.clear();
        m_state = State::StatusLine;
        return;
    }
    if (m_status == 204 || m_status == 304) {
        m_state = State::Done;
        return;
    }

    // Transfer-Encoding wins over Content-Length; a body coded otherwise than chunked at
    // the last step runs to the end of the connection.
    const QByteArray codings = transferCodings();
    if (!codings.isEmpty()) {
        const QByteArray last = codings.split(',').last().trimmed().toLower();
        m_state = last == "chunked" ? State::ChunkSize : State::BodyToClose;
        reserveUnknownBody();
        return;
    }

    qint64 length = -1;
    if (!agreedContentLength(&length)) {
        fail(Error::Malformed);
        return;
    }
    m_contentLength = length;
    if (length < 0) {
        m_state = State::BodyToClose;
        reserveUnknownBody();
    } else if (length == 0) {
        m_state = State::Done;
    } else {
        if (length <= m_maxBodyBytes)
            m_body.reserve(qsizetype(length)); // held once, without regrowth
        m_remaining = length;
        m_state = State::BodyByLength;
    }
}

// Every Transfer-Encoding field's codings in order, as one comma-separated list.
QByteArray HttpResponseReader::transferCodings() const
{
    QByteArray codings;
    for (const auto &field : m_fields)
        if (field.first == "transfer-encoding")
            codings += (codings.isEmpty() ? "" : ",") + field.second;
    return codings;
}

// Several Content-Length fields, or one listing several values, must all agree; a framing
// the two ends could read differently cannot be trusted. *length is -1 when there is none.
bool HttpResponseReader::agreedContentLength(qint64 *length) const
{
    *length = -1;
    for (const auto &field : m_fields) {
        if (field.first != "content-length")
            continue;
        for (const QByteArray &value : field.second.split(',')) {
            const qint64 n = parseLength(value.trimmed());
            if (n < 0 || (*length >= 0 && n != *length))
                return false;
            *length = n;
        }
    }
    return true;
}

// A body of unknown length that grew by reallocation would, near the cap, be held twice
// while it is copied. Reserved address space costs no memory until it is written, and the
// body is trimmed to its size when taken.
void HttpResponseReader::reserveUnknownBody()
{
    m_body.reserve(qsizetype(qMin(m_maxBodyBytes, ReserveMaxBytes)));
}

QByteArray HttpResponseReader::takeBody()
{
    if (m_body.capacity() > m_body.size() + m_body.size() / 4)
        m_body.squeeze();
    return std::move(m_body);
}

void HttpResponseReader::appendBody(QByteArrayView data)
{
    if (qint64(m_body.size()) + data.size() > m_maxBodyBytes) {
        fail(Error::BodyTooLarge);
        return;
    }
    m_body.append(data);
}
