// The screen saver while the fullscreen window shows, against stand-in services on a
// private session bus of the test's own: held while the window shows, released when it
// hides and when the program ends, through whichever service the desktop offers.
#include "apprun.h"
#include "stderrcapture.h"
#include "platform/screensaverinhibitor.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// A session bus daemon of the test's own, started before anything in the process could
// reach the desktop's.
struct PrivateBus
{
    pid_t pid = 0;
    QByteArray address;

    PrivateBus()
    {
        FILE *out = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        char line[512] = {};
        if (out && std::fgets(line, sizeof line, out))
            address = QByteArray(line).trimmed();
        if (out && std::fgets(line, sizeof line, out))
            pid = pid_t(std::atol(line));
        if (out)
            pclose(out);
        if (!address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    ~PrivateBus()
    {
        if (pid > 0)
            ::kill(pid, SIGTERM);
    }
};

PrivateBus *privateBus = nullptr;

// The stand-in services, one process per test.
struct FakeServices
{
    QProcess process;
    QStringList lines;

    explicit FakeServices(const QStringList &services)
    {
        process.start(QStringLiteral(LUMORA_FAKE_SCREENSAVER_PATH), services);
        process.waitForStarted();
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            while (process.canReadLine())
                lines.append(QString::fromUtf8(process.readLine()).trimmed());
        });
    }
    ~FakeServices()
    {
        process.kill();
        process.waitForFinished();
    }
    bool ready()
    {
        return QTest::qWaitFor([this] { return lines.contains(QStringLiteral("ready")); }, 10000);
    }
    // The calls received so far, "ready" left out.
    QStringList calls() const { return lines.mid(1); }
};

struct Viewer : AppRun
{
    MainWindow &main() { return app->mainWindow(); }
    FullscreenWindow &full() { return app->fullscreenWindow(); }
    ScreenSaverInhibitor &screenSaver() { return app->screenSaver(); }

    void openFullscreen()
    {
        main().show();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        QTest::mouseDClick(main().pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(full().isVisible());
    }
    void closeFullscreen()
    {
        QTest::keyClick(&full(), Qt::Key_Escape);
        QVERIFY(!full().isVisible());
    }
};

const QRegularExpression InhibitLine(QStringLiteral("^Inhibit (.+) \\| (.+) -> (\\d+)$"));
const QRegularExpression PortalLine(QStringLiteral("^PortalInhibit (\\d+) \\| (.+) -> (\\S+)$"));

} // namespace

class TestScreenSaver : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void heldWhileFullscreenShows();
    void portalWhereNoScreenSaverService();
    void noServiceAtAll();
    void closedBeforeTheAnswer();
};

void TestScreenSaver::initTestCase()
{
    QVERIFY2(privateBus && !privateBus->address.isEmpty(), "dbus-daemon did not start");
    QCOMPARE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), privateBus->address);
}

void TestScreenSaver::heldWhileFullscreenShows()
{
    FakeServices fake({QStringLiteral("screensaver"), QStringLiteral("portal")});
    QVERIFY(fake.ready());
    Viewer v;
    QCOMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::None);
    QVERIFY(fake.calls().isEmpty());

    v.openFullscreen();
    QTRY_COMPARE(fake.calls().size(), 1);
    const QRegularExpressionMatch first = InhibitLine.match(fake.calls().at(0));
    QVERIFY2(first.hasMatch(), qPrintable(fake.calls().at(0)));
    QCOMPARE(first.captured(1), QCoreApplication::applicationName());
    QCOMPARE(first.captured(2), ScreenSaverInhibitor::Reason);
    QTRY_COMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::ScreenSaver);

    // Hidden: the same cookie goes back; the portal was never asked.
    v.closeFullscreen();
    QTRY_COMPARE(fake.calls().size(), 2);
    QCOMPARE(fake.calls().at(1), QStringLiteral("UnInhibit ") + first.captured(3));
    QCOMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::None);

    // Shown again, then the program ends while it shows: released before the end.
    v.openFullscreen();
    QTRY_COMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::ScreenSaver);
    const QRegularExpressionMatch second = InhibitLine.match(fake.calls().at(2));
    QVERIFY(second.hasMatch());
    QVERIFY(second.captured(3) != first.captured(3));
    v.app->shutdown();
    QCOMPARE(v.exits, QList<int>{0});
    QTRY_COMPARE(fake.calls().size(), 4);
    QCOMPARE(fake.calls().at(3), QStringLiteral("UnInhibit ") + second.captured(3));
}

void TestScreenSaver::portalWhereNoScreenSaverService()
{
    FakeServices fake({QStringLiteral("portal")});
    QVERIFY(fake.ready());
    Viewer v;
    v.openFullscreen();
    QTRY_COMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::Portal);
    QCOMPARE(fake.calls().size(), 1);
    const QRegularExpressionMatch m = PortalLine.match(fake.calls().at(0));
    QVERIFY2(m.hasMatch(), qPrintable(fake.calls().at(0)));
    QCOMPARE(m.captured(1), QStringLiteral("8")); // the session going idle
    QCOMPARE(m.captured(2), ScreenSaverInhibitor::Reason);

    v.closeFullscreen();
    QTRY_COMPARE(fake.calls().size(), 2);
    QCOMPARE(fake.calls().at(1), QStringLiteral("Close ") + m.captured(3));
    QCOMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::None);
}

void TestScreenSaver::noServiceAtAll()
{
    StderrCapture errors;
    Viewer v;
    QSignalSpy answered(&v.screenSaver(), &ScreenSaverInhibitor::routeChanged);
    v.openFullscreen();
    // Both services asked in turn, neither there: the window shows all the same.
    QTRY_COMPARE(answered.size(), 1);
    QCOMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::None);
    QVERIFY(v.full().isVisible());
    v.closeFullscreen();
    QVERIFY(v.main().isVisible());
    // Nor an X server or a compositor to ask: said once, not at every fullscreen view.
    v.openFullscreen();
    QTRY_COMPARE(answered.size(), 2);
    v.closeFullscreen();
    QCOMPARE(errors.lines().filter(QLatin1String(ScreenSaverInhibitor::NothingKeepsTheScreenOn)).size(), 1);
}

void TestScreenSaver::closedBeforeTheAnswer()
{
    FakeServices fake({QStringLiteral("screensaver")});
    QVERIFY(fake.ready());
    Viewer v;
    // Open and close before the service could answer: the request it grants later is
    // given back at once, and nothing stays held.
    v.openFullscreen();
    v.closeFullscreen();
    v.openFullscreen();
    v.closeFullscreen();
    QTRY_COMPARE(fake.calls().size(), 2);
    const QRegularExpressionMatch m = InhibitLine.match(fake.calls().at(0));
    QVERIFY2(m.hasMatch(), qPrintable(fake.calls().at(0)));
    QCOMPARE(fake.calls().at(1), QStringLiteral("UnInhibit ") + m.captured(3));
    QTest::qWait(200);
    QCOMPARE(fake.calls().size(), 2);
    QCOMPARE(v.screenSaver().route(), ScreenSaverInhibitor::Route::None);
}

int main(int argc, char *argv[])
{
    PrivateBus bus;
    privateBus = &bus;
    QApplication app(argc, argv);
    TestScreenSaver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screensaver.moc"
