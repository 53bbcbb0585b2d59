#include "export.h"

#include "democatalogue.h"

#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace exporter {
namespace {

const QString kPlaceholder = QStringLiteral("{base}");
const QString kCatalogueName = QStringLiteral("camlist.txt");
const QString kCommentsFolder = QStringLiteral("comments");

// The folder is published: the web server, usually another user, reads it whatever the
// exporting user's umask.
constexpr QFileDevice::Permissions kReadable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;
constexpr QFileDevice::Permissions kListable = kReadable | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

// Creates the folders from root down to path's folder, each listable by everyone.
bool makeFolders(const QString &root, const QString &relativeFolder)
{
    QString at = root;
    for (const QString &part : relativeFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        at += QLatin1Char('/') + part;
        if (!QFileInfo(at).isDir() && !(QDir().mkdir(at) && QFile::setPermissions(at, kListable)))
            return false;
    }
    return true;
}

bool writeFile(const QString &root, const QString &relativePath, const QByteArray &bytes)
{
    if (!makeFolders(root, QFileInfo(relativePath).path() == QLatin1String(".") ? QString() : QFileInfo(relativePath).path()))
        return false;
    QFile file(root + QLatin1Char('/') + relativePath);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.setPermissions(kReadable)
        && file.write(bytes) == bytes.size();
}

} // namespace

std::optional<QString> normalisedBase(const QString &url)
{
    static const QRegularExpression unsafe(QStringLiteral("[;\\s\\x00-\\x1f\\x7f{}]"));
    if (url.contains(unsafe))
        return std::nullopt;
    QString base = url;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl parsed(base, QUrl::StrictMode);
    if (!parsed.isValid() || (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https"))
        || parsed.host().isEmpty() || parsed.hasQuery() || parsed.hasFragment() || !parsed.userInfo().isEmpty())
        return std::nullopt;
    // The catalogue is Windows-1252 and its readers want plain addresses: an international
    // host name goes out in its ACE form, a path as UTF-8 percent-encoded.
    const QByteArray encoded = parsed.toEncoded();
    if (QUrl::toAce(parsed.host()).isEmpty() || encoded.isEmpty())
        return std::nullopt;
    return QString::fromLatin1(encoded);
}

bool isSafeCamId(const QString &camId)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return safe.match(camId).hasMatch();
}

std::optional<QString> localPicturePath(const QString &imageUrl)
{
    if (!imageUrl.startsWith(kPlaceholder + QLatin1Char('/')))
        return std::nullopt;
    // A static server looks a file up by the path alone and ignores the query.
    QString path = imageUrl.mid(kPlaceholder.size() + 1);
    static const QRegularExpression queryOrFragment(QStringLiteral("[?#]"));
    const qsizetype end = path.indexOf(queryOrFragment);
    if (end >= 0)
        path.truncate(end);
    static const QRegularExpression segment(QStringLiteral("^[A-Za-z0-9_~-][A-Za-z0-9._~-]{0,127}$"));
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() > 16)
        return std::nullopt;
    for (const QString &part : parts)
        if (!segment.match(part).hasMatch())
            return std::nullopt;
    if (parts.first() == kCatalogueName || parts.first() == kCommentsFolder)
        return std::nullopt;
    return path;
}

Result exportTo(const Source &source, const QString &base, const QString &dir)
{
    Result result;
    const QFileInfo target(dir);
    if (target.exists() && !(target.isDir() && !target.isSymLink() && QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))) {
        result.error = QStringLiteral("%1 exists and is not an empty folder").arg(dir);
        return result;
    }
    const QString parent = target.absolutePath();
    if (!QFileInfo(parent).isDir()) {
        result.error = QStringLiteral("the folder %1 does not exist").arg(parent);
        return result;
    }
    // Beside the target, so the final rename stays on one file system.
    QTemporaryDir staging(parent + QLatin1Char('/') + QLatin1Char('.') + target.fileName() + QStringLiteral("-XXXXXX"));
    if (!staging.isValid()) {
        result.error = QStringLiteral("cannot create a folder in %1").arg(parent);
        return result;
    }
    const QDir out(staging.path());

    const QByteArray placeholder = kPlaceholder.toLatin1();
    const QByteArray resolved = QByteArray(source.catalogue).replace(placeholder, base.toLatin1());
    if (!writeFile(staging.path(), kCatalogueName, resolved)) {
        result.error = QStringLiteral("cannot write %1").arg(kCatalogueName);
        return result;
    }
    if (!makeFolders(staging.path(), kCommentsFolder)) {
        result.error = QStringLiteral("cannot create %1").arg(kCommentsFolder);
        return result;
    }

    const Catalogue catalogue = parseCatalogue(source.catalogue);
    QSet<QString> written;
    for (int i = 0; i < catalogue.camCount; ++i) {
        const QStringList fields = CamRecord::split(catalogue.camTable.at(i));
        const QString camId = CamRecord::field(fields, CamRecord::CamId);
        // Warnings name the cam by its id, encoded so that no id can garble the terminal.
        const QString shownId = QString::fromLatin1(QUrl::toPercentEncoding(camId.left(80)));
        if (!isSafeCamId(camId)) {
            result.warnings << QStringLiteral("cam %1: the id cannot name a file; its comments are left out").arg(shownId);
        } else if (!written.contains(camId)) {
            written.insert(camId);
            if (!writeFile(staging.path(), kCommentsFolder + QLatin1Char('/') + camId + QStringLiteral(".txt"),
                           source.commentsFor(camId))) {
                result.error = QStringLiteral("cannot write the comments of cam %1").arg(camId);
                return result;
            }
            ++result.comments;
        }

        const QString imageUrl = CamRecord::field(fields, CamRecord::ImageUrl);
        if (!imageUrl.startsWith(kPlaceholder))
            continue; // a picture on another server stays where it is
        const std::optional<QString> path = localPicturePath(imageUrl);
        if (!path) {
            result.warnings << QStringLiteral("cam %1: picture address %2 cannot name a file; left out")
                                   .arg(shownId, QString::fromLatin1(QUrl::toPercentEncoding(imageUrl.left(200), "/{}")));
            continue;
        }
        if (QFileInfo::exists(out.filePath(*path)))
            continue;
        const std::optional<QByteArray> bytes = source.pictureAt(QLatin1Char('/') + *path);
        if (!bytes) {
            result.warnings << QStringLiteral("cam %1: no local picture at /%2; left out").arg(shownId, *path);
            continue;
        }
        if (!writeFile(staging.path(), *path, *bytes)) {
            result.warnings << QStringLiteral("cam %1: cannot write /%2; left out").arg(shownId, *path);
            continue;
        }
        ++result.pictures;
    }

    // QTemporaryDir makes its folder private.
    QFile::setPermissions(staging.path(), kListable);
    // rename() replaces an empty folder in one step and refuses a non-empty one, so a folder
    // that filled up meanwhile is never overwritten.
    if (std::rename(QFile::encodeName(staging.path()).constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        result.error = QStringLiteral("cannot rename the export onto %1: %2").arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    staging.setAutoRemove(false);
    result.ok = true;
    return result;
}

int run(const QString &catalogueFile, const QString &baseText, const QString &dir,
        const std::function<QByteArray(const QString &camId)> &commentsFor,
        const std::function<std::optional<QByteArray>(const QString &path)> &answerAt)
{
    const auto base = normalisedBase(baseText);
    if (!base) {
        std::fprintf(stderr, "lumora-camserver: --export-base must be an http or https address such as "
                             "http://cams.example.org (no ';', spaces, query or fragment)\n");
        return 2;
    }
    Source source;
    if (catalogueFile.isEmpty()) {
        source.catalogue = democatalogue::catalogueDocument(kPlaceholder, commentsFor);
    } else {
        QFile file(catalogueFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "lumora-camserver: cannot read %s\n", qPrintable(catalogueFile));
            return 1;
        }
        source.catalogue = file.readAll();
    }
    source.commentsFor = commentsFor;
    // The documents' own addresses are no pictures, whatever their names suggest.
    source.pictureAt = [&answerAt](const QString &path) -> std::optional<QByteArray> {
        if (path == QLatin1String("/camlist.php") || path == QLatin1String("/comments.php") || path == QLatin1String("/cam.php"))
            return std::nullopt;
        return answerAt(path);
    };
    const Result result = exportTo(source, *base, dir);
    for (const QString &warning : result.warnings)
        std::fprintf(stderr, "lumora-camserver: %s\n", qPrintable(warning));
    if (!result.ok) {
        std::fprintf(stderr, "lumora-camserver: export failed: %s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("exported %d comment files and %d pictures to %s\n", result.comments, result.pictures, qPrintable(dir));
    return 0;
}

} // namespace exporter
