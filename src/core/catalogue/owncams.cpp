#include "owncams.h"

#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/catalogue.h"
#include "core/files/workingfiles.h"
#include "core/state/favouritetexts.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace own_cams {

namespace {

// As large as a catalogue may be.
constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

} // namespace

QString filePath(const QString &configHome)
{
    return configHome + QStringLiteral("/lumora-viewer/cams.txt");
}

Added append(QStringList &camTable, int &camCount, const QByteArray &document, const QString &fileName)
{
    Added added;
    QSet<QString> taken;
    taken.reserve(camCount);
    for (int i = 0; i < camCount; ++i)
        taken.insert(CamRecord::idOf(camTable[i]));
    int lineNumber = 0;
    for (const QByteArrayView crLines : ansi::splitLines(document)) {
        for (const QByteArray &raw : crLines.toByteArray().split('\n')) {
            ++lineNumber;
            if (raw.isEmpty())
                continue;
            const QString line = ansi::decode(raw);
            const QString number = QString::number(lineNumber);
            if (line.count(QLatin1Char(';')) < CamRecord::FieldCount - 1) {
                added.warnings.append(favourite_texts::OwnCamShortLine.arg(fileName, number));
            } else if (taken.contains(CamRecord::idOf(line))) {
                added.warnings.append(favourite_texts::OwnCamIdTaken.arg(fileName, number, CamRecord::idOf(line)));
            } else if (camCount >= MaxCams) {
                added.warnings.append(favourite_texts::OwnCamNoRoom.arg(fileName, number));
            } else {
                camTable.insert(camCount++, line);
                taken.insert(CamRecord::idOf(line));
                added.ids.insert(CamRecord::idOf(line));
            }
        }
    }
    return added;
}

std::optional<QByteArray> read(const QString &path, QString *warning)
{
    mode_t type = 0;
    std::optional<QByteArray> bytes = working_files::readRegular(AT_FDCWD, QFile::encodeName(path), 0, MaxFileBytes + 1, &type);
    if (!bytes && errno == ENOENT)
        return std::nullopt;
    const QString why = !bytes && type && !S_ISREG(type) ? favourite_texts::NotAFile
                      : !bytes                           ? QString::fromLocal8Bit(std::strerror(errno))
                      : bytes->size() > MaxFileBytes     ? favourite_texts::TooLarge
                                                         : QString();
    if (why.isEmpty())
        return bytes;
    *warning = favourite_texts::OwnCamsUnreadable.arg(path, why);
    return std::nullopt;
}

} // namespace own_cams
