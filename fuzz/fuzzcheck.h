#pragma once
// What every fuzz target shares: a property check that stops the run at the first
// violation (libFuzzer then saves the input), and ways to turn raw bytes into texts.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

// Prints the broken property before trapping, so the log says which rule failed.
#define FUZZ_CHECK(cond)                                                                             \
    do {                                                                                             \
        if (!(cond)) {                                                                               \
            std::fprintf(stderr, "property violated: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            __builtin_trap();                                                                        \
        }                                                                                            \
    } while (0)

namespace fuzz {

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A text from raw bytes. UTF-8 alone never yields lone surrogates or unpaired halves, so
// an odd first byte reads the rest as UTF-16 and every QChar value is reachable.
inline QString text(const uint8_t *data, size_t size)
{
    if (size == 0)
        return QString();
    if (data[0] & 1) {
        // Copied, not cast: the bytes after the first are not aligned for char16_t.
        QString utf16(qsizetype((size - 1) / 2), Qt::Uninitialized);
        std::memcpy(utf16.data(), data + 1, size_t(utf16.size()) * sizeof(QChar));
        return utf16;
    }
    return QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
}

// ASCII letters in the other case; everything else unchanged.
inline QString flipAsciiCase(QString s)
{
    for (QChar &ch : s) {
        const char16_t u = ch.unicode();
        if (u >= 'a' && u <= 'z')
            ch = QChar(char16_t(u - 32));
        else if (u >= 'A' && u <= 'Z')
            ch = QChar(char16_t(u + 32));
    }
    return s;
}

} // namespace fuzz
