// The real lumora-viewer binary on a real Wayland compositor (a headless sway of the test's
// own, 1280 x 800) against a local lumora-camserver, watched only from outside: sway's tree
// tells the windows' titles, application id, places, fullscreen state and whether they keep
// the screen from going idle; grim shows the output; wtype types the keys.
//
// The one cam's picture is a flat bright colour of the output's proportions, so the
// fullscreen picture fills the output and the Info-Bar, dark grey at 75 % opacity, shows a
// known blend of the two along the edge of the output it lies at. Its checks are reported
// together at the end, so a wrong panel does not hide what follows it.
#include "camserverprocess.h"
#include "swaysession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

namespace {

const QSize Output(1280, 800);
const QString CamTitle = QStringLiteral("Flat Cam - lumora viewer 5");
const QString AppId = QStringLiteral("io.lumora.Viewer");
constexpr QRgb Flat = qRgb(240, 200, 40);
constexpr int PanelGrey = 32;
constexpr int PanelAlpha = 191;
constexpr int Tolerance = 6;

int blend(int picture)
{
    return (PanelGrey * PanelAlpha + picture * (255 - PanelAlpha) + 127) / 255;
}

const QRgb Blended = qRgb(blend(qRed(Flat)), blend(qGreen(Flat)), blend(qBlue(Flat)));

bool near(QRgb seen, QRgb wanted)
{
    return std::abs(qRed(seen) - qRed(wanted)) <= Tolerance && std::abs(qGreen(seen) - qGreen(wanted)) <= Tolerance
        && std::abs(qBlue(seen) - qBlue(wanted)) <= Tolerance;
}

// The screen's edges: a few pixels in from the left and the right, at three heights.
enum class Edge { Left, Right };

bool edgeIs(const QImage &shot, Edge edge, QRgb wanted)
{
    const int x = edge == Edge::Left ? 6 : shot.width() - 7;
    for (int y : {shot.height() / 4, shot.height() / 2, shot.height() * 3 / 4})
        if (!near(shot.pixel(x, y), wanted))
            return false;
    return true;
}

QString describeEdges(const QImage &shot)
{
    if (shot.isNull())
        return QStringLiteral("no picture of the output");
    const int y = shot.height() / 2;
    return QStringLiteral("left edge %1, right edge %2 (panel %3, picture %4)")
        .arg(QColor(shot.pixel(6, y)).name(), QColor(shot.pixel(shot.width() - 7, y)).name(), QColor(Blended).name(),
             QColor(Flat).name());
}

QString describe(const QList<QJsonObject> &windows)
{
    QStringList lines;
    for (const QJsonObject &w : windows) {
        const QRect r = SwaySession::rectOf(w);
        lines << QStringLiteral("\"%1\" (%2) %3,%4 %5x%6 fullscreen %7 inhibit_idle %8 focused %9")
                     .arg(w.value(QStringLiteral("name")).toString(), w.value(QStringLiteral("app_id")).toString())
                     .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                     .arg(w.value(QStringLiteral("fullscreen_mode")).toInt())
                     .arg(w.value(QStringLiteral("inhibit_idle")).toBool())
                     .arg(w.value(QStringLiteral("focused")).toBool());
    }
    return lines.isEmpty() ? QStringLiteral("no windows") : lines.join(QStringLiteral("; "));
}

std::optional<QJsonObject> findWindow(const QList<QJsonObject> &windows, const std::function<bool(const QJsonObject &)> &match)
{
    for (const QJsonObject &w : windows)
        if (match(w))
            return w;
    return std::nullopt;
}

bool isFullscreen(const QJsonObject &w)
{
    return w.value(QStringLiteral("fullscreen_mode")).toInt() == 1;
}

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fullscreenWindowOnSway();
    void cleanupTestCase();

private:
    // Polls until check() holds while the viewer runs; false with the reason otherwise.
    bool waitFor(const std::function<bool()> &check, int timeoutMs, QString *why) const;
    QString viewerLog() const;

    SwaySession m_sway;
    QTemporaryDir m_files;
    QTemporaryDir m_workDir;
    std::unique_ptr<CamServerProcess> m_server;
    QProcess m_viewer;
};

void TestWayland::initTestCase()
{
    QString why;
    if (!m_sway.start(Output, &why))
        QSKIP(qPrintable(QStringLiteral("no Wayland compositor to run on: ") + why));
    for (const char *tool : {"grim", "wtype", "swaymsg"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));

    QVERIFY(m_files.isValid() && m_workDir.isValid());
    const QDir files(m_files.path());
    QVERIFY(files.mkpath(QStringLiteral("pictures")) && files.mkpath(QStringLiteral("comments")));
    QImage picture(Output / 2, QImage::Format_RGB32);
    picture.fill(Flat);
    QVERIFY(picture.save(files.filePath(QStringLiteral("pictures/flat.png")), "PNG"));
    // No comments, so no comment bar covers part of the picture.
    QFile comments(files.filePath(QStringLiteral("comments/1.txt")));
    QVERIFY(comments.open(QIODevice::WriteOnly));
    comments.close();
    QFile catalogue(files.filePath(QStringLiteral("camlist.txt")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write("1;Flat Cam;{base}/flat.png;A flat bright picture;;4;0;7;tester\r\n");
    catalogue.close();
    m_server = std::make_unique<CamServerProcess>(QStringList{
        QStringLiteral("--catalogue"), catalogue.fileName(), QStringLiteral("--pictures"),
        files.filePath(QStringLiteral("pictures")), QStringLiteral("--comments"), files.filePath(QStringLiteral("comments"))});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));

    QFile config(QDir(m_workDir.path()).filePath(QStringLiteral("config.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("url=" + m_server->baseUrl().toLatin1() + "\r\n");
    config.close();
}

bool TestWayland::waitFor(const std::function<bool()> &check, int timeoutMs, QString *why) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (check())
            return true;
        if (m_viewer.state() != QProcess::Running) {
            *why = QStringLiteral("the viewer ended (exit code %1): %2").arg(m_viewer.exitCode()).arg(viewerLog());
            return false;
        }
        if (deadline.hasExpired()) {
            *why = QStringLiteral("not within %1 ms").arg(timeoutMs);
            return false;
        }
        QThread::msleep(100);
    }
}

QString TestWayland::viewerLog() const
{
    QFile log(m_files.filePath(QStringLiteral("viewer.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

// The main window maps with the cam's title and the program's application id; F11 gives a
// fullscreen window over the whole output that keeps the screen on, with the Info-Bar at an
// edge, switched off and on by "i"; F11 goes back to the main window, which lets the screen
// go idle again; a wall filling the output keeps it on as well, and steps back for the cam
// chosen on it; Ctrl+Q ends the program well.
void TestWayland::fullscreenWindowOnSway()
{
    QProcessEnvironment env = m_sway.clientEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    // Nothing of the user's own config or cache folders may take part.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_files.filePath(QStringLiteral("no-config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_files.filePath(QStringLiteral("no-cache")));
    m_viewer.setProcessEnvironment(env);
    m_viewer.setWorkingDirectory(m_workDir.path());
    m_viewer.setProcessChannelMode(QProcess::MergedChannels);
    m_viewer.setStandardOutputFile(m_files.filePath(QStringLiteral("viewer.log")));
    m_viewer.start(QStringLiteral(LUMORA_VIEWER_PATH), {});
    QVERIFY2(m_viewer.waitForStarted(5000), qPrintable(m_viewer.errorString()));

    QList<QJsonObject> windows;
    QString why;
    const auto mainWindowFocused = [&] {
        windows = m_sway.windows();
        return findWindow(windows, [](const QJsonObject &w) {
                   return w.value(QStringLiteral("name")).toString() == CamTitle && !isFullscreen(w)
                       && w.value(QStringLiteral("focused")).toBool();
               }).has_value();
    };
    QVERIFY2(waitFor(mainWindowFocused, 20000, &why),
             qPrintable(QStringLiteral("no main window titled \"%1\": %2; %3").arg(CamTitle, why, describe(windows))));
    const QJsonObject main = *findWindow(windows, [](const QJsonObject &w) {
        return w.value(QStringLiteral("name")).toString() == CamTitle;
    });
    QCOMPARE(main.value(QStringLiteral("app_id")).toString(), AppId);
    QVERIFY(!main.value(QStringLiteral("inhibit_idle")).toBool());

    // Fullscreen: the whole output, kept on while it shows, the picture all over it.
    QVERIFY2(m_sway.type({QStringLiteral("-k"), QStringLiteral("F11")}, &why), qPrintable(why));
    std::optional<QJsonObject> full;
    const auto fullscreenFocused = [&] {
        windows = m_sway.windows();
        full = findWindow(windows, [](const QJsonObject &w) {
            return isFullscreen(w) && w.value(QStringLiteral("focused")).toBool();
        });
        return full.has_value();
    };
    QVERIFY2(waitFor(fullscreenFocused, 10000, &why), qPrintable(QStringLiteral("no fullscreen window: %1; %2").arg(why, describe(windows))));
    QCOMPARE(full->value(QStringLiteral("app_id")).toString(), AppId);
    QCOMPARE(SwaySession::rectOf(*full), QRect(QPoint(0, 0), Output));
    QVERIFY2(waitFor([&] { return fullscreenFocused() && full->value(QStringLiteral("inhibit_idle")).toBool(); }, 5000, &why),
             qPrintable(QStringLiteral("the fullscreen window lets the screen go idle: %1; %2").arg(why, describe(windows))));
    // Beside the middle and the edges, where a panel may lie.
    QImage shot;
    const auto pictureShows = [&] {
        shot = m_sway.grab();
        return !shot.isNull() && near(shot.pixel(Output.width() * 5 / 16, Output.height() / 2), Flat)
            && near(shot.pixel(Output.width() * 11 / 16, Output.height() / 2), Flat);
    };
    QVERIFY2(waitFor(pictureShows, 10000, &why),
             qPrintable(QStringLiteral("the picture does not fill the output: %1; %2").arg(why, describeEdges(shot))));

    // The Info-Bar lies over the picture at one edge, translucent; "i" switches it off and on.
    QStringList infoBarProblems;
    const auto panelAtOneEdge = [&] {
        shot = m_sway.grab();
        return !shot.isNull()
            && ((edgeIs(shot, Edge::Left, Blended) && edgeIs(shot, Edge::Right, Flat))
                || (edgeIs(shot, Edge::Right, Blended) && edgeIs(shot, Edge::Left, Flat)));
    };
    const auto noPanel = [&] {
        shot = m_sway.grab();
        return !shot.isNull() && edgeIs(shot, Edge::Left, Flat) && edgeIs(shot, Edge::Right, Flat);
    };
    if (!waitFor(panelAtOneEdge, 5000, &why))
        infoBarProblems << QStringLiteral("shown: no translucent panel at one edge (%1): %2").arg(why, describeEdges(shot));
    QVERIFY2(m_sway.type({QStringLiteral("i")}, &why), qPrintable(why));
    if (!waitFor(noPanel, 5000, &why))
        infoBarProblems << QStringLiteral("after \"i\": a panel still at an edge (%1): %2").arg(why, describeEdges(shot));
    QVERIFY2(m_sway.type({QStringLiteral("i")}, &why), qPrintable(why));
    if (!waitFor(panelAtOneEdge, 5000, &why))
        infoBarProblems << QStringLiteral("after \"i\" again: no translucent panel at one edge (%1): %2").arg(why, describeEdges(shot));

    // Back in the main window the screen may go idle again.
    QVERIFY2(waitFor(fullscreenFocused, 5000, &why), qPrintable(QStringLiteral("the fullscreen window lost the keys: %1; %2").arg(why, describe(windows))));
    QVERIFY2(m_sway.type({QStringLiteral("-k"), QStringLiteral("F11")}, &why), qPrintable(why));
    QVERIFY2(waitFor(mainWindowFocused, 10000, &why),
             qPrintable(QStringLiteral("the main window did not come back: %1; %2").arg(why, describe(windows))));
    const auto nothingInhibits = [&] {
        windows = m_sway.windows();
        return !findWindow(windows, [](const QJsonObject &w) {
                    return isFullscreen(w) || w.value(QStringLiteral("inhibit_idle")).toBool();
                }).has_value();
    };
    QVERIFY2(waitFor(nothingInhibits, 5000, &why),
             qPrintable(QStringLiteral("still fullscreen or keeping the screen on: %1; %2").arg(why, describe(windows))));

    // The wall filling the output keeps the screen on too; Enter on its tile takes it back
    // to its size, so the main window with the tile's cam shows without being raised.
    QVERIFY2(m_sway.type({QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-k"), QStringLiteral("g"),
                          QStringLiteral("-m"), QStringLiteral("ctrl")}, &why),
             qPrintable(why));
    const auto wallIs = [&](bool fullscreen) {
        windows = m_sway.windows();
        return findWindow(windows, [fullscreen](const QJsonObject &w) {
                   return w.value(QStringLiteral("name")).toString().startsWith(QLatin1String("Wall"))
                       && w.value(QStringLiteral("focused")).toBool() && isFullscreen(w) == fullscreen
                       && w.value(QStringLiteral("inhibit_idle")).toBool() == fullscreen;
               }).has_value();
    };
    QVERIFY2(waitFor([&] { return wallIs(false); }, 10000, &why), qPrintable(QStringLiteral("no wall: %1; %2").arg(why, describe(windows))));
    QVERIFY2(m_sway.type({QStringLiteral("-k"), QStringLiteral("F11")}, &why), qPrintable(why));
    QVERIFY2(waitFor([&] { return wallIs(true); }, 10000, &why),
             qPrintable(QStringLiteral("the wall does not fill the output and keep it on: %1; %2").arg(why, describe(windows))));
    QVERIFY2(m_sway.type({QStringLiteral("-k"), QStringLiteral("Return")}, &why), qPrintable(why));
    const auto mainShowsBesideTheWall = [&] {
        return wallIs(false) && findWindow(windows, [](const QJsonObject &w) {
                                    return w.value(QStringLiteral("name")).toString() == CamTitle
                                        && w.value(QStringLiteral("visible")).toBool();
                                }).has_value();
    };
    QVERIFY2(waitFor(mainShowsBesideTheWall, 10000, &why),
             qPrintable(QStringLiteral("the main window stays hidden behind the wall: %1; %2").arg(why, describe(windows))));

    QVERIFY2(m_sway.type({QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-k"), QStringLiteral("q"),
                          QStringLiteral("-m"), QStringLiteral("ctrl")}, &why),
             qPrintable(why));
    QVERIFY2(m_viewer.waitForFinished(10000), qPrintable(QStringLiteral("the viewer still runs 10 s after Ctrl+Q; %1").arg(describe(m_sway.windows()))));
    QCOMPARE(m_viewer.exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_viewer.exitCode() == 0, qPrintable(QStringLiteral("exit code %1: %2").arg(m_viewer.exitCode()).arg(viewerLog())));
    // The compositor kept the screen on, so the program had nothing to complain of.
    QVERIFY2(!viewerLog().contains(QLatin1String("nothing keeps the screen on")), qPrintable(viewerLog()));

    QVERIFY2(infoBarProblems.isEmpty(), qPrintable(infoBarProblems.join(QStringLiteral("; "))));
}

void TestWayland::cleanupTestCase()
{
    if (m_viewer.state() != QProcess::NotRunning) {
        m_viewer.kill();
        m_viewer.waitForFinished(5000);
    }
    m_sway.stop();
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
