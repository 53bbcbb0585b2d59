#include "core/files/workingfolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Everything in the folder, links, hidden and broken entries included.
QStringList entries(const QDir &dir)
{
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// What is there under the working file's name before the write.
enum class Before { Nothing, OwnFile, LinkToOutside, BrokenLink, LinkToFolder, Folder, ReadOnlyFile };
Q_DECLARE_METATYPE(Before)

class TestWorkingFiles : public QObject
{
    Q_OBJECT
private slots:
    void removesOnlyOwnFiles();
    void write_data();
    void write();
    void removeDeletesLinkOnly();
    void read_data();
    void read();
    void swappedFolderDoesNotRedirect();
    void privateFolder_data();
    void privateFolder();
};

void TestWorkingFiles::removesOnlyOwnFiles()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir dir(tmp.path());
    const QStringList ours{"temp.tmp", "temp.jpg", "temp.JPG", "temp.jfif", "temp.ico", "temp.tiff", "temp.png"};
    const QStringList theirs{"temp.docx", "temp.txt", "temp.bmp", "temp.Jpg", "mytemp.tmp", "temp"};
    for (const QString &name : ours + theirs) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    WorkingFolder(dir.path()).removeAll();

    for (const QString &name : ours)
        QVERIFY2(!dir.exists(name), qPrintable(name));
    for (const QString &name : theirs)
        QVERIFY2(dir.exists(name), qPrintable(name));

    // Nothing there any more is no error either.
    WorkingFolder(dir.path()).removeAll();
    QCOMPARE(dir.entryList(QDir::Files).size(), theirs.size());
}

void TestWorkingFiles::write_data()
{
    QTest::addColumn<Before>("before");
    QTest::addColumn<bool>("written");

    QTest::newRow("nothing") << Before::Nothing << true;
    QTest::newRow("an earlier working file") << Before::OwnFile << true;
    QTest::newRow("a read-only file") << Before::ReadOnlyFile << true;
    QTest::newRow("a link to a file outside") << Before::LinkToOutside << true;
    QTest::newRow("a link to nowhere") << Before::BrokenLink << true;
    QTest::newRow("a link to a folder") << Before::LinkToFolder << true;
    QTest::newRow("a folder") << Before::Folder << false;
}

void TestWorkingFiles::write()
{
    QFETCH(Before, before);
    QFETCH(bool, written);

    QTemporaryDir work;
    QTemporaryDir outside;
    QVERIFY(work.isValid() && outside.isValid());
    const QDir dir(work.path());
    const QString name = QStringLiteral("temp.jpg");
    const QString path = dir.filePath(name);
    const QString victim = QDir(outside.path()).filePath(QStringLiteral("victim.txt"));
    const QByteArray victimContent = "somebody else's file";
    QVERIFY(put(victim, victimContent));

    switch (before) {
    case Before::Nothing:
        break;
    case Before::OwnFile:
        QVERIFY(put(path, "an older and longer picture"));
        break;
    case Before::ReadOnlyFile:
        QVERIFY(put(path, "old"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        break;
    case Before::LinkToOutside:
        QVERIFY(QFile::link(victim, path));
        break;
    case Before::BrokenLink:
        QVERIFY(QFile::link(QDir(outside.path()).filePath(QStringLiteral("not-there")), path));
        break;
    case Before::LinkToFolder:
        QVERIFY(QFile::link(outside.path(), path));
        break;
    case Before::Folder:
        QVERIFY(dir.mkdir(name));
        break;
    }
    const QStringList entriesBefore = entries(dir);

    const QByteArray bytes("\xFF\xD8 the new picture", 18);
    QCOMPARE(WorkingFolder(dir.path()).write(name, bytes), written);

    // Whatever was there, nothing outside the folder is touched.
    QCOMPARE(contentOf(victim), victimContent);
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{QStringLiteral("victim.txt")});
    if (written) {
        const QFileInfo info(path);
        QVERIFY(!info.isSymLink());
        QVERIFY(info.isFile());
        QCOMPARE(contentOf(path), bytes);
        QCOMPARE(entries(dir), QStringList{name});
    } else {
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(entries(dir), entriesBefore); // no private file left behind
    }
}

void TestWorkingFiles::removeDeletesLinkOnly()
{
    QTemporaryDir work;
    QTemporaryDir outside;
    QVERIFY(work.isValid() && outside.isValid());
    const QDir dir(work.path());
    const QString victim = QDir(outside.path()).filePath(QStringLiteral("victim.jpg"));
    QVERIFY(put(victim, "kept"));
    QVERIFY(QFile::link(victim, dir.filePath(QStringLiteral("temp.jpg"))));
    QVERIFY(QFile::link(victim, dir.filePath(QStringLiteral("temp.tmp"))));

    WorkingFolder(dir.path()).removeAll();

    QCOMPARE(entries(dir), QStringList());
    QCOMPARE(contentOf(victim), QByteArray("kept"));
}

void TestWorkingFiles::read_data()
{
    QTest::addColumn<Before>("before");
    QTest::addColumn<bool>("readable");

    QTest::newRow("a working file") << Before::OwnFile << true;
    QTest::newRow("nothing") << Before::Nothing << false;
    QTest::newRow("a link to a file outside") << Before::LinkToOutside << false;
    QTest::newRow("a folder") << Before::Folder << false;
}

void TestWorkingFiles::read()
{
    QFETCH(Before, before);
    QFETCH(bool, readable);

    QTemporaryDir work;
    QTemporaryDir outside;
    QVERIFY(work.isValid() && outside.isValid());
    const QDir dir(work.path());
    const QString path = dir.filePath(QStringLiteral("temp.tmp"));
    const QString victim = QDir(outside.path()).filePath(QStringLiteral("secret.txt"));
    QVERIFY(put(victim, "secret"));
    if (before == Before::OwnFile)
        QVERIFY(put(path, "Ann;A fine view;01.02.2020\r\n"));
    else if (before == Before::LinkToOutside)
        QVERIFY(QFile::link(victim, path));
    else if (before == Before::Folder)
        QVERIFY(dir.mkdir(QStringLiteral("temp.tmp")));

    const std::optional<QByteArray> got = WorkingFolder(dir.path()).read(QStringLiteral("temp.tmp"), 1000);
    QCOMPARE(got.has_value(), readable);
    if (readable)
        QCOMPARE(*got, QByteArray("Ann;A fine view;01.02.2020\r\n"));

    // The read stops at its bound, and takes the memory the file needs, not the bound's.
    if (readable) {
        QCOMPARE(WorkingFolder(dir.path()).read(QStringLiteral("temp.tmp"), 3).value_or(QByteArray()), QByteArray("Ann"));
        const QByteArray whole = WorkingFolder(dir.path()).read(QStringLiteral("temp.tmp"), 16 << 20).value_or(QByteArray());
        QCOMPARE(whole.size(), 28);
        QVERIFY2(whole.capacity() < 4096, qPrintable(QString::number(whole.capacity())));
    }
}

// Another user renames the opened folder away and puts a link to a folder of theirs in its
// place: writes and deletes still happen in the folder that was opened.
void TestWorkingFiles::swappedFolderDoesNotRedirect()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir r(root.path());
    QVERIFY(r.mkdir(QStringLiteral("run")) && r.mkdir(QStringLiteral("theirs")));
    QVERIFY(put(r.filePath(QStringLiteral("theirs/temp.tmp")), "their file"));
    const WorkingFolder folder(r.filePath(QStringLiteral("run")));
    QVERIFY(folder.write(QStringLiteral("temp.jpg"), "before"));

    QVERIFY(r.rename(QStringLiteral("run"), QStringLiteral("moved")));
    QVERIFY(QFile::link(r.filePath(QStringLiteral("theirs")), r.filePath(QStringLiteral("run"))));
    QVERIFY(folder.write(QStringLiteral("temp.png"), "after"));
    folder.removeAll();

    QCOMPARE(entries(QDir(r.filePath(QStringLiteral("theirs")))), QStringList{QStringLiteral("temp.tmp")});
    QCOMPARE(contentOf(r.filePath(QStringLiteral("theirs/temp.tmp"))), QByteArray("their file"));
    QCOMPARE(entries(QDir(r.filePath(QStringLiteral("moved")))), QStringList());
}

// What the "lumora-viewer" folder in the cache is before a run folder is made in it.
enum class CacheBase { Private, WritableByOthers, Link, OtherUsers };
Q_DECLARE_METATYPE(CacheBase)

void TestWorkingFiles::privateFolder_data()
{
    QTest::addColumn<CacheBase>("cacheBase");
    QTest::addColumn<bool>("inCache"); // else in the runtime folder
    QTest::newRow("private") << CacheBase::Private << true;
    QTest::newRow("writable by others") << CacheBase::WritableByOthers << false;
    QTest::newRow("a link") << CacheBase::Link << false;
    if (::geteuid() == 0)
        QTest::newRow("another user's") << CacheBase::OtherUsers << false;
}

void TestWorkingFiles::privateFolder()
{
    QFETCH(CacheBase, cacheBase);
    QFETCH(bool, inCache);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir r(root.path());
    QVERIFY(r.mkpath(QStringLiteral("cache")) && r.mkpath(QStringLiteral("runtime")) && r.mkpath(QStringLiteral("theirs")));
    const QString base = r.filePath(QStringLiteral("cache/lumora-viewer"));
    switch (cacheBase) {
    case CacheBase::Private:
        break;
    case CacheBase::WritableByOthers:
        QVERIFY(r.mkpath(base));
        QVERIFY(::chmod(QFile::encodeName(base).constData(), 01777) == 0);
        break;
    case CacheBase::Link:
        QVERIFY(QFile::link(r.filePath(QStringLiteral("theirs")), base));
        break;
    case CacheBase::OtherUsers:
        QVERIFY(r.mkpath(base));
        QVERIFY(::chown(QFile::encodeName(base).constData(), 65534, 65534) == 0);
        break;
    }

    const WorkingFolder folder = WorkingFolder::makePrivate({r.filePath(QStringLiteral("cache")), r.filePath(QStringLiteral("runtime"))});
    QVERIFY2(folder.isOpen(), qPrintable(folder.error()));
    const QString home = r.filePath(inCache ? QStringLiteral("cache") : QStringLiteral("runtime"));
    QCOMPARE(QFileInfo(folder.path()).absolutePath(), home + QStringLiteral("/lumora-viewer"));
    QVERIFY(QFileInfo(folder.path()).fileName().startsWith(QStringLiteral("run-")));
    QCOMPARE(QFileInfo(folder.path()).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
    QCOMPARE(entries(QDir(r.filePath(QStringLiteral("theirs")))), QStringList());

    QVERIFY(folder.write(QStringLiteral("temp.tmp"), "x"));
    folder.removeAll();
    folder.removeIfPrivate();
    QVERIFY(!QFileInfo::exists(folder.path()));
}

QTEST_APPLESS_MAIN(TestWorkingFiles)
#include "tst_workingfiles.moc"
