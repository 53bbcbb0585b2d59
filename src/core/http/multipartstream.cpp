#include "multipartstream.h"

#include <QCoreApplication>

#include <utility>

namespace multipart {

namespace {

QString partTooLargeText(qint64 cap)
{
    return QCoreApplication::translate("multipart", "A part of the live stream is larger than %1 bytes").arg(cap);
}

QString noBoundaryText()
{
    return QCoreApplication::translate("multipart", "The live stream holds no part boundary");
}

QString dataBetweenPartsText()
{
    return QCoreApplication::translate("multipart", "The live stream holds data between its parts");
}

QString headerTooLargeText(qint64 cap)
{
    return QCoreApplication::translate("multipart", "A part's header section is larger than %1 bytes").arg(cap);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

enum class Match { NeedMore, Yes, Closing, No };

// Blanks and tabs from `at`, then CRLF or LF; *length is the line's length with its break.
Match lineEndAfterPadding(QByteArrayView line, qsizetype at, qsizetype *length)
{
    while (at < line.size() && isBlank(line[at]))
        ++at;
    if (at == line.size())
        return Match::NeedMore;
    if (line[at] == '\r') {
        if (at + 1 == line.size())
            return Match::NeedMore;
        if (line[at + 1] != '\n')
            return Match::No;
        *length = at + 2;
        return Match::Yes;
    }
    if (line[at] != '\n')
        return Match::No;
    *length = at + 1;
    return Match::Yes;
}

// A delimiter line of one form: `delimiter`, then "--" (the closing one), or padding and
// a line break.
Match delimiterLine(QByteArrayView line, QByteArrayView delimiter, qsizetype *length)
{
    const qsizetype common = qMin(line.size(), delimiter.size());
    if (line.first(common) != delimiter.first(common))
        return Match::No;
    if (line.size() == common && common < delimiter.size())
        return Match::NeedMore;
    const qsizetype at = delimiter.size();
    if (at < line.size() && line[at] == '-') {
        if (at + 1 == line.size())
            return Match::NeedMore;
        if (line[at + 1] != '-')
            return Match::No;
        *length = at + 2;
        return Match::Closing;
    }
    return lineEndAfterPadding(line, at, length);
}

QByteArrayView mediaTypeOf(QByteArrayView contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    return (semicolon < 0 ? contentType : contentType.first(semicolon)).trimmed();
}

// Content-Length's value, or -1 when it is not a plain decimal number. Values past any
// cap saturate rather than wrap.
qint64 contentLengthOf(QByteArrayView value)
{
    value = value.trimmed();
    if (value.isEmpty())
        return -1;
    qint64 n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return -1;
        n = qMin<qint64>(n * 10 + (c - '0'), qint64(1) << 53);
    }
    return n;
}

} // namespace

bool isStream(QByteArrayView contentType)
{
    return mediaTypeOf(contentType).compare("multipart/x-mixed-replace", Qt::CaseInsensitive) == 0;
}

std::optional<QByteArray> boundaryOf(QByteArrayView contentType)
{
    const QByteArrayView v = contentType;
    qsizetype at = v.indexOf(';');
    while (at >= 0 && at < v.size()) {
        const qsizetype nameFrom = at + 1;
        qsizetype equals = nameFrom;
        while (equals < v.size() && v[equals] != '=' && v[equals] != ';')
            ++equals;
        if (equals == v.size() || v[equals] == ';') {
            at = equals;
            continue;
        }
        const QByteArrayView name = v.sliced(nameFrom, equals - nameFrom).trimmed();
        qsizetype from = equals + 1;
        while (from < v.size() && isBlank(v[from]))
            ++from;
        QByteArray value;
        if (from < v.size() && v[from] == '"') {
            qsizetype i = from + 1;
            for (; i < v.size() && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < v.size())
                    ++i;
                value += v[i];
            }
            at = v.indexOf(';', i);
        } else {
            at = v.indexOf(';', from);
            value = v.sliced(from, (at < 0 ? v.size() : at) - from).trimmed().toByteArray();
        }
        if (name.compare("boundary", Qt::CaseInsensitive) == 0) {
            if (value.isEmpty())
                return std::nullopt;
            return value;
        }
    }
    return std::nullopt;
}

PartReader::PartReader(const QByteArray &boundary, qint64 maxPartBytes)
    : m_boundary(boundary)
    , m_dashedBoundary("--" + boundary)
    , m_maxPartBytes(qMax<qint64>(0, maxPartBytes))
{
    // A line break in the boundary could never stand on one delimiter line.
    if (boundary.isEmpty() || boundary.contains('\n') || boundary.contains('\r'))
        fail(noBoundaryText());
}

bool PartReader::feed(QByteArrayView bytes)
{
    qsizetype pos = 0;
    while (m_state != State::Stopped && pos < bytes.size()) {
        switch (m_state) {
        case State::Preamble:
        case State::Between:
            pos = readGap(bytes, pos);
            break;
        case State::Headers:
            pos = readHeaders(bytes, pos);
            break;
        case State::SizedBody:
            pos = readSizedBody(bytes, pos);
            break;
        case State::OpenBody:
            pos = readOpenBody(bytes, pos);
            break;
        case State::Stopped:
            break;
        }
    }
    return m_state != State::Stopped;
}

std::optional<QByteArray> PartReader::takeNewest()
{
    return std::exchange(m_newest, std::nullopt);
}

// Decided as soon as the bytes so far allow, and never undecided by more bytes, so that
// how the body is cut into pieces changes nothing. A line longer than any delimiter line
// may be is none.
PartReader::Line PartReader::classify(QByteArrayView bytes, qsizetype *length) const
{
    const qsizetype maxLine = m_dashedBoundary.size() + 2 + PaddingMaxBytes;
    const QByteArrayView line = bytes.first(qMin(bytes.size(), maxLine));
    Match match = delimiterLine(line, m_dashedBoundary, length);
    if (match == Match::No)
        match = delimiterLine(line, m_boundary, length);
    if (match == Match::NeedMore)
        return line.size() == maxLine ? Line::Other : Line::NeedMore;
    if (match == Match::Yes)
        return Line::Delimiter;
    if (match == Match::Closing)
        return Line::Closing;
    switch (lineEndAfterPadding(line, 0, length)) {
    case Match::NeedMore:
        return line.size() == maxLine ? Line::Other : Line::NeedMore;
    case Match::Yes:
        return Line::Blank;
    default:
        return Line::Other;
    }
}

// The line starting at a line start: the bytes held from earlier pieces (m_line), then
// bytes from pos. Undecided, the rest of the piece is held and pos moves to its end;
// decided, nothing is consumed: the line is m_line and then bytes from pos, *lineLength
// in all.
PartReader::Line PartReader::lineAt(QByteArrayView bytes, qsizetype &pos, qsizetype *lineLength)
{
    const QByteArrayView rest = bytes.sliced(pos);
    if (m_line.isEmpty()) {
        const Line kind = classify(rest, lineLength);
        if (kind == Line::NeedMore) {
            m_line = rest.toByteArray();
            pos = bytes.size();
        }
        return kind;
    }
    const qsizetype held = m_line.size();
    const qsizetype maxLine = m_dashedBoundary.size() + 2 + PaddingMaxBytes;
    m_line.append(rest.first(qMin(rest.size(), qMax<qsizetype>(0, maxLine - held))));
    const Line kind = classify(m_line, lineLength);
    if (kind == Line::NeedMore)
        pos = bytes.size();
    else
        m_line.truncate(held);
    return kind;
}

void PartReader::consumeLine(qsizetype &pos, qsizetype lineLength)
{
    pos += lineLength - m_line.size();
    m_line.clear();
}

// Before the first delimiter anything goes (up to the cap); between parts only blank lines.
qsizetype PartReader::readGap(QByteArrayView bytes, qsizetype pos)
{
    const State gap = m_state;
    while (m_state == gap && pos < bytes.size()) {
        if (m_skipLine) {
            const qsizetype newline = bytes.indexOf('\n', pos);
            const qsizetype end = newline < 0 ? bytes.size() : newline + 1;
            if (!countGap(end - pos))
                return bytes.size();
            pos = end;
            m_skipLine = newline < 0;
            continue;
        }
        qsizetype length = 0;
        switch (lineAt(bytes, pos, &length)) {
        case Line::NeedMore:
            break;
        case Line::Delimiter:
            consumeLine(pos, length);
            startPart();
            break;
        case Line::Closing:
            end();
            break;
        case Line::Blank:
            consumeLine(pos, length);
            countGap(length);
            break;
        case Line::Other:
            if (gap == State::Between) {
                fail(dataBetweenPartsText());
                break;
            }
            if (!countGap(m_line.size()))
                return bytes.size();
            m_line.clear();
            m_skipLine = true;
            break;
        }
    }
    return pos;
}

qsizetype PartReader::readHeaders(QByteArrayView bytes, qsizetype pos)
{
    while (m_state == State::Headers && pos < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        const qsizetype end = newline < 0 ? bytes.size() : newline + 1;
        if (m_headerBytes + m_line.size() + (end - pos) > HeaderMaxBytes) {
            fail(headerTooLargeText(HeaderMaxBytes));
            break;
        }
        QByteArrayView line = bytes.sliced(pos, end - pos);
        pos = end;
        if (newline < 0) {
            m_line.append(line);
            break;
        }
        if (!m_line.isEmpty()) {
            m_line.append(line);
            line = m_line;
        }
        m_headerBytes += line.size();
        headerLine(line);
        m_line.clear();
    }
    return pos;
}

qsizetype PartReader::readSizedBody(QByteArrayView bytes, qsizetype pos)
{
    const qsizetype n = qsizetype(qMin<qint64>(m_bodyLength - m_part.size(), bytes.size() - pos));
    m_part.append(bytes.sliced(pos, n));
    if (m_part.size() == m_bodyLength) {
        completePart();
        m_state = State::Between;
    }
    return pos + n;
}

// Bytes go into the part in runs, from `from` to the last line start looked at; each byte
// of the piece is searched once, and a delimiter line cut between pieces is held in m_line.
qsizetype PartReader::readOpenBody(QByteArrayView bytes, qsizetype pos)
{
    qsizetype from = pos;
    while (pos < bytes.size()) {
        if (m_lineStart) {
            const qsizetype lineStart = pos;
            qsizetype length = 0;
            const Line kind = lineAt(bytes, pos, &length);
            if (kind == Line::NeedMore) {
                pos = lineStart;
                break;
            }
            if (kind == Line::Delimiter || kind == Line::Closing) {
                if (!addToOpenBody(bytes.sliced(from, lineStart - from)))
                    return bytes.size();
                consumeLine(pos, length);
                endOpenBody();
                if (m_state == State::Stopped)
                    return bytes.size();
                if (kind == Line::Closing) {
                    end();
                    return bytes.size();
                }
                startPart();
                return pos;
            }
            // Held bytes of a line that is no delimiter come before the piece's bytes.
            if (!addToOpenBody(m_line))
                return bytes.size();
            m_line.clear();
            m_lineStart = false;
        }
        const qsizetype newline = bytes.indexOf('\n', pos);
        if (newline < 0) {
            pos = bytes.size();
            break;
        }
        pos = newline + 1;
        m_lineStart = true;
    }
    addToOpenBody(bytes.sliced(from, pos - from));
    return bytes.size();
}

bool PartReader::addToOpenBody(QByteArrayView bytes)
{
    // The line break before a delimiter is not the part's; all else here is.
    if (m_part.size() + bytes.size() - 2 > m_maxPartBytes) {
        fail(partTooLargeText(m_maxPartBytes));
        return false;
    }
    // Growing by copies would hold the old and the new room at once; room up to the cap
    // costs only the pages written.
    if (m_part.size() + bytes.size() > m_part.capacity() && m_part.size() >= GrowToCapFrom)
        m_part.reserve(qsizetype(m_maxPartBytes + 2));
    m_part.append(bytes);
    return true;
}

void PartReader::startPart()
{
    m_state = State::Headers;
    m_gapBytes = 0;
    m_headerBytes = 0;
    m_bodyLength = -1;
}

void PartReader::headerLine(QByteArrayView line)
{
    line.chop(1); // the line feed
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        startBody();
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return;
    if (line.first(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0)
        m_bodyLength = contentLengthOf(line.sliced(colon + 1));
}

void PartReader::startBody()
{
    m_part = QByteArray();
    if (m_bodyLength < 0) {
        // Parts of one stream are much alike in size: room for the last one and a bit.
        m_part.reserve(qsizetype(qMin<qint64>(m_maxPartBytes, m_lastPartSize + m_lastPartSize / 4)));
        m_state = State::OpenBody;
        m_lineStart = true;
        return;
    }
    if (m_bodyLength > m_maxPartBytes) {
        fail(partTooLargeText(m_maxPartBytes));
        return;
    }
    m_part.reserve(qsizetype(m_bodyLength));
    m_state = State::SizedBody;
    if (m_bodyLength == 0) {
        completePart();
        m_state = State::Between;
    }
}

void PartReader::endOpenBody()
{
    if (m_part.endsWith('\n')) {
        m_part.chop(1);
        if (m_part.endsWith('\r'))
            m_part.chop(1);
    }
    if (m_part.size() > m_maxPartBytes)
        fail(partTooLargeText(m_maxPartBytes));
    else
        completePart();
}

void PartReader::completePart()
{
    m_lastPartSize = m_part.size();
    m_newest = std::move(m_part);
    m_part = QByteArray();
    ++m_completed;
}

bool PartReader::countGap(qint64 bytes)
{
    m_gapBytes += bytes;
    if (m_gapBytes <= m_maxPartBytes)
        return true;
    fail(noBoundaryText());
    return false;
}

void PartReader::end()
{
    m_ended = true;
    m_state = State::Stopped;
    m_line = QByteArray();
    m_part = QByteArray();
}

void PartReader::fail(const QString &reason)
{
    m_reason = reason;
    m_state = State::Stopped;
    m_line = QByteArray();
    m_part = QByteArray();
}

} // namespace multipart
