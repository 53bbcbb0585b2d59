#pragma once
// Single-byte text as the catalogue server sends it: Windows-1252 bytes, lines ended by
// CR LF or by a CR alone. A LF alone is not a line end; it stays inside the line.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ansi {

// Windows-1252 to Unicode. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as the system's own
// conversion does, so no byte is ever lost.
QString decode(QByteArrayView bytes);

// Unicode to Windows-1252; characters the code page lacks become '?'.
QByteArray encode(const QString &text);

// The lines of a document in order, without their ends. Empty lines are kept (callers
// decide what an empty line means); a line end at the very end of the document does not
// start another line, and an empty document has no lines at all.
QList<QByteArrayView> splitLines(QByteArrayView document);

} // namespace ansi
