#include "apprun.h"
#include "core/state/texts.h"
#include "camserverprocess.h"
#include "control/heartbeat.h"
#include "platform/transfer.h"
#include "ui/desktop/folderchooser.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/splashwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QToolButton>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

QStringList catalogueRequests(const CamServerProcess &server)
{
    QStringList seen;
    for (const QString &line : server.requests())
        if (line.contains(QLatin1String("camlist.php")))
            seen.append(line);
    return seen;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void goodCatalogue();
    void givenCatalogue();
    void failures_data();
    void failures();
    void configProblemsAskNoServer_data();
    void configProblemsAskNoServer();
    void stopMessageWaitsForTheUser();
    void addressTakenAsWritten();
    void shutdownRemovesWorkingFiles();
    void shutdownDuringTransfer();
    void startOptions_data();
    void startOptions();
    void desktopKeys();

private:
    CamServerProcess m_server;
};

void TestStartup::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestStartup::init()
{
    QVERIFY(m_server.clearFaults());
}

void TestStartup::goodCatalogue()
{
    AppRun run;
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    run.writeFile(QStringLiteral("temp.tmp"), "left over from an earlier run");
    QVERIFY(run.startAndWait());

    QVERIFY(run.messages.isEmpty());
    const RunningState &s = run.app->state();
    QCOMPARE(s.catalogue.serverUrl(), m_server.baseUrl());
    QVERIFY(s.catalogue.camCount() > 10);
    QCOMPARE(s.catalogue.camTable().size(), s.catalogue.camCount() + 1);
    QCOMPARE(s.catalogue.camTable().last(), QString());
    QVERIFY(!run.exists(QStringLiteral("temp.tmp")));
    QCOMPARE(s.countdowns.refresh().value(), 0);
    QCOMPARE(s.countdowns.shuffle().text(), QStringLiteral("60"));

    MainWindow &f1 = run.app->mainWindow();
    QVERIFY(run.app->heartbeat().timer()->isActive());
    QCOMPARE(run.app->heartbeat().timer()->interval(), 1000);
    QVERIFY(f1.isVisible());
    QVERIFY(f1.windowState() & Qt::WindowMaximized);
    QVERIFY(!run.app->splashWindow().isVisible());
    // The maximised window was laid out: the picture area reaches 120 twips short of the right edge.
    QCOMPARE(f1.pictureArea()->width(), f1.centralWidget()->width() - (3600 + 120) / 15);
    QCOMPARE(f1.windowTitle(), texts::DesignTitle);
    QVERIFY(catalogueRequests(m_server).contains(QStringLiteral("GET /camlist.php 200")));
}

void TestStartup::givenCatalogue()
{
    QTemporaryDir docs;
    const QString file = QDir(docs.path()).filePath(QStringLiteral("list.txt"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\r\n1;Z\xFCrich;{base}/cams/1.jpg;d;;5;0;7;me\r\n\r\n"
                "2;Two;{base}/cams/2.jpg;;;0;1;2;you;extra\r\n"
                "short;line\r\n3;Three;{base}/cams/3.jpg;d;;1;0;0;x\r\n");
    }
    CamServerProcess server({QStringLiteral("--catalogue"), file});
    QVERIFY(server.start());

    AppRun run;
    run.writeConfig(server.baseUrl());
    QVERIFY(run.startAndWait());
    const RunningState &s = run.app->state();
    QCOMPARE(s.catalogue.camCount(), 2);
    QCOMPARE(s.catalogue.camTable().size(), 3);
    QCOMPARE(s.catalogue.camTable()[0], QString::fromUtf8("1;Zürich;%1/cams/1.jpg;d;;5;0;7;me").arg(server.baseUrl()));
    QCOMPARE(s.catalogue.camTable()[2], QStringLiteral("short;line"));
}

void TestStartup::failures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    // How the cause starts; a cause that ends in ": " goes on with the transfer's own words.
    QTest::addColumn<QString>("cause");
    const QString download = QStringLiteral("Could not download {base}/camlist.php: ");
    const QString noCam = QStringLiteral("The cam list from {base}/camlist.php holds no cam line (");
    QTest::newRow("empty answer") << "empty" << texts::ConnectionMessage
                                  << download + QStringLiteral("the answer is empty (HTTP status 200)");
    QTest::newRow("connection reset") << "reset" << texts::ConfigMessage << download;
    QTest::newRow("time-out") << "stall" << texts::ConfigMessage << download;
    QTest::newRow("over the size cap") << "bytes:20971520" << texts::ConfigMessage << download;
    QTest::newRow("error page, no cams") << "status:404" << texts::EmptyCatalogueMessage << noCam;
    QTest::newRow("html page, no cams") << "html" << texts::EmptyCatalogueMessage << noCam;
}

void TestStartup::failures()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QString, cause);
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), fault));
    cause.replace(QLatin1String("{base}"), m_server.baseUrl());

    AppRun run;
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(!run.startAndWait());
    QCOMPARE(run.messages, QStringList{message});
    QCOMPARE(run.details.size(), 1);
    const QString detail = run.details.first();
    QVERIFY2(detail.startsWith(cause) && (!cause.endsWith(QLatin1String(": ")) || detail.size() > cause.size()),
             qPrintable(detail));
    QCOMPARE(run.titles, QStringList{texts::AppTitle});
    QCOMPARE(run.exits, QList<int>{1});
    QVERIFY(!run.app->mainWindow().isVisible());
    QVERIFY(!run.app->heartbeat().timer()->isActive());
    QVERIFY(!run.exists(QStringLiteral("temp.tmp")));
}

void TestStartup::configProblemsAskNoServer_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("cause");
    const QString use = QStringLiteral("Cannot use {file}: ");
    QTest::newRow("missing") << QByteArray() << false << QStringLiteral("No config.ini in {dir}");
    QTest::newRow("empty") << QByteArray() << true << use + QStringLiteral("the file is empty");
    QTest::newRow("blank line") << QByteArray("url=BASE\r\n\r\nx=1\r\n") << true
                                << use + QStringLiteral("line 2 is empty");
    QTest::newRow("url without value") << QByteArray("x=1\r\nUrl\r\n") << true
                                       << use + QStringLiteral("line 2 holds \"Url\" without \"=\"");
    QTest::newRow("no url line") << QByteArray("server=BASE\r\n") << true
                                 << QStringLiteral("Could not download /camlist.php: Not an address: /camlist.php");
}

void TestStartup::configProblemsAskNoServer()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, present);
    QFETCH(QString, cause);
    const int before = catalogueRequests(m_server).size();

    AppRun run;
    if (present)
        run.writeFile(QStringLiteral("config.ini"), config.replace("BASE", m_server.baseUrl().toUtf8()));
    const QDir dir(run.dir.path());
    cause.replace(QLatin1String("{file}"), QDir::toNativeSeparators(dir.absoluteFilePath(QStringLiteral("config.ini"))));
    cause.replace(QLatin1String("{dir}"), QDir::toNativeSeparators(dir.absolutePath()));
    QVERIFY(!run.startAndWait());
    QCOMPARE(run.messages, QStringList{texts::ConfigMessage});
    QCOMPARE(run.details, QStringList{cause});
    QCOMPARE(run.exits, QList<int>{1});
    QCOMPARE(catalogueRequests(m_server).size(), before);
}

// Without a stop-message hook the real message box shows over the splash window, and the
// program ends only once the user has dismissed it, with no loop of its own meanwhile.
void TestStartup::stopMessageWaitsForTheUser()
{
    QTemporaryDir dir;
    AppEnvironment env;
    env.workFolder = WorkingFolder(dir.path()); // no config.ini
    QList<int> exits;
    env.endProgram = [&exits](int code) { exits.append(code); };
    Application app(env);
    QSignalSpy started(&app, &Application::started);
    app.start();

    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) != nullptr);
    QVERIFY(box->isVisible());
    QCOMPARE(box->parentWidget(), &app.splashWindow());
    QCOMPARE(box->windowTitle(), texts::AppTitle);
    QCOMPARE(box->text(), QString(texts::ConfigMessage).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->informativeText(), QStringLiteral("No config.ini in ") + QDir::toNativeSeparators(dir.path()));
    QTest::qWait(50);
    QVERIFY2(started.isEmpty() && exits.isEmpty(), "nothing ends before the user has read the message");

    box->button(QMessageBox::Ok)->click();
    QTRY_COMPARE(started.size(), 1);
    QCOMPARE(started.first().first().toBool(), false);
    QCOMPARE(exits, QList<int>{1});
}

void TestStartup::addressTakenAsWritten()
{
    // A trailing slash is not taken away: the address asked for has two slashes.
    AppRun slash;
    slash.writeConfig(m_server.baseUrl() + QLatin1Char('/'));
    slash.startAndWait();
    QCOMPARE(slash.app->transfer().lastAddress(), m_server.baseUrl() + QStringLiteral("//camlist.php"));

    // LF line ends, a second key in capitals and a later url line replacing the first.
    AppRun lf;
    lf.writeFile(QStringLiteral("config.ini"),
                 "url=http://127.0.0.1:1\nURL=" + m_server.baseUrl().toUtf8() + "\ntheme=dark\n");
    QVERIFY(lf.startAndWait());
    QCOMPARE(lf.app->state().catalogue.serverUrl(), m_server.baseUrl());

    // A working file that cannot be created ends start-up with the configuration message.
    AppRun blocked;
    blocked.writeConfig(m_server.baseUrl());
    QVERIFY(QDir(blocked.dir.path()).mkdir(QStringLiteral("temp.tmp")));
    QVERIFY(!blocked.startAndWait());
    QCOMPARE(blocked.messages, QStringList{texts::ConfigMessage});
}

void TestStartup::shutdownRemovesWorkingFiles()
{
    AppRun run;
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.startAndWait());
    for (const char *name : {"temp.tmp", "temp.jpg", "temp.JPG", "temp.gif", "temp.docx"})
        QVERIFY(run.writeFile(QString::fromLatin1(name), "x"));

    QVERIFY(!run.app->mainWindow().close());
    QCOMPARE(run.exits, QList<int>{0});
    QVERIFY(!run.app->mainWindow().isVisible());
    for (const char *name : {"temp.tmp", "temp.jpg", "temp.JPG", "temp.gif"})
        QVERIFY2(!run.exists(QString::fromLatin1(name)), name);
    QVERIFY2(run.exists(QStringLiteral("temp.docx")), "a user's own file stays");
    QVERIFY(run.messages.isEmpty());
}

void TestStartup::shutdownDuringTransfer()
{
    AppRun run;
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.startAndWait());
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("stall")));

    QTimer::singleShot(200, &run.app->mainWindow(), [&] {
        run.writeFile(QStringLiteral("temp.jpg"), "");
        run.app->mainWindow().close();
    });
    DownloadRequest request{m_server.baseUrl() + QStringLiteral("/cams/1001.jpg")};
    request.timeoutMs = 20000;
    QSignalSpy finished(run.app->transfer().start(request), &DownloadHandler::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).value<DownloadResult>().error, DownloadResult::Error::Cancelled);
    QCOMPARE(run.exits, QList<int>{0});
    QVERIFY(!run.exists(QStringLiteral("temp.jpg")));
    QVERIFY(run.messages.isEmpty());
}

void TestStartup::startOptions_data()
{
    QTest::addColumn<QString>("camId");
    QTest::addColumn<QString>("camName");  // empty: a random cam
    QTest::addColumn<bool>("fullscreen");

    QTest::newRow("a cam, fullscreen") << QStringLiteral("1013") << QStringLiteral("Market Square Oberzell") << true;
    QTest::newRow("another cam") << QStringLiteral("1017") << QStringLiteral("Ferry Terminal Nordstrand") << false;
    QTest::newRow("unknown cam: a random one") << QStringLiteral("no-such-cam") << QString() << false;
}

// Kiosks start on a given cam, with given intervals, mode and window; the toolbar shows
// what runs.
void TestStartup::startOptions()
{
    QFETCH(QString, camId);
    QFETCH(QString, camName);
    QFETCH(bool, fullscreen);
    StartOptions start;
    start.camId = camId;
    start.fullscreen = fullscreen;
    start.refreshSeconds = QStringLiteral("9");
    start.shuffleSeconds = QStringLiteral("30");
    start.scaleMode = ViewScaleMode::ScaleOutline;
    AppRun run(1500, 10000, start);
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.startAndWait());

    const RunningState &s = run.app->state();
    QVERIFY(s.selection.currentCam() >= 0 && s.selection.currentCam() < s.catalogue.camCount());
    if (!camName.isEmpty())
        QCOMPARE(s.selection.currentCamFields().value(1), camName);
    MainWindow &f1 = run.app->mainWindow();
    QCOMPARE(f1.refreshIntervalEdit()->text(), QStringLiteral("9"));
    QCOMPARE(s.switches.refreshIntervalText(), QStringLiteral("9"));
    QCOMPARE(f1.shuffleIntervalEdit()->text(), QStringLiteral("30"));
    QVERIFY(f1.autoShuffleCheck()->isChecked());
    QVERIFY(s.switches.autoShuffle());
    QCOMPARE(s.countdowns.shuffle().text(), QStringLiteral("30"));
    QCOMPARE(s.switches.scaleMode(), ViewScaleMode::ScaleOutline);
    QCOMPARE(f1.scaleModeButton()->text(), QStringLiteral("Scale Outline"));
    QCOMPARE(run.app->fullscreenWindow().isVisible(), fullscreen);
    QCOMPARE(f1.isVisible(), !fullscreen);
}

// F11, F5 and Ctrl+Q from wherever the focus is; the interval box never gets their letters.
void TestStartup::desktopKeys()
{
    AppRun run;
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.startAndWait());
    MainWindow &f1 = run.app->mainWindow();
    FullscreenWindow &f3 = run.app->fullscreenWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&f1));

    QTest::keyClick(&f1, Qt::Key_F11);
    QVERIFY(f3.isVisible());
    QVERIFY(!f1.isVisible());
    QTest::keyClick(&f3, Qt::Key_F11);
    QVERIFY(!f3.isVisible());
    QVERIFY(f1.isVisible());

    // F5: a refresh at once, its countdown started afresh.
    QVERIFY(run.waitForRefresh());
    run.app->state().countdowns.setRefresh(4);
    QVERIFY(!run.app->fetch().isRunning());
    QTest::keyClick(f1.refreshIntervalEdit(), Qt::Key_F5);
    QVERIFY(run.app->fetch().isRunning());
    QCOMPARE(run.app->state().countdowns.refresh().value(), 5);
    QCOMPARE(f1.refreshIntervalEdit()->text(), QStringLiteral("5"));
    QVERIFY(run.waitForRefresh());

    // Ctrl+F opens the filter line; letters typed there are words, not commands.
    CamListWidget &list = *f1.camList();
    const int cam = run.app->state().selection.currentCam();
    QTest::keyClick(&f1, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(list.isFilterOpen());
    QCOMPARE(QApplication::focusWidget(), list.filterEdit());
    QTest::keyClicks(list.filterEdit(), QStringLiteral("ar/c"));
    QCOMPARE(list.filterEdit()->text(), QStringLiteral("ar/c"));
    QVERIFY(!run.app->state().switches.autoShuffle());
    QVERIFY(run.app->state().switches.showComments());
    QCOMPARE(run.app->state().selection.currentCam(), cam);
    QVERIFY(list.shownCount() < run.app->state().catalogue.camCount());
    QTest::keyClick(list.filterEdit(), Qt::Key_Escape);
    QVERIFY(!list.isFilterOpen());
    QCOMPARE(list.shownCount(), run.app->state().catalogue.camCount());
    // "/" in an interval box, where it is no digit, finds too.
    QTest::keyClick(f1.shuffleIntervalEdit(), Qt::Key_Slash);
    QVERIFY(list.isFilterOpen());
    QCOMPARE(f1.shuffleIntervalEdit()->text(), QStringLiteral("60"));
    QTest::keyClick(list.filterEdit(), Qt::Key_Escape);

    // In another window's text field, the folder dialog's file name, the keys are the field's.
    run.app->folderChooser().open();
    QFileDialog *dialog = run.app->folderChooser().dialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), name);
    QTest::keyClicks(name, QStringLiteral("/ar"));
    QTest::keyClick(name, Qt::Key_F11);
    QTest::keyClick(name, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("/ar"));
    QVERIFY(!list.isFilterOpen());
    QVERIFY(!run.app->state().switches.autoShuffle());
    QCOMPARE(run.app->state().selection.currentCam(), cam);
    QVERIFY(!f3.isVisible());
    QVERIFY(run.exits.isEmpty());
    dialog->reject();

    // Ctrl+Q typed into an interval box ends the program in order, and types nothing.
    f1.refreshIntervalEdit()->setFocus();
    QTest::keyClick(f1.refreshIntervalEdit(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(run.exits, QList<int>{0});
    QCOMPARE(f1.refreshIntervalEdit()->text(), QStringLiteral("5"));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
