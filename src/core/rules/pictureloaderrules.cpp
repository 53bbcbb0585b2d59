#include "pictureloaderrules.h"

#include <array>

namespace picture_loader {

QString decoderStatusText(qint32 status)
{
    // Index 0 is unused; entries 6 and 14 to 16 have no text.
    static const std::array<const char16_t *, 21> table = {
        u"",
        u"fehlerhafte Initialisierung",
        u"Ungeeigneter Parameter",
        u"Speichermangel",
        u"GDIPlus ist noch besch\u00e4ftigt",
        u"Buffer zu klein",
        u"",
        u"Windows32-Fehler",
        u"Falscher interner Zustand",
        u"Abbruch der Operation",
        u"Datei nicht gefunden",
        u"Wert-\u00dcberlauf",
        u"Zugriff verweigert",
        u"unbekanntes Bildformat",
        u"",
        u"",
        u"",
        u"GDIPlus-Version wird nicht unterst\u00fctzt",
        u"Keine GDIPlus-Verbindung",
        u"Eigenschaft nicht gefunden",
        u"Eigenschaft wird nicht unterst\u00fctzt",
    };
    if (status < 1 || status > 20)
        return QString();
    return QString::fromUtf16(table[std::size_t(status)]);
}

QString statusErrorText(const QString &fixedText, qint32 status)
{
    return fixedText + LineBreak + decoderStatusText(status);
}

QString trimSpaces(const QString &name)
{
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && name.at(first) == u' ')
        ++first;
    while (last > first && name.at(last - 1) == u' ')
        --last;
    return name.mid(first, last - first);
}

ExtensionClass classifyExtension(const QString &fileName)
{
    const QString lower = fileName.toLower();
    const QString ext4 = lower.right(4);
    const QString ext5 = lower.right(5);
    auto any = [](const QString &ext, std::initializer_list<const char *> list) {
        for (const char *candidate : list)
            if (ext == QLatin1String(candidate))
                return true;
        return false;
    };
    if (any(ext4, {".bmp", ".dib", ".rle"}))
        return ExtensionClass::Bitmap;
    if (any(ext4, {".ico", ".cur", ".emf", ".wmf"}))
        return ExtensionClass::IconOrMetafile;
    if (any(ext4, {".gif", ".png", ".tif", ".jpe", ".jpg"}) || any(ext5, {".tiff", ".jpeg", ".jfif"}))
        return ExtensionClass::DecoderFormat;
    return ExtensionClass::Unsupported;
}

Route routeFor(ExtensionClass cls)
{
    switch (cls) {
    case ExtensionClass::Bitmap:
    case ExtensionClass::IconOrMetafile:
        return Route::Platform;
    case ExtensionClass::DecoderFormat:
        return Route::Decoder;
    case ExtensionClass::Unsupported:
        break;
    }
    return Route::Refused;
}

qint32 decodeFailureStatus(DecodeFailure failure)
{
    // The decoder's own failures, told in the status numbers of the table above:
    //   file gone          -> 10 "Datei nicht gefunden"
    //   not readable       -> 12 "Zugriff verweigert"
    //   read failed        ->  7 "Windows32-Fehler" (the table's entry for an error of the
    //                           operating system)
    //   content not known  -> 13 "unbekanntes Bildformat"
    //   content broken     ->  2 "Ungeeigneter Parameter" (the file given does not fit
    //                           the format it claims)
    //   too many pixels    ->  3 "Speichermangel" (refused before allocating)
    //   given up           ->  9 "Abbruch der Operation"
    switch (failure) {
    case DecodeFailure::FileNotFound:
        return status::FileNotFound;
    case DecodeFailure::AccessDenied:
        return status::AccessDenied;
    case DecodeFailure::ReadError:
        return status::ReadFailed;
    case DecodeFailure::UnknownFormat:
        return status::UnknownImageFormat;
    case DecodeFailure::CorruptData:
        return status::InvalidParameter;
    case DecodeFailure::TooLarge:
        return status::OutOfMemory;
    case DecodeFailure::Cancelled:
        return status::Aborted;
    }
    return status::InvalidParameter;
}

} // namespace picture_loader
