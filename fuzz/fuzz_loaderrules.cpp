// The picture loader's rules that need no decoder: trimming of the file name, the class
// an extension falls in and the route it takes, and the status texts for any number.
//
// Input: a file name (see fuzz::text); its last four bytes also serve as a status number.
#include "fuzzcheck.h"

#include "core/rules/pictureloaderrules.h"

#include <algorithm>
#include <cstring>

namespace {

using picture_loader::ExtensionClass;

bool isAscii(QChar ch) { return ch.unicode() < 0x80; }

QChar asciiLower(QChar ch)
{
    const char16_t u = ch.unicode();
    return (u >= 'A' && u <= 'Z') ? QChar(char16_t(u + 32)) : ch;
}

// The classes from the last five characters, lower-cased one by one. A non-ASCII
// character is never part of an extension: none lowers to an extension's letters (the
// dotted capital I lowers to "i" plus a combining dot, which breaks the match as well).
ExtensionClass referenceClass(const QString &name)
{
    QString tail = name.right(5);
    for (QChar &ch : tail)
        ch = asciiLower(ch);
    const QString t4 = tail.right(4);
    auto in = [](const QString &ext, std::initializer_list<const char *> list) {
        for (const char *e : list)
            if (ext == QLatin1String(e))
                return true;
        return false;
    };
    if (in(t4, {".bmp", ".dib", ".rle"}))
        return ExtensionClass::Bitmap;
    if (in(t4, {".ico", ".cur", ".emf", ".wmf"}))
        return ExtensionClass::IconOrMetafile;
    if (in(t4, {".gif", ".png", ".tif", ".jpe", ".jpg"}) || in(tail, {".tiff", ".jpeg", ".jfif"}))
        return ExtensionClass::DecoderFormat;
    return ExtensionClass::Unsupported;
}

void checkTrim(const QString &name)
{
    const QString trimmed = picture_loader::trimSpaces(name);
    FUZZ_CHECK(!trimmed.startsWith(QLatin1Char(' ')));
    FUZZ_CHECK(!trimmed.endsWith(QLatin1Char(' ')));
    FUZZ_CHECK(picture_loader::trimSpaces(trimmed) == trimmed);
    // Only blanks go, and all of them at the ends: tabs and other white space stay.
    const qsizetype at = name.indexOf(trimmed);
    FUZZ_CHECK(at >= 0);
    if (trimmed.isEmpty()) {
        FUZZ_CHECK(name.count(QLatin1Char(' ')) == name.size());
    } else {
        for (qsizetype i = 0; i < name.size(); ++i) {
            const bool inside = i >= at && i < at + trimmed.size();
            if (!inside)
                FUZZ_CHECK(name.at(i) == QLatin1Char(' '));
        }
        FUZZ_CHECK(name.at(at) != QLatin1Char(' '));
    }
    if (!name.startsWith(QLatin1Char(' ')) && !name.endsWith(QLatin1Char(' ')))
        FUZZ_CHECK(trimmed == name);
}

void checkClass(const QString &name)
{
    using namespace picture_loader;
    const ExtensionClass cls = classifyExtension(name);
    FUZZ_CHECK(classifyExtension(name) == cls);
    FUZZ_CHECK(cls == referenceClass(name));
    // Only the end of the name counts, and letter case does not.
    FUZZ_CHECK(classifyExtension(name.right(5)) == cls);
    FUZZ_CHECK(classifyExtension(fuzz::flipAsciiCase(name)) == cls);
    FUZZ_CHECK(classifyExtension(QStringLiteral("C:\\cams\\") + name) == cls);
    if (cls != ExtensionClass::Unsupported) {
        const QString tail = name.right(5);
        FUZZ_CHECK(tail.contains(QLatin1Char('.')));
        for (QChar ch : name.right(4))
            FUZZ_CHECK(isAscii(ch));
    }

    const Route route = routeFor(cls);
    FUZZ_CHECK((route == Route::Refused) == (cls == ExtensionClass::Unsupported));
    if (cls == ExtensionClass::Bitmap || cls == ExtensionClass::IconOrMetafile)
        FUZZ_CHECK(route == Route::Platform);
    if (cls == ExtensionClass::DecoderFormat)
        FUZZ_CHECK(route == Route::Decoder);
}

void checkStatus(qint32 status)
{
    using namespace picture_loader;
    const QString text = decoderStatusText(status);
    const bool hasText = status >= 1 && status <= 20 && status != 6 && (status < 14 || status > 16);
    FUZZ_CHECK(text.isEmpty() != hasText);
    const QString error = statusErrorText(BadFileNameText, status);
    FUZZ_CHECK(error == BadFileNameText + QStringLiteral("\r\n") + text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString name = fuzz::text(data, size);
    checkTrim(name);
    checkClass(name);
    checkClass(picture_loader::trimSpaces(name));

    qint32 status = 0;
    std::memcpy(&status, data + size - std::min<size_t>(size, 4), std::min<size_t>(size, 4));
    checkStatus(status);
    return 0;
}
