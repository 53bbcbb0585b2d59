// gzip content coding (zlib): whether a request accepts it, a document compressed with it,
// and a small gzip body that inflates to a huge one, for testing clients' limits.
#pragma once

#include "httpcore.h"

#include <cstdint>
#include <string>

namespace gzip {

// Whether an Accept-Encoding value allows gzip: "gzip" (or "x-gzip") listed with a quality
// above 0, or, when it is not listed, "*" with one. An empty value allows only the plain form,
// and so does a quality that is not a valid one.
bool accepted(const std::string &acceptEncoding);

// bytes as one gzip member; inflated, exactly bytes again.
std::string compressed(const std::string &bytes);

// A gzip member that inflates to zeros zero bytes while itself about a thousandth of that.
// Made in a few milliseconds however large: past the first units of zeros, each further
// unit compresses to the same bytes (every unit ends in a full flush), so the body repeats
// that piece rather than holding it. At most MaxZeros.
class InflatingZeros final : public GeneratedBody {
public:
    static constexpr std::uint64_t MaxZeros = std::uint64_t(1) << 40;
    explicit InflatingZeros(std::uint64_t zeros);
    std::uint64_t size() const override;
    void read(std::uint64_t position, char *buffer, size_t length) const override;

private:
    std::string m_head;   // the gzip header and the units before the repeating one
    std::string m_unit;   // the repeating unit, m_repeats times
    std::uint64_t m_repeats = 0;
    std::string m_tail;   // the zeros left over, the end of the stream and the trailer
};

} // namespace gzip
