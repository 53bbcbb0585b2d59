#pragma once
// The working files this program writes into its working folder: "temp.tmp" (catalogue
// and comments answers) and "temp." plus a picture extension (the cam picture).
// Only these names are ever deleted, so a user's own "temp.docx" beside them is safe.
//
// WorkingFolder writes, reads and deletes them, with the file calls below, which
// config.ini and the user's other small files share.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

namespace working_files {

inline const QString TextFile = QStringLiteral("temp.tmp");

QString pictureFile(const QString &extension);

// Every name this program may leave behind, "temp.tmp" first.
QStringList allNames();

// Writes all of bytes to the open file descriptor fd, going on after interrupted writes;
// false when a write fails.
bool writeWhole(int fd, const QByteArray &bytes);

// prefix and six random letters and digits: a name for a new private file or folder,
// tried at most MaxNameAttempts times before making one is given up.
QString randomName(const QString &prefix);
inline constexpr int MaxNameAttempts = 100;

// What writeAt() does with an entry that already has the name.
enum class Existing {
    Replace, // a working file: the entry goes, a link of that name included
    Keep,    // a file of the user's: the write fails with EEXIST, and the bytes are on disk
             // (exactly 0600) before the name appears
    Update,  // a file of the user's kept up to date: the bytes are on disk (exactly 0600)
             // before they take the name's place, atomically; the entry itself is replaced
};

// Writes bytes as name in the folder dirFd by way of a private new file (O_EXCL,
// O_NOFOLLOW, 0600) renamed onto the name, so a link of that name is never written through
// and a folder of that name makes the write fail. Returns 0, or the errno of the step that
// failed; nothing of this call is left in the folder then.
int writeAt(int dirFd, const QByteArray &name, const QByteArray &bytes, Existing existing);

// At most maxBytes of name in the folder dirFd (AT_FDCWD: the current folder), if it is a
// regular file. It is opened without waiting (O_NONBLOCK, so a FIFO or device never holds
// the program up) and checked once open; flags adds to the open's (O_NOFOLLOW: no link).
// Nothing on failure, errno then says why; type, when given, gets the type bits of what
// was opened (0 when nothing was), so a caller can name an entry that is no regular file.
// Every missing folder on the way to path, each made for the user alone (0700); false with
// errno set when one cannot be made.
bool makePrivateFolders(const QString &path);

std::optional<QByteArray> readRegular(int dirFd, const QByteArray &name, int flags, qint64 maxBytes,
                                      mode_t *type = nullptr);

} // namespace working_files
