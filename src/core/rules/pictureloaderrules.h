#pragma once
// The picture loader's rules that need no decoder: the file-name checks, the extension
// classes, the status table of the decoder and every error text the loader composes.
//
// All functions are pure. Texts are compared byte for byte by callers and tests, so they
// live here as named constants; line breaks inside them are CR LF.
#include <QString>
#include <QtGlobal>

namespace picture_loader {

inline const QString LineBreak = QStringLiteral("\r\n");

inline const QString BadFileNameText = QStringLiteral("Ungeeigneter Dateiname");
inline const QString FileMissingText = QStringLiteral("Datei nicht vorhanden/verf\u00fcgbar");
inline const QString EmptyFileText = QStringLiteral("Leere Datei");
inline const QString UnsupportedFormatText = QStringLiteral("Bildformat wird nicht unterst\u00fctzt");
inline const QString StartupFailedText = QStringLiteral("Initialisierung scheitert");
inline const QString PlatformLoadFailedText = QStringLiteral("Laden des Bildes scheitert (Loadpicture)");
inline const QString BitmapFromFileFailedText = QStringLiteral("Bitmap kann nicht aus Bild-Datei erstellt werden");
inline const QString HandleFailedText = QStringLiteral("Bitmap-Handle kann nicht erzeugt werden");
inline const QString PictureFromHandleFailedText = QStringLiteral("Bitmap kann nicht aus Handle erstellt werden");

// Status numbers of the table below that the loader reports itself.
namespace status {
inline constexpr qint32 Ok = 0;
inline constexpr qint32 InvalidParameter = 2;
inline constexpr qint32 OutOfMemory = 3;
inline constexpr qint32 ReadFailed = 7;
inline constexpr qint32 Aborted = 9;
inline constexpr qint32 FileNotFound = 10;
inline constexpr qint32 AccessDenied = 12;
inline constexpr qint32 UnknownImageFormat = 13;
} // namespace status

// The fixed status table, entries 1 to 20; anything else, and the gaps, give "".
QString decoderStatusText(qint32 status);

// A fixed text, CR LF and the status text (which may be empty: the line break stays).
QString statusErrorText(const QString &fixedText, qint32 status);

// Spaces only (not tabs or other white space) are cut from both ends of a file name.
QString trimSpaces(const QString &name);

// Names shorter than this are refused before the file system is asked.
inline constexpr int MinimumNameLength = 5;
// Files shorter than this many bytes count as empty.
inline constexpr qint64 MinimumFileSize = 10;

enum class ExtensionClass {
    Bitmap,          // .bmp .dib .rle: platform loader
    IconOrMetafile,  // .ico .cur .emf .wmf: platform loader
    DecoderFormat,   // .gif .png .tif .jpe .jpg .tiff .jpeg .jfif: the main decoder
    Unsupported,
};

// Classifies by the lower-cased last four and five characters only; classes are tried
// in the order of the enum.
ExtensionClass classifyExtension(const QString &fileName);

enum class Route { Platform, Decoder, Refused };

// The route a class takes.
Route routeFor(ExtensionClass cls);

// Why a decoder gave no picture.
enum class DecodeFailure {
    FileNotFound,   // the file went away between the checks and the decode
    AccessDenied,   // the file exists but may not be read
    ReadError,      // the operating system failed while reading
    UnknownFormat,  // no decoder recognises the content
    CorruptData,    // the content starts like a known format but does not decode
    TooLarge,       // the pixels would exceed the allocation limit
    Cancelled,      // given up from outside before the decoder was done
};

// The status number a decoder failure is reported with (see the table in the .cpp).
qint32 decodeFailureStatus(DecodeFailure failure);

} // namespace picture_loader
