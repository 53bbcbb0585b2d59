#pragma once
// The folder the working files live in, held open as a descriptor.
//
// The folder is opened once; every later operation on its files (write, read, size,
// delete) names the file relative to that descriptor, so renaming the folder away and
// putting a link or another folder in its place never redirects them. Links in the path
// are followed only when it is opened.
//
// A private folder, made for one run, is "run-XXXXXX" inside "<home>/lumora-viewer" (home
// being the cache or the runtime folder). That "lumora-viewer" folder is refused when it is
// a link, is not a folder, belongs to another user or can be written by anyone but its
// owner, since such a folder lets another user swap what lies inside it. The run folder
// is made with mode 0700 and removed at the end relative to the descriptor of
// "lumora-viewer", never by its path.
//
// Copies share the descriptors, which close with the last copy. A default-constructed or
// failed folder is not open: every write fails, every read gives nothing.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class WorkingFolder
{
public:
    WorkingFolder() = default;
    // Opens the folder at path; error() says why when it could not.
    explicit WorkingFolder(const QString &path);
    // A new private folder under the first of homes that allows one; error() names each
    // folder refused and why.
    static WorkingFolder makePrivate(const QStringList &homes);

    bool isOpen() const { return m_open != nullptr; }
    QString error() const { return m_error; }
    // The path it was opened by, for messages.
    QString path() const;
    QString filePath(const QString &name) const;
    // A path to the file through the folder's descriptor, for readers that want a path:
    // it stays in this folder whatever was renamed since.
    QString descriptorPath(const QString &name) const;

    // Writes bytes as name, replacing any entry of that name that is not a folder; the
    // bytes go into a private new file first, which is then renamed onto the name, so a
    // link is replaced, not followed. False when the file could not be made or written
    // whole; then nothing of this call is left in the folder.
    bool write(const QString &name, const QByteArray &bytes) const;
    // The content of name if it is a regular file and not a link; at most maxBytes.
    std::optional<QByteArray> read(const QString &name, qint64 maxBytes) const;
    // The size of name if it is a regular file and not a link.
    std::optional<qint64> fileSize(const QString &name) const;
    // Deletes the entry (a link itself, never what it points to); false when it could not.
    bool remove(const QString &name) const;
    // Deletes whichever of working_files::allNames() exist.
    void removeAll() const;
    // The folder's descriptor, for reading other files in it with the *at calls; -1 when
    // not open. It stays owned by the folder.
    int descriptor() const;

    // For a private folder: removes it if empty, through its parent's descriptor.
    // Does nothing for a folder that was only opened.
    void removeIfPrivate() const;

private:
    struct Open;
    std::shared_ptr<const Open> m_open;
    QString m_error;

    static WorkingFolder makePrivateIn(const QString &home);
};
