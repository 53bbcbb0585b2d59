// The real viewer binary with no display at all: --help, --version and a wrong option answer
// on their own, and a start without a display says so in one line instead of aborting.

#include "app/commandline.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

namespace {

struct Run {
    bool finished = false;
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
};

// Runs the viewer with nothing of the caller's environment but what is given.
Run runViewer(const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess viewer;
    viewer.setProcessEnvironment(env);
    viewer.setWorkingDirectory(QDir::tempPath());
    QElapsedTimer clock;
    clock.start();
    viewer.start(QStringLiteral(LUMORA_VIEWER_PATH), arguments);
    Run run;
    if (!viewer.waitForStarted(5000))
        return run;
    run.finished = viewer.waitForFinished(10000);
    run.elapsedMs = clock.elapsed();
    if (!run.finished) {
        viewer.kill();
        viewer.waitForFinished(5000);
    }
    run.exitCode = viewer.exitCode();
    run.exitStatus = viewer.exitStatus();
    run.out = viewer.readAllStandardOutput();
    run.err = viewer.readAllStandardError();
    return run;
}

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    return env;
}

const QByteArray NoDisplayLine = "no display: set DISPLAY or use a graphical session\n";

} // namespace

class TstCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void withoutDisplay_data();
    void withoutDisplay();
    void displayReachable_data();
    void displayReachable();
};

void TstCommandLine::withoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platformVariable");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("stdoutStart");
    QTest::addColumn<QByteArray>("stderrStart");

    const QByteArray usage = "Usage: lumora-viewer [options]\n";
    const QByteArray version = "lumora viewer 5 version " LUMORA_VERSION "\n";
    QTest::newRow("--help") << QStringList {QStringLiteral("--help")} << QString() << 0 << usage << QByteArray();
    QTest::newRow("-h") << QStringList {QStringLiteral("-h")} << QString() << 0 << usage << QByteArray();
    QTest::newRow("--help with a platform that needs X")
        << QStringList {QStringLiteral("--help")} << QStringLiteral("xcb") << 0 << usage << QByteArray();
    QTest::newRow("--version") << QStringList {QStringLiteral("--version")} << QString() << 0 << version << QByteArray();
    QTest::newRow("-v") << QStringList {QStringLiteral("-v")} << QString() << 0 << version << QByteArray();
    QTest::newRow("--bogus") << QStringList {QStringLiteral("--bogus")} << QString() << 2 << QByteArray()
                             << QByteArray("lumora-viewer: Unknown option 'bogus'.\n" + usage);
    QTest::newRow("-bogus") << QStringList {QStringLiteral("-bogus")} << QString() << 2 << QByteArray()
                            << QByteArray("lumora-viewer: Unknown option 'bogus'.\n" + usage);
    QTest::newRow("stray argument") << QStringList {QStringLiteral("stray")} << QString() << 2 << QByteArray()
                                    << QByteArray("lumora-viewer: Unexpected argument 'stray'.\n" + usage);
    QTest::newRow("no options") << QStringList() << QString() << 1 << QByteArray() << NoDisplayLine;
    QTest::newRow("no options, xcb asked for") << QStringList() << QStringLiteral("xcb") << 1 << QByteArray()
                                               << NoDisplayLine;
    QTest::newRow("no options, wayland asked for") << QStringList() << QStringLiteral("wayland") << 1
                                                   << QByteArray() << NoDisplayLine;
    QTest::newRow("-platform xcb") << QStringList {QStringLiteral("-platform"), QStringLiteral("xcb")} << QString()
                                   << 1 << QByteArray() << NoDisplayLine;
}

void TstCommandLine::withoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platformVariable);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, stdoutStart);
    QFETCH(QByteArray, stderrStart);

    QProcessEnvironment env = ::withoutDisplay();
    if (!platformVariable.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platformVariable);
    const Run run = runViewer(arguments, env);
    QVERIFY2(run.finished, "still running after 10 s");
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QVERIFY2(run.exitCode == exitCode,
             qPrintable(QStringLiteral("exit code %1, stderr: %2").arg(run.exitCode).arg(QString::fromLocal8Bit(run.err))));
    QVERIFY2(run.out.startsWith(stdoutStart), run.out.constData());
    if (stdoutStart.isEmpty())
        QVERIFY2(run.out.isEmpty(), run.out.constData());
    QVERIFY2(run.err.startsWith(stderrStart), run.err.constData());
    if (stderrStart.isEmpty() || stderrStart == NoDisplayLine)
        QCOMPARE(run.err, stderrStart);
    // The usage lists the viewer's options and none of Qt's hidden ones.
    const QByteArray usage = exitCode == 0 ? run.out : run.err;
    if (usage.contains("Usage: ")) {
        QVERIFY(usage.contains("--help"));
        QVERIFY(usage.contains("--version"));
        QVERIFY(!usage.contains("platform"));
    }
    // Nothing here may wait for a window system; generous for a shared, busy machine.
    QVERIFY2(run.elapsedMs < 3000, qPrintable(QString::number(run.elapsedMs)));
}

void TstCommandLine::displayReachable_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("waylandDisplay");
    QTest::addColumn<bool>("reachable");

    QTest::newRow("nothing") << QString() << QString() << QString() << false;
    QTest::newRow("X display") << QString() << QStringLiteral(":0") << QString() << true;
    QTest::newRow("Wayland display") << QString() << QString() << QStringLiteral("wayland-0") << true;
    QTest::newRow("xcb without X") << QStringLiteral("xcb") << QString() << QStringLiteral("wayland-0") << false;
    QTest::newRow("xcb with X") << QStringLiteral("xcb") << QStringLiteral(":1") << QString() << true;
    QTest::newRow("wayland without Wayland") << QStringLiteral("wayland") << QStringLiteral(":0") << QString() << false;
    QTest::newRow("wayland-egl with Wayland") << QStringLiteral("wayland-egl") << QString()
                                              << QStringLiteral("wayland-1") << true;
    QTest::newRow("offscreen") << QStringLiteral("offscreen") << QString() << QString() << true;
    QTest::newRow("offscreen with arguments") << QStringLiteral("offscreen:size=800x600") << QString() << QString()
                                              << true;
    QTest::newRow("minimal") << QStringLiteral("minimal") << QString() << QString() << true;
    QTest::newRow("list, second reachable") << QStringLiteral("wayland;xcb") << QStringLiteral(":0") << QString()
                                            << true;
    QTest::newRow("list, none reachable") << QStringLiteral("wayland;xcb") << QString() << QString() << false;
    QTest::newRow("list ending in offscreen") << QStringLiteral("xcb;offscreen") << QString() << QString() << true;
    QTest::newRow("case") << QStringLiteral("XCB") << QString() << QString() << false;
}

void TstCommandLine::displayReachable()
{
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QFETCH(QString, waylandDisplay);
    QFETCH(bool, reachable);
    QCOMPARE(canReachDisplay(platform, display, waylandDisplay), reachable);
}

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
