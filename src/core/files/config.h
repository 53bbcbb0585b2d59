#pragma once
// config.ini: lines of "key=value"; the key "url" (any letter case) gives the catalogue
// server's base address.
//
// Rules: lines end in CR LF, CR or LF; a line end at the very end adds no line. Each line
// is split on every "="; the first piece, lower-cased, is the key, the second the value,
// unchanged (no trimming, no unquoting, nothing after a further "="). The last "url" wins;
// other keys are ignored. The file is unreadable (ok == false) when it is missing, empty,
// larger than MaxConfigBytes, holds an empty line anywhere, or has a "url" line without
// "=". No "url" line at all is fine: the address is then empty. An unreadable file's
// error says why in words a user can act on; readConfigFile() names the file in it.
// readConfigFile() reads regular files only (a link to one included): a FIFO, device,
// socket or folder of that name is refused without waiting on it.
// Bytes are read as UTF-8 when they are valid UTF-8 and as Windows-1252 otherwise; a
// UTF-8 byte-order mark at the start is skipped.
#include <QByteArray>
#include <QString>

class WorkingFolder;

struct ConfigResult
{
    bool ok = false;
    QString serverUrl;
    QString error; // empty when ok
};

inline constexpr qint64 MaxConfigBytes = 1024 * 1024;

ConfigResult readConfigText(const QByteArray &content);
ConfigResult readConfigFile(const QString &path);
// name in the working folder, found through the folder's descriptor.
ConfigResult readConfigFile(const WorkingFolder &folder, const QString &name);
