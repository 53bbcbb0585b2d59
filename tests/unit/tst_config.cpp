#include "core/files/config.h"
#include "core/files/configlocation.h"
#include "core/files/xdgdirs.h"
#include "core/files/newconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(xdg_dirs::Base)

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    void readsUrl_data();
    void readsUrl();
    void fileChecks();
    void location_data();
    void location();
    void baseFolders_data();
    void baseFolders();
    void picturesFolder_data();
    void picturesFolder();
    void serverAddress_data();
    void serverAddress();
    void newConfig();
};

void TestConfig::readsUrl_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("url");

    QTest::newRow("crlf") << QByteArray("url=http://a.example\r\n") << true << "http://a.example";
    QTest::newRow("no line end") << QByteArray("url=http://a.example") << true << "http://a.example";
    QTest::newRow("cr alone") << QByteArray("x=1\rurl=http://b\r") << true << "http://b";
    QTest::newRow("lf alone") << QByteArray("url=http://c\n") << true << "http://c";
    QTest::newRow("lf between lines") << QByteArray("url=http://c\nother=1\n") << true << "http://c";
    QTest::newRow("later capital key wins")
        << QByteArray("url=http://first\r\nURL=http://second\r\n") << true << "http://second";
    QTest::newRow("mixed case key") << QByteArray("UrL=http://m\r\n") << true << "http://m";
    QTest::newRow("trailing slash kept") << QByteArray("url=http://s/\r\n") << true << "http://s/";
    QTest::newRow("value not trimmed") << QByteArray("url= http://t \r\n") << true << " http://t ";
    QTest::newRow("piece after second = ignored") << QByteArray("url=http://q?a=1\r\n") << true << "http://q?a";
    QTest::newRow("empty value") << QByteArray("url=\r\n") << true << "";
    QTest::newRow("blank before key is another key")
        << QByteArray(" url=http://x\r\nurl=http://y\r\n url =http://z\r\n") << true << "http://y";
    QTest::newRow("no url line") << QByteArray("server=http://x\r\n") << true << "";
    QTest::newRow("other key without =") << QByteArray("comment\r\nurl=http://k\r\n") << true << "http://k";
    QTest::newRow("empty key") << QByteArray("=x\r\nurl=http://e\r\n") << true << "http://e";
    QTest::newRow("utf-8 byte order mark") << QByteArray("\xEF\xBB\xBFurl=http://bom\r\n") << true << "http://bom";
    QTest::newRow("windows-1252 value")
        << QByteArray("url=http://m\xFCnchen.example\r\n") << true << QString::fromUtf8("http://münchen.example");
    QTest::newRow("utf-8 value")
        << QByteArray("url=http://m\xC3\xBCnchen.example\n") << true << QString::fromUtf8("http://münchen.example");

    QTest::newRow("empty file") << QByteArray() << false << "";
    QTest::newRow("only a byte order mark") << QByteArray("\xEF\xBB\xBF") << false << "";
    QTest::newRow("blank line in the middle") << QByteArray("url=http://a\r\n\r\nx=1\r\n") << false << "";
    QTest::newRow("blank line at the end") << QByteArray("url=http://a\r\n\r\n") << false << "";
    QTest::newRow("blank first line lf") << QByteArray("\nurl=http://a\n") << false << "";
    QTest::newRow("url without =") << QByteArray("url\r\n") << false << "";
    QTest::newRow("URL without =") << QByteArray("x=1\r\nURL\r\n") << false << "";
}

void TestConfig::readsUrl()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QString, url);

    const ConfigResult r = readConfigText(content);
    QCOMPARE(r.ok, ok);
    if (ok)
        QCOMPARE(r.serverUrl, url);
}

void TestConfig::fileChecks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));

    const QString shownPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const ConfigResult missing = readConfigFile(path);
    QVERIFY2(!missing.ok, "a missing file is unreadable");
    QCOMPARE(missing.error, QStringLiteral("No config.ini in ") + QDir::toNativeSeparators(QFileInfo(path).absolutePath()));

    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("url=http://127.0.0.1:1\r\n");
    f.close();
    const ConfigResult good = readConfigFile(path);
    QVERIFY(good.ok);
    QCOMPARE(good.serverUrl, QStringLiteral("http://127.0.0.1:1"));

    // A file far too large to be a configuration is refused without being read whole.
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray line("x=1\r\n");
    for (qint64 written = 0; written <= MaxConfigBytes; written += line.size())
        f.write(line);
    f.write("url=http://late\r\n");
    f.close();
    const ConfigResult large = readConfigFile(path);
    QVERIFY(!large.ok);
    QCOMPARE(large.error, shownPath + QStringLiteral(" is larger than 1048576 bytes"));

    // A folder in place of the file.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("config.ini")));
    const ConfigResult folder = readConfigFile(path);
    QVERIFY(!folder.ok);
    QVERIFY2(folder.error.startsWith(QStringLiteral("Cannot read ") + shownPath + QStringLiteral(": ")), qPrintable(folder.error));

    // A FIFO would hold the reader until someone writes to it.
    QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("config.ini")));
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    QCOMPARE(readConfigFile(path).error, QStringLiteral("Cannot read %1: it is a FIFO, not a file").arg(shownPath));
}

void TestConfig::location_data()
{
    // Files present: "work" = the working folder's config.ini, "personal" = the one in the
    // user's config folder, "named" = a file given on the command line.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("configHomeGiven");
    QTest::addColumn<QString>("read");     // which file is read: work, personal, named
    QTest::addColumn<QString>("workDir");  // work, cache (a private folder), named
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("looked");
    QTest::addColumn<bool>("firstRun"); // the personal file is the one a first start writes

    const QString work = QStringLiteral("work");
    const QString personal = QStringLiteral("personal");
    const QString named = QStringLiteral("named");
    QTest::newRow("working folder, as always") << QStringList{work} << false << true << work << work << true << 1 << false;
    QTest::newRow("working folder wins") << QStringList{work, personal} << false << true << work << work << true << 1 << false;
    QTest::newRow("the user's config folder") << QStringList{personal} << false << true << personal
                                              << QStringLiteral("cache") << true << 2 << false;
    QTest::newRow("nowhere") << QStringList() << false << true << work << work << false << 2 << true;
    QTest::newRow("no config home") << QStringList{personal} << false << false << work << work << false << 1 << false;
    QTest::newRow("named file wins") << QStringList{work, personal, named} << true << true << named << named << true << 1 << false;
    QTest::newRow("named file missing") << QStringList{work, personal} << true << true << named << named << false << 1 << false;
}

void TestConfig::location()
{
    QFETCH(QStringList, present);
    QFETCH(bool, named);
    QFETCH(bool, configHomeGiven);
    QFETCH(QString, read);
    QFETCH(QString, workDir);
    QFETCH(bool, found);
    QFETCH(int, looked);
    QFETCH(bool, firstRun);

    QTemporaryDir root;
    const QDir r(root.path());
    QVERIFY(r.mkpath(QStringLiteral("work")) && r.mkpath(QStringLiteral("home/lumora-viewer"))
            && r.mkpath(QStringLiteral("elsewhere")));
    const QHash<QString, QString> files{
        {QStringLiteral("work"), r.filePath(QStringLiteral("work/config.ini"))},
        {QStringLiteral("personal"), r.filePath(QStringLiteral("home/lumora-viewer/config.ini"))},
        {QStringLiteral("named"), r.filePath(QStringLiteral("elsewhere/cams.ini"))}};
    for (const QString &which : present) {
        QFile f(files[which]);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const ConfigLocation where = locateConfig(named ? files[QStringLiteral("named")] : QString(),
                                              r.filePath(QStringLiteral("work")),
                                              configHomeGiven ? r.filePath(QStringLiteral("home")) : QString());
    QCOMPARE(where.found, found);
    QCOMPARE(where.configFile, files[read]);
    QCOMPARE(where.looked.size(), looked);
    const QString expectedWorkDir = workDir == QLatin1String("cache") ? QString() : QFileInfo(files[workDir]).absolutePath();
    QCOMPARE(where.workDir, expectedWorkDir);
    QCOMPARE(firstRunConfigFile(named ? files[QStringLiteral("named")] : QString(), where),
             firstRun ? files[QStringLiteral("personal")] : QString());
    // A search that found nothing names every folder it looked in.
    if (!found) {
        const QString cause = notFoundCause(where);
        QVERIFY2(cause.startsWith(QStringLiteral("No ") + QFileInfo(files[read]).fileName() + QStringLiteral(" in ")),
                 qPrintable(cause));
        for (const QString &file : where.looked)
            QVERIFY2(cause.contains(QDir::toNativeSeparators(QFileInfo(file).absolutePath())), qPrintable(cause));
    } else {
        QVERIFY(notFoundCause(where).isEmpty());
    }
}

// A relative value is ignored: it would depend on the folder the program starts in.
void TestConfig::baseFolders_data()
{
    QTest::addColumn<xdg_dirs::Base>("base");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    const QString home = QStringLiteral("/home/anna");
    using xdg_dirs::Base;
    QTest::newRow("config absolute") << Base::Config << "/srv/cfg/" << "/srv/cfg";
    QTest::newRow("config relative") << Base::Config << "cfg" << home + "/.config";
    QTest::newRow("config dot relative") << Base::Config << "./cfg" << home + "/.config";
    QTest::newRow("config unset") << Base::Config << "" << home + "/.config";
    QTest::newRow("cache absolute") << Base::Cache << "/var/cache/anna" << "/var/cache/anna";
    QTest::newRow("cache relative") << Base::Cache << "shared/cache" << home + "/.cache";
    QTest::newRow("cache unset") << Base::Cache << "" << home + "/.cache";
    QTest::newRow("runtime absolute") << Base::Runtime << "/run/user/1000" << "/run/user/1000";
    QTest::newRow("runtime relative") << Base::Runtime << "run" << "";
    QTest::newRow("runtime unset") << Base::Runtime << "" << "";
}

void TestConfig::baseFolders()
{
    QFETCH(xdg_dirs::Base, base);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(xdg_dirs::baseFolder(base, value, QStringLiteral("/home/anna")), expected);
}

void TestConfig::picturesFolder_data()
{
    QTest::addColumn<QByteArray>("userDirs");
    QTest::addColumn<QString>("expected");
    QTest::newRow("under home") << QByteArray("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n") << "/home/anna/Bilder";
    QTest::newRow("absolute") << QByteArray("# x\nXDG_PICTURES_DIR=\"/srv/pics\"\n") << "/srv/pics";
    QTest::newRow("relative") << QByteArray("XDG_PICTURES_DIR=\"pics\"\n") << "/home/anna/Pictures";
    QTest::newRow("none") << QByteArray("XDG_MUSIC_DIR=\"$HOME/Music\"\n") << "/home/anna/Pictures";
}

void TestConfig::picturesFolder()
{
    QFETCH(QByteArray, userDirs);
    QFETCH(QString, expected);
    QCOMPARE(xdg_dirs::picturesFolder(userDirs, QStringLiteral("/home/anna")), expected);
}

void TestConfig::serverAddress_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<ServerAddressCheck>("check");

    const auto usable = ServerAddressCheck::Usable;
    const auto notAnAddress = ServerAddressCheck::NotAnAddress;
    const auto notABase = ServerAddressCheck::NotABase;
    QTest::newRow("https, port and path") << "https://cams.example:8443/v5" << "https://cams.example:8443/v5" << usable;
    QTest::newRow("capital scheme") << "HTTP://cams.example" << "HTTP://cams.example" << usable;
    QTest::newRow("trailing slashes dropped") << "http://127.0.0.1:8080///" << "http://127.0.0.1:8080" << usable;
    QTest::newRow("blanks around dropped") << " http://cams.example/ " << "http://cams.example" << usable;
    QTest::newRow("empty") << "" << "" << ServerAddressCheck::Empty;
    QTest::newRow("no scheme") << "cams.example:8080" << "cams.example:8080" << notAnAddress;
    QTest::newRow("ftp") << "ftp://cams.example" << "ftp://cams.example" << notAnAddress;
    QTest::newRow("no server") << "http://" << "http:" << notAnAddress;
    QTest::newRow("line break inside") << "http://a\nurl=http://b" << "http://a\nurl=http://b" << notAnAddress;
    QTest::newRow("query") << "http://cams.example/?x" << "http://cams.example/?x" << notABase;
    // config.ini would cut the value at the "=".
    QTest::newRow("equals sign") << "http://cams.example/a=b" << "http://cams.example/a=b" << notABase;
    // A long address is taken or refused whole, never cut to a shorter one.
    const QString longest = QStringLiteral("http://cams.example/") + QString(ServerAddressMaxLength - 20, QLatin1Char('a'));
    QTest::newRow("longest address") << longest << longest << usable;
    QTest::newRow("one character too long") << longest + "a/" << longest + "a" << ServerAddressCheck::TooLong;
}

void TestConfig::serverAddress()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(ServerAddressCheck, check);
    QCOMPARE(storedServerAddress(typed), stored);
    QCOMPARE(checkServerAddress(stored), check);
}

// Made for the user alone, and never through a link: a link going nowhere in the file's
// place stays as it is, and a folder that is a link is refused.
void TestConfig::newConfig()
{
    QTemporaryDir root;
    const QDir r(root.path());
    const auto mode = [](const QString &path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    const QString file = r.filePath(QStringLiteral(".config/lumora-viewer/config.ini"));
    QCOMPARE(writeNewConfig(file, QStringLiteral("http://a")), QString());
    QCOMPARE(mode(file), 0600);
    QCOMPARE(mode(r.filePath(QStringLiteral(".config/lumora-viewer"))), 0700);

    QVERIFY(QFile::remove(file) && QFile::link(r.filePath(QStringLiteral("nowhere")), file));
    QVERIFY(!writeNewConfig(file, QStringLiteral("http://b")).isEmpty());
    QVERIFY(!QFile::exists(r.filePath(QStringLiteral("nowhere"))));
    QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("config.ini")});

    QVERIFY(r.mkdir(QStringLiteral("elsewhere")) && QFile::link(r.filePath(QStringLiteral("elsewhere")), r.filePath(QStringLiteral("linked"))));
    QVERIFY(!writeNewConfig(r.filePath(QStringLiteral("linked/config.ini")), QStringLiteral("http://c")).isEmpty());
    QVERIFY(QDir(r.filePath(QStringLiteral("elsewhere"))).isEmpty());
}

QTEST_APPLESS_MAIN(TestConfig)
#include "tst_config.moc"
