#include "gzip.h"

#include <QRegularExpression>

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

namespace gzip {
namespace {

constexpr size_t kZeroUnit = 1 << 20;

// A deflate stream with the gzip header and trailer, ended with the object.
struct Deflater {
    z_stream stream {};
    bool ready = false;
    explicit Deflater(int level, int strategy)
    {
        ready = deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 9, strategy) == Z_OK;
    }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }

    // Runs size bytes through the stream, flushed as flush asks, and appends what comes out.
    void run(const char *data, size_t size, int flush, std::string &out)
    {
        char buffer[64 * 1024];
        do {
            const size_t step = std::min<size_t>(size, size_t(1) << 30); // avail_in is 32 bits
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
            stream.avail_in = uInt(step);
            data += step;
            size -= step;
            do {
                stream.next_out = reinterpret_cast<Bytef *>(buffer);
                stream.avail_out = sizeof buffer;
                deflate(&stream, size > 0 ? Z_NO_FLUSH : flush);
                out.append(buffer, sizeof buffer - stream.avail_out);
            } while (stream.avail_out == 0);
        } while (size > 0);
    }
};

bool positiveQuality(const std::string &value)
{
    static const QRegularExpression form(QStringLiteral("^(?:0(?:\\.[0-9]{0,3})?|1(?:\\.0{0,3})?)$"));
    return form.match(QString::fromStdString(value)).hasMatch() && value.find_first_of("123456789") != std::string::npos;
}

std::string trimmedLower(const std::string &text)
{
    const size_t from = text.find_first_not_of(" \t");
    if (from == std::string::npos)
        return {};
    std::string out = text.substr(from, text.find_last_not_of(" \t") + 1 - from);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

void putLittleEndian(char *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = char((value >> (8 * i)) & 0xff);
}

} // namespace

bool accepted(const std::string &acceptEncoding)
{
    std::optional<bool> named, any;
    size_t from = 0;
    while (from <= acceptEncoding.size()) {
        const size_t to = std::min(acceptEncoding.find(',', from), acceptEncoding.size());
        const std::string element = acceptEncoding.substr(from, to - from);
        from = to + 1;
        const size_t semicolon = element.find(';');
        const std::string coding = trimmedLower(element.substr(0, semicolon));
        bool allowed = true;
        for (size_t at = semicolon; at != std::string::npos;) {
            const size_t next = element.find(';', at + 1);
            const std::string parameter = trimmedLower(element.substr(at + 1, next == std::string::npos ? next : next - at - 1));
            if (parameter.rfind("q=", 0) == 0)
                allowed = positiveQuality(parameter.substr(2));
            at = next;
        }
        if ((coding == "gzip" || coding == "x-gzip") && !named)
            named = allowed;
        else if (coding == "*" && !any)
            any = allowed;
    }
    return named ? *named : any.value_or(false);
}

std::string compressed(const std::string &bytes)
{
    Deflater deflater(Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY);
    std::string out;
    if (deflater.ready)
        deflater.run(bytes.data(), bytes.size(), Z_FINISH, out);
    return out;
}

InflatingZeros::InflatingZeros(std::uint64_t zeros)
{
    zeros = std::min(zeros, MaxZeros);
    const std::vector<char> unit(kZeroUnit, 0);
    Deflater deflater(Z_BEST_COMPRESSION, Z_RLE);
    if (!deflater.ready)
        return;
    std::uint64_t left = zeros;
    std::string last;
    while (left >= kZeroUnit) {
        std::string piece;
        deflater.run(unit.data(), kZeroUnit, Z_FULL_FLUSH, piece);
        left -= kZeroUnit;
        if (piece == last) {
            m_unit = std::move(piece);
            m_repeats = 2 + left / kZeroUnit; // the last piece, this one and the units to come
            left %= kZeroUnit;
            break;
        }
        m_head += last;
        last = std::move(piece);
    }
    if (m_repeats == 0)
        m_head += last;
    deflater.run(unit.data(), size_t(left), Z_FINISH, m_tail);
    if (m_repeats == 0 || m_tail.size() < 8)
        return;
    // The trailer zlib wrote counts only the zeros it saw: CRC-32 and length of them all instead.
    uLong crc = crc32(0, Z_NULL, 0);
    const uLong unitCrc = crc32(0, reinterpret_cast<const Bytef *>(unit.data()), uInt(kZeroUnit));
    const uLong appendUnit = crc32_combine_gen(z_off_t(kZeroUnit));
    for (std::uint64_t i = 0; i < zeros / kZeroUnit; ++i)
        crc = crc32_combine_op(crc, unitCrc, appendUnit);
    const size_t rest = size_t(zeros % kZeroUnit);
    crc = crc32_combine(crc, crc32(0, reinterpret_cast<const Bytef *>(unit.data()), uInt(rest)), z_off_t(rest));
    putLittleEndian(&m_tail[m_tail.size() - 8], std::uint32_t(crc));
    putLittleEndian(&m_tail[m_tail.size() - 4], std::uint32_t(zeros));
}

std::uint64_t InflatingZeros::size() const { return m_head.size() + m_unit.size() * m_repeats + m_tail.size(); }

void InflatingZeros::read(std::uint64_t position, char *buffer, size_t length) const
{
    const std::uint64_t unitsEnd = m_head.size() + m_unit.size() * m_repeats;
    while (length > 0) {
        const std::string *piece = &m_tail;
        std::uint64_t offset = position - unitsEnd;
        if (position < m_head.size()) {
            piece = &m_head;
            offset = position;
        } else if (position < unitsEnd) {
            piece = &m_unit;
            offset = (position - m_head.size()) % m_unit.size();
        }
        const size_t n = size_t(std::min<std::uint64_t>(length, piece->size() - offset));
        std::memcpy(buffer, piece->data() + offset, n);
        buffer += n;
        position += n;
        length -= n;
    }
}

} // namespace gzip
