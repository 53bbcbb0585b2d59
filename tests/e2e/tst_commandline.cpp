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
    void startOptions_data();
    void startOptions();
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
    QTest::newRow("--scale wrong") << QStringList {QStringLiteral("--scale"), QStringLiteral("big")} << QString() << 2
                                   << QByteArray()
                                   << QByteArray("lumora-viewer: --scale takes stretch, inline or outline, not 'big'.\n"
                                                 + usage);
    QTest::newRow("--fullscreen without display") << QStringList {QStringLiteral("--fullscreen")} << QString() << 1
                                                  << QByteArray() << NoDisplayLine;
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

void TstCommandLine::startOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");  // empty: accepted
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<QString>("cam");
    QTest::addColumn<QString>("shuffle");  // "-" for not given
    QTest::addColumn<QString>("refresh");
    QTest::addColumn<int>("scale");  // -1 for not given

    const QString none = QStringLiteral("-");
    QTest::newRow("nothing") << QStringList() << QString() << false << QString() << none << none << -1;
    QTest::newRow("all") << QStringList {QStringLiteral("--fullscreen"), QStringLiteral("--cam"), QStringLiteral("1013"),
                                         QStringLiteral("--shuffle"), QStringLiteral("30"), QStringLiteral("--refresh=0"),
                                         QStringLiteral("--scale"), QStringLiteral("outline")}
                         << QString() << true << QStringLiteral("1013") << QStringLiteral("30") << QStringLiteral("0")
                         << int(ViewScaleMode::ScaleOutline);
    QTest::newRow("stretch") << QStringList {QStringLiteral("--scale=stretch")} << QString() << false << QString()
                             << none << none << int(ViewScaleMode::Stretch);
    QTest::newRow("inline, leading zero") << QStringList {QStringLiteral("--scale"), QStringLiteral("inline"),
                                                          QStringLiteral("--refresh"), QStringLiteral("007")}
                                          << QString() << false << QString() << none << QStringLiteral("7")
                                          << int(ViewScaleMode::ScaleInline);
    // The options take what the interval boxes take.
    QTest::newRow("a day each") << QStringList {QStringLiteral("--shuffle=86400"), QStringLiteral("--refresh=86400")}
                                << QString() << false << QString() << QStringLiteral("86400")
                                << QStringLiteral("86400") << -1;
    QTest::newRow("the longest each")
        << QStringList {QStringLiteral("--shuffle=99999999"), QStringLiteral("--refresh=99999999")} << QString()
        << false << QString() << QStringLiteral("99999999") << QStringLiteral("99999999") << -1;
    QTest::newRow("shuffle 0") << QStringList {QStringLiteral("--shuffle"), QStringLiteral("0")} << QString() << false
                               << QString() << QStringLiteral("0") << none << -1;
    QTest::newRow("blanks around, as a box reads them")
        << QStringList {QStringLiteral("--shuffle"), QStringLiteral(" 15 ")} << QString() << false << QString()
        << QStringLiteral("15") << none << -1;
    const auto refused = [&](const char *row, QStringList arguments, const char *error) {
        QTest::newRow(row) << arguments << QString::fromLatin1(error) << false << QString() << none << none << -1;
    };
    refused("scale in capitals", {QStringLiteral("--scale"), QStringLiteral("Inline")},
            "--scale takes stretch, inline or outline, not 'Inline'.");
    refused("negative shuffle", {QStringLiteral("--shuffle=-5")}, "--shuffle takes whole seconds from 0 to 99999999, not '-5'.");
    refused("fraction", {QStringLiteral("--refresh"), QStringLiteral("1.5")},
            "--refresh takes whole seconds from 0 to 99999999, not '1.5'.");
    refused("more than eight digits", {QStringLiteral("--refresh"), QStringLiteral("100000000")},
            "--refresh takes whole seconds from 0 to 99999999, not '100000000'.");
    refused("sign", {QStringLiteral("--shuffle"), QStringLiteral("+5")}, "--shuffle takes whole seconds from 0 to 99999999, not '+5'.");
    refused("empty cam", {QStringLiteral("--cam=")}, "--cam needs a cam id.");
    refused("no frames", {QStringLiteral("--max-fps=0")}, "--max-fps takes a whole number from 1 to 120, not '0'.");
    refused("missing value", {QStringLiteral("--shuffle")}, "Missing value after '--shuffle'.");
}

void TstCommandLine::startOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    arguments.prepend(QStringLiteral("lumora-viewer"));
    const CommandLine line = parseCommandLine(arguments);
    QCOMPARE(line.error, error);
    QCOMPARE(line.action, error.isEmpty() ? CommandLine::Action::Run : CommandLine::Action::UsageError);
    // --help wins over any start option, refused or not (an option without its value is a
    // malformed command line and refused as such).
    if (!error.startsWith(QLatin1String("Missing value")))
        QCOMPARE(parseCommandLine(arguments + QStringList{QStringLiteral("--help")}).action, CommandLine::Action::ShowHelp);
    if (!error.isEmpty())
        return;
    const auto shown = [](const std::optional<QString> &v) { return v.value_or(QStringLiteral("-")); };
    QTEST(line.start.fullscreen, "fullscreen");
    QTEST(line.start.camId, "cam");
    QTEST(shown(line.start.shuffleSeconds), "shuffle");
    QTEST(shown(line.start.refreshSeconds), "refresh");
    QTEST(line.start.scaleMode ? int(*line.start.scaleMode) : -1, "scale");
}

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
