// The extension of a picture's working file, from any address: the result is always a
// known extension or the fallback, and it follows from the text after the last "." alone.
#include "fuzzcheck.h"

#include "core/rules/pictureextension.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using picture_extension::Fallback;
    using picture_extension::ImageExtension;
    using picture_extension::Known;

    const QString address = fuzz::text(data, size);
    const QString ext = ImageExtension(address);
    FUZZ_CHECK(ext == Fallback || Known.contains(ext));
    FUZZ_CHECK(ImageExtension(address) == ext);

    const qsizetype dot = address.lastIndexOf(QLatin1Char('.'));
    const QString tail = dot < 0 ? address : address.mid(dot + 1);

    // A known extension is what stands after the last dot, give or take case and "?foo=0".
    if (ext != Fallback)
        FUZZ_CHECK(QString(tail).remove(QStringLiteral("?foo=0")).compare(ext, Qt::CaseInsensitive) == 0);

    // A cache-busting "?foo=0" at the end changes nothing ("?foo=0" cannot overlap itself).
    FUZZ_CHECK(ImageExtension(address + QStringLiteral("?foo=0")) == ext);

    // What comes before the last dot is never looked at.
    if (dot >= 0) {
        const qsizetype cut = size > 0 ? qsizetype(data[0]) % (dot + 1) : 0;
        FUZZ_CHECK(ImageExtension(address.mid(cut)) == ext);
    }

    // Letter case does not matter, as long as no "?foo=0" is there to be spelled differently.
    if (!tail.contains(QLatin1Char('?')))
        FUZZ_CHECK(ImageExtension(fuzz::flipAsciiCase(address)) == ext);

    // Any address given a known extension, in any letter case and with any number of
    // "?foo=0" after it, ends up with that extension.
    if (size > 0) {
        const QString &known = Known.at(data[0] % Known.size());
        QString spelled = known;
        for (qsizetype i = 0; i < spelled.size(); ++i)
            if ((data[size - 1] >> i) & 1)
                spelled[i] = spelled[i].toUpper();
        const QString withKnown = address + QLatin1Char('.') + spelled + QStringLiteral("?foo=0").repeated((data[0] >> 4) & 3);
        FUZZ_CHECK(ImageExtension(withKnown) == known);
    }
    return 0;
}
