#include "workingfolder.h"

#include "core/files/configlocation.h"
#include "core/files/workingfiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// O_PATH: the descriptor names the folder for the *at calls without needing read access.
constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

QByteArray encoded(const QString &name) { return QFile::encodeName(name); }

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Why a folder others could change under us is refused; empty when it is fine.
QString unsafeFolder(int fd, const QString &shown)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return QStringLiteral("%1: %2").arg(shown, systemError(errno));
    if (st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user").arg(shown);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 can be written by other users").arg(shown);
    return QString();
}

QString openFailure(int error, const QString &shown)
{
    if (error == ELOOP)
        return QStringLiteral("%1 is a link").arg(shown);
    if (error == ENOTDIR)
        return QStringLiteral("%1 is not a folder").arg(shown);
    return QStringLiteral("%1: %2").arg(shown, systemError(error));
}

} // namespace

struct WorkingFolder::Open
{
    int fd = -1;
    int parentFd = -1;   // a private folder's parent, else -1
    QByteArray nameInParent;
    QString path;

    ~Open()
    {
        if (fd >= 0)
            ::close(fd);
        if (parentFd >= 0)
            ::close(parentFd);
    }
};

WorkingFolder::WorkingFolder(const QString &path)
{
    const QString absolute = QDir(path).absolutePath();
    // A folder the user named may be reached through a link; it is resolved once, here.
    const int fd = ::open(encoded(absolute).constData(), FolderFlags & ~O_NOFOLLOW);
    if (fd < 0) {
        m_error = openFailure(errno, QDir::toNativeSeparators(absolute));
        return;
    }
    auto open = std::make_shared<Open>();
    open->fd = fd;
    open->path = absolute;
    m_open = std::move(open);
}

WorkingFolder WorkingFolder::makePrivate(const QStringList &homes)
{
    QStringList refused;
    for (const QString &home : homes) {
        WorkingFolder folder = makePrivateIn(home);
        if (folder.isOpen())
            return folder;
        refused.append(folder.m_error);
    }
    WorkingFolder none;
    none.m_error = refused.isEmpty() ? QStringLiteral("no folder to make it in") : refused.join(QStringLiteral("; "));
    return none;
}

WorkingFolder WorkingFolder::makePrivateIn(const QString &home)
{
    WorkingFolder folder;
    const QString basePath = QDir(home).absoluteFilePath(ProgramFolderName);
    const QString shownBase = QDir::toNativeSeparators(basePath);
    // The home folder itself may be a link the user made; only what lies inside is ours.
    const int homeFd = ::open(encoded(QDir(home).absolutePath()).constData(), FolderFlags & ~O_NOFOLLOW);
    if (homeFd < 0) {
        folder.m_error = openFailure(errno, QDir::toNativeSeparators(QDir(home).absolutePath()));
        return folder;
    }
    const QByteArray baseName = encoded(ProgramFolderName);
    if (::mkdirat(homeFd, baseName.constData(), 0700) != 0 && errno != EEXIST) {
        folder.m_error = openFailure(errno, shownBase);
        ::close(homeFd);
        return folder;
    }
    auto open = std::make_shared<Open>();
    open->parentFd = ::openat(homeFd, baseName.constData(), FolderFlags);
    const int baseError = errno;
    ::close(homeFd);
    if (open->parentFd < 0) {
        folder.m_error = openFailure(baseError, shownBase);
        return folder;
    }
    folder.m_error = unsafeFolder(open->parentFd, shownBase);
    if (!folder.m_error.isEmpty())
        return folder;
    for (int attempt = 0; attempt < working_files::MaxNameAttempts && open->fd < 0; ++attempt) {
        const QString name = working_files::randomName(QStringLiteral("run-"));
        open->nameInParent = encoded(name);
        if (::mkdirat(open->parentFd, open->nameInParent.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            folder.m_error = openFailure(errno, shownBase);
            return folder;
        }
        open->fd = ::openat(open->parentFd, open->nameInParent.constData(), FolderFlags);
        open->path = basePath + QLatin1Char('/') + name;
        if (open->fd < 0) {
            folder.m_error = openFailure(errno, QDir::toNativeSeparators(open->path));
            ::unlinkat(open->parentFd, open->nameInParent.constData(), AT_REMOVEDIR);
            return folder;
        }
    }
    if (open->fd < 0) {
        folder.m_error = QStringLiteral("%1: no free name for a run folder").arg(shownBase);
        return folder;
    }
    folder.m_open = std::move(open);
    return folder;
}

QString WorkingFolder::path() const { return m_open ? m_open->path : QString(); }

QString WorkingFolder::filePath(const QString &name) const { return path() + QLatin1Char('/') + name; }

QString WorkingFolder::descriptorPath(const QString &name) const
{
    return m_open ? QStringLiteral("/proc/self/fd/%1/%2").arg(m_open->fd).arg(name) : QString();
}

bool WorkingFolder::write(const QString &name, const QByteArray &bytes) const
{
    return m_open && working_files::writeAt(m_open->fd, encoded(name), bytes, working_files::Existing::Replace) == 0;
}

std::optional<QByteArray> WorkingFolder::read(const QString &name, qint64 maxBytes) const
{
    if (!m_open)
        return std::nullopt;
    return working_files::readRegular(m_open->fd, encoded(name), O_NOFOLLOW, maxBytes);
}

std::optional<qint64> WorkingFolder::fileSize(const QString &name) const
{
    struct stat st;
    if (!m_open || ::fstatat(m_open->fd, encoded(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISREG(st.st_mode))
        return std::nullopt;
    return qint64(st.st_size);
}

bool WorkingFolder::remove(const QString &name) const
{
    return m_open && ::unlinkat(m_open->fd, encoded(name).constData(), 0) == 0;
}

void WorkingFolder::removeAll() const
{
    for (const QString &name : working_files::allNames())
        remove(name);
}

int WorkingFolder::descriptor() const { return m_open ? m_open->fd : -1; }

void WorkingFolder::removeIfPrivate() const
{
    if (m_open && m_open->parentFd >= 0)
        ::unlinkat(m_open->parentFd, m_open->nameInParent.constData(), AT_REMOVEDIR);
}
