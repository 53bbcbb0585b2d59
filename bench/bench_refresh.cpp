// Times one whole refresh against the local lumora-camserver — the picture's download (a
// 1920 x 1080 and a 3840 x 2160 JPEG), the comments download and table, the decode, the
// scaling and the draw up to the picture area's paint, deleting the working files —
// against djpeg decoding the same file (whole, as djpeg does by default) in the same run,
// and prints the ratios and the goal lines:
//   REFRESH_1080P: the 1080p refresh against djpeg, wall time;
//   REFRESH_2160P: the 2160p refresh against djpeg, wall time;
//   REFRESH_HIDPI: the 1080p refresh on a screen of device pixel ratio 2 against the same
//     refresh at ratio 1.
// Beside the whole refresh each of its parts is timed on its own, on the same bytes and
// areas and by the same calls as the refresh makes them (see namespace part), and what is
// left of the whole is printed as the rest.
//
// The JPEGs are made here (the photo-like scene of bench_picture, quality 85) and served as
// fixed files through --pictures, so every refresh downloads the same bytes and the server
// spends no time rendering. The catalogue has one cam per picture; their ids are demo cams',
// so /comments.php answers with those cams' demo comments. Before each timed refresh its cam
// is selected anew, so the bytes are not taken for the picture already shown and every
// refresh decodes and draws. The server's request log must show exactly the requests made
// here, else the benchmark fails (exit 1).
//
// The application runs on the offscreen platform with a 1920 x 1080 screen and the main
// window maximised, so the main picture area is 1672 x 910; the fullscreen window is
// hidden, as it is while the main window shows. The figures at device pixel ratio 2 come
// from this program run again as a child process (--pixel-ratio 2 --in-step), as the
// screen's ratio must be set before the application object exists; it sets up beside this
// one and then measures in step with it, a round here and a round there in turn. Each
// figure is the median of several rounds after warm-up rounds; a round times every step
// once, so a machine whose load changes during the run stretches all of them alike. With
// --pixel-ratio R alone, only that ratio is measured. djpeg (package libjpeg-turbo-progs;
// without it the ratios against it are left out) runs as a process writing to /dev/null,
// so its figure includes starting the process; that start alone (djpeg on a 16 x 16 JPEG)
// is printed too, and the ratios are given both ways. Only 127.0.0.1 is contacted.
//
// Exit status: 0 when every check held, 1 when one failed (requests, pictures, sizes,
// working files left), 2 when the benchmark could not be set up.
#include "processtime.h"
#include "benchapp.h"
#include "benchpictures.h"
#include "pictureparts.h"
#include "app/application.h"
#include "camserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
#include "core/geometry/devicepixels.h"
#include "core/rules/fetchrules.h"
#include "platform/download.h"
#include "platform/picturedecoder.h"
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "wholefiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace {

constexpr int WarmUps = 2;
constexpr int Runs = 21;
const QSize Screen(1920, 1080);
const QSize MainArea(1672, 910); // the maximised main window's picture area, logical pixels

// The figure the parent reads from the child's output; not shown.
const char *const FigureTag = "figure: ";

struct Cam
{
    const char *id; // a demo cam with comments; only its id is used
    const char *file;
    QSize size;
};
const Cam Cams[] = {{"1006", "1080p.jpg", QSize(1920, 1080)}, {"1023", "2160p.jpg", QSize(3840, 2160)}};

struct Timing
{
    double median = 0;
    double min = 0;
    double max = 0;
    double cpu = 0; // median processor time, ms
};

// One thing timed: `before` and `after` run around each timed run of `work`, outside the
// time. cpuOf: RUSAGE_SELF, or RUSAGE_CHILDREN for work that runs a process.
struct Step
{
    std::function<void()> work;
    std::function<void()> before = {};
    std::function<void()> after = {};
    int cpuOf = RUSAGE_SELF;
    std::vector<double> times = {};
    std::vector<double> cpu = {};

    Timing timing() const
    {
        std::vector<double> t = times, c = cpu;
        std::sort(t.begin(), t.end());
        std::sort(c.begin(), c.end());
        return {t[t.size() / 2], t.front(), t.back(), c[c.size() / 2]};
    }
};

// Keeps two runs of the benchmark (at two pixel ratios) in step, round by round, so that
// both see the machine as busy as it is at that moment and never measure at once.
class RoundSync
{
public:
    virtual ~RoundSync() = default;
    virtual void beforeRound(int round) = 0;
    virtual void afterRound(int round) = 0;
};

// The driving side: after each round of its own it lets the partner run one and waits for
// it. The partner's other output is kept, to be shown after this run's.
class Partner : public RoundSync
{
public:
    bool start(const QStringList &arguments)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(), arguments);
        m_inStep = m_process.waitForStarted();
        return m_inStep;
    }
    // A partner that has not come to the cam's first round has failed it: it is not waited
    // for any more.
    void beforeRound(int round) override
    {
        if (round == 0)
            waitFor("ready");
    }
    void afterRound(int) override
    {
        if (m_inStep && m_process.write("go\n") == 3)
            waitFor("done");
    }
    // The partner's output, once it has ended; its exit status, -1 when it did not end well.
    QByteArray finish(int *exitCode)
    {
        m_process.closeWriteChannel();
        const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(30 * 60 * 1000);
        m_output += m_process.readAllStandardOutput();
        *exitCode = ended && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        return m_output;
    }

private:
    void waitFor(const QByteArray &word)
    {
        while (m_inStep) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine();
                if (line.trimmed() == word)
                    return;
                m_output += line;
            }
            m_inStep = m_process.waitForReadyRead(5 * 60 * 1000);
        }
    }

    QProcess m_process;
    QByteArray m_output;
    bool m_inStep = false;
};

// The driven side: each round waits for the word to go; without a partner any more (its
// end of the pipe closed) it runs on alone.
class DrivenRounds : public RoundSync
{
public:
    void beforeRound(int round) override
    {
        if (m_alone)
            return;
        if (round == 0)
            std::printf("ready\n");
        std::fflush(stdout);
        char word[16];
        m_alone = std::fgets(word, sizeof word, stdin) == nullptr;
    }
    void afterRound(int) override
    {
        if (m_alone)
            return;
        std::printf("done\n");
        std::fflush(stdout);
    }

private:
    bool m_alone = false;
};

// Runs every step once per round, warm-up rounds first and untimed.
void measure(const std::vector<Step *> &steps, RoundSync *sync)
{
    for (int round = 0; round < WarmUps + Runs; ++round) {
        if (sync)
            sync->beforeRound(round);
        for (Step *step : steps) {
            if (step->before)
                step->before();
            QElapsedTimer t;
            const double cpuBefore = cpuMs(step->cpuOf);
            t.start();
            step->work();
            const double ms = t.nsecsElapsed() / 1e6;
            const double cpu = cpuMs(step->cpuOf) - cpuBefore;
            if (step->after)
                step->after();
            if (round >= WarmUps) {
                step->times.push_back(ms);
                step->cpu.push_back(cpu);
            }
        }
        if (sync)
            sync->afterRound(round);
    }
}

// The system's load average over the last minute, -1 when unknown.
double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    bool ok = file.open(QIODevice::ReadOnly);
    const double load = ok ? file.readLine().split(' ').value(0).toDouble(&ok) : 0;
    return ok ? load : -1;
}

void printRow(const char *what, const Timing &t)
{
    std::printf("  %-44s %9.2f %9.2f %9.2f %9.2f\n", what, t.median, t.min, t.max, t.cpu);
}

// A request as the server logs it: path and query.
QString target(const QString &url)
{
    return QUrl(url).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded);
}

// Counts the paints of a widget, so that a refresh counts as over only once its picture
// has been painted.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

// The parts of a refresh, each made by the same calls as the refresh makes it (the scale
// and the draw, which a live cam's frames share, in pictureparts.h). When the refresh's own
// steps change, these follow.
namespace part {

// CamImageFetch::fetchCamImage's picture request.
DownloadResult downloadPicture(Application &app, const QString &address)
{
    return bench::download(app.transfer(), DownloadRequest{address, PictureMaxBytes, 10000});
}

// CamImageFetch's comments request.
DownloadResult downloadComments(Application &app, const QString &serverUrl, const QString &camId)
{
    DownloadRequest comments{fetch_rules::commentsAddress(serverUrl, camId), CatalogueMaxBytes, 10000};
    comments.compressed = true;
    return bench::download(app.transfer(), comments);
}

} // namespace part

namespace {

struct Bench
{
    Application &app;
    CamServerProcess &server;
    QDir root;
    QDir workDir;
    QString djpeg;
    qreal pixelRatio = 1;
    RoundSync *sync = nullptr;
};

// The medians a goal line is made of, ms; 0 for one not measured.
struct Figures
{
    double refresh = 0;
    double djpeg = 0;
};

// Measures the refreshes of cam `index` and prints its table; false, with the reason in
// failure, when a check failed.
bool measureCam(Bench &b, int index, Figures &figures, QString &failure)
{
    const Cam &cam = Cams[index];
    Application &app = b.app;
    MainWindow &mainWindow = app.mainWindow();
    FullscreenWindow &fullscreen = app.fullscreenWindow();
    RunningState &state = app.state();
    const auto quiet = [&] {
        // No heartbeat: only the refreshes asked for here run.
        app.heartbeat().timer()->stop();
        QCoreApplication::processEvents();
    };
    const QString pictureUrl = b.server.baseUrl() + QStringLiteral("/") + QLatin1String(cam.file);
    const QString camId = QLatin1String(cam.id);
    // Every request this cam's measurement makes, by target; the server must have seen these.
    std::map<QString, int> expected;
    const QString pictureTarget = target(pictureUrl);
    const QString commentsTarget = target(fetch_rules::commentsAddress(state.catalogue.serverUrl(), camId));
    b.server.resetLog();

    app.selection().rowClicked(index);
    quiet();
    if (state.selection.pictureAddress() != pictureUrl) {
        failure = QStringLiteral("cam %1 points at %2, not at %3").arg(index).arg(state.selection.pictureAddress(), pictureUrl);
        return false;
    }

    // The picture as the viewer receives it, kept for djpeg and the decode.
    const DownloadResult once = part::downloadPicture(app, pictureUrl);
    ++expected[pictureTarget];
    QFile servedFile(b.root.filePath(QStringLiteral("pictures/") + QLatin1String(cam.file)));
    if (!once.ok() || !servedFile.open(QIODevice::ReadOnly) || once.body != servedFile.readAll()) {
        failure = QStringLiteral("the downloaded picture differs from the served file (%1)").arg(once.errorText);
        return false;
    }
    const QString fetched = b.root.filePath(QStringLiteral("fetched-") + QLatin1String(cam.file));
    writeFile(fetched, once.body);
    if (!b.djpeg.isEmpty() && !bench::runDjpeg(b.djpeg, fetched)) {
        failure = QStringLiteral("djpeg failed on %1").arg(fetched);
        return false;
    }

    // The refresh counts as over once the main picture area has painted what it drew.
    PaintCounter painted;
    mainWindow.pictureArea()->installEventFilter(&painted);
    int paintsAtEnd = 0;
    QObject context;
    QObject::connect(&app.fetch(), &CamImageFetch::refreshEnded, &context, [&] { paintsAtEnd = painted.paints; });
    bool paintMissing = false;
    const auto refresh = [&] {
        bench::refresh(app);
        QElapsedTimer waited;
        waited.start();
        QTimer wake; // so that the wait for events ends in time
        wake.start(50);
        while (painted.paints == paintsAtEnd && !paintMissing) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            paintMissing = waited.elapsed() > 5000;
        }
        ++expected[pictureTarget];
        ++expected[commentsTarget];
    };

    // One refresh first, so the areas have their sizes and the result can be checked.
    refresh();
    quiet();
    const QList<DrawingArea> areas = part::areasDrawnAtOnce(mainWindow, fullscreen);
    const QImage shown = mainWindow.pictureArea()->picture();
    const QImage surfaceAfterRefresh = mainWindow.pictureArea()->surface().copy();
    if (shown.isNull() || state.selection.commentTable().size() < 2 || state.selection.commentTable().first().isEmpty()) {
        failure = QStringLiteral("the refresh did not show the picture and its comments");
        return false;
    }
    const qsizetype comments = state.selection.commentTable().size() - 1;
    // The main area, as large as the screen allows, alone: the fullscreen window is hidden.
    const QSize deviceArea = deviceSize(MainArea, b.pixelRatio);
    if (areas.size() != 1 || areas.first().size != MainArea || areas.first().pixelRatio != b.pixelRatio
        || mainWindow.pictureArea()->surface().size() != deviceArea) {
        failure = QStringLiteral("the refresh draws into %1 areas, the main one %2 x %3 at ratio %4 with a %5 x %6 surface")
                      .arg(areas.size())
                      .arg(mainWindow.pictureArea()->pictureAreaSize().width())
                      .arg(mainWindow.pictureArea()->pictureAreaSize().height())
                      .arg(mainWindow.pictureArea()->pictureAreaPixelRatio())
                      .arg(mainWindow.pictureArea()->surface().width())
                      .arg(mainWindow.pictureArea()->surface().height());
        return false;
    }
    // The decode part must make the very picture the refresh showed.
    const ViewScaleMode mode = state.switches.scaleMode();
    const part::Decoded decoded = part::decode(fetched, once.body, areas, mode);
    const int reduction = decoded.reduction;
    const LoadedPicture made = part::scale(decoded, areas, mode);
    if (!made.picture || made.picture->size() != shown.size() || decoded.size() * reduction != cam.size) {
        failure = QStringLiteral("the decode part makes another picture than the refresh shows");
        return false;
    }
    // A refresh draws a picture just decoded, so each draw here gets a fresh copy: nothing
    // kept from drawing the previous one may help it.
    part::Decoded fresh;
    LoadedPicture prepared;
    const auto freshPicture = [&] {
        fresh = part::freshCopy(decoded);
        prepared = part::scale(fresh, areas, mode);
    };
    freshPicture();
    part::draw(mainWindow, fullscreen, std::move(prepared));
    if (mainWindow.pictureArea()->surface() != surfaceAfterRefresh) {
        failure = QStringLiteral("the draw part paints another picture than the refresh");
        return false;
    }

    // The whole refresh and its parts, a round of each at a time.
    int failures = 0;
    qint64 lastPicture = shown.cacheKey();
    Step whole{refresh,
               [&] {
                   app.selection().rowClicked(index);
                   quiet();
               },
               [&] {
                   quiet();
                   // Every refresh must have decoded and drawn a picture of its own.
                   const QImage picture = mainWindow.pictureArea()->picture();
                   if (picture.isNull() || picture.cacheKey() == lastPicture || picture.size() != shown.size()
                       || state.selection.commentTable().size() - 1 != comments || paintMissing)
                       ++failures;
                   lastPicture = picture.cacheKey();
                   paintMissing = false;
               }};
    Step pictureDl{[&] {
        (void)part::downloadPicture(app, pictureUrl);
        ++expected[pictureTarget];
    }};
    Step commentsDl{[&] {
        (void)part::downloadComments(app, state.catalogue.serverUrl(), camId);
        ++expected[commentsTarget];
    }};
    Step decode{[&] { (void)part::decode(fetched, once.body, areas, mode); }};
    Step scale{[&] { prepared = part::scale(fresh, areas, mode); }, [&] { fresh = part::freshCopy(decoded); }};
    Step draw{[&] { part::draw(mainWindow, fullscreen, std::move(prepared)); }, freshPicture};
    // For information: the decode at full size, and the paint that ends the draw alone.
    Step fullDecode{[&] { (void)part::decode(fetched, once.body, {}, mode); }};
    Step paint{[&] { mainWindow.pictureArea()->repaint(); }};
    const QString tiny = b.root.filePath(QStringLiteral("tiny.jpg"));
    Step djpegStart{[&] { bench::runDjpeg(b.djpeg, tiny); }, {}, {}, RUSAGE_CHILDREN};
    Step djpeg{[&] { bench::runDjpeg(b.djpeg, fetched); }, {}, {}, RUSAGE_CHILDREN};
    std::vector<Step *> steps{&whole, &pictureDl, &commentsDl, &decode, &scale, &draw, &fullDecode, &paint};
    if (!b.djpeg.isEmpty())
        steps.insert(steps.end(), {&djpegStart, &djpeg});
    measure(steps, b.sync);
    mainWindow.pictureArea()->removeEventFilter(&painted);

    QStringList leftovers = b.workDir.entryList(QDir::Files);
    leftovers.removeAll(QStringLiteral("config.ini"));

    // The server must have seen exactly the requests made here, all answered in full.
    std::map<QString, int> seen;
    QStringList odd;
    for (const QString &line : b.server.requests()) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.size() != 3 || fields.at(0) != QLatin1String("GET") || fields.at(2) != QLatin1String("200"))
            odd << line;
        else
            ++seen[fields.at(1)];
    }

    std::printf("\n%s: %dx%d, %lld kB; decoded at %dx%d (1/%d)%s for the %dx%d main area, %dx%d device pixels; "
                "%lld comment lines\n",
                cam.file, cam.size.width(), cam.size.height(), QFileInfo(fetched).size() / 1024, decoded.size().width(),
                decoded.size().height(), reduction, decoded.loaded.planes.isNull() ? "" : " as planes", MainArea.width(),
                MainArea.height(), deviceArea.width(),
                deviceArea.height(), qlonglong(comments));
    std::printf("  requests: %d for %s, %d for %s\n", seen[pictureTarget], qPrintable(pictureTarget),
                seen[commentsTarget], qPrintable(commentsTarget));
    std::printf("  %-44s %9s %9s %9s %9s\n", "", "median ms", "min ms", "max ms", "cpu ms");
    const Timing parts[] = {pictureDl.timing(), commentsDl.timing(), decode.timing(), scale.timing(), draw.timing()};
    printRow("picture download", parts[0]);
    printRow("comments download", parts[1]);
    printRow("decode at the reduced size", parts[2]);
    printRow("scale (prepared on the decode worker)", parts[3]);
    printRow("draw (window thread, to the area's paint)", parts[4]);
    const Timing refreshed = whole.timing();
    double restMs = refreshed.median, restCpu = refreshed.cpu;
    for (const Timing &t : parts) {
        restMs -= t.median;
        restCpu -= t.cpu;
    }
    // The parts are timed as the refresh makes them: a part costing more on its own than
    // within the whole is timed wrongly.
    std::printf("  %-44s %9.2f %29.2f%s\n", "rest of the refresh", restMs, restCpu,
                restMs < 0 || restCpu < 0 ? "  (negative: a part is not timed as the refresh makes it)" : "");
    printRow("whole refresh (fetchCamImage to the paint)", refreshed);
    printRow("decode at full size", fullDecode.timing());
    printRow("the area's paint alone (the end of draw)", paint.timing());
    if (!b.djpeg.isEmpty()) {
        const Timing start = djpegStart.timing();
        const Timing reference = djpeg.timing();
        printRow("djpeg process start (16 x 16 JPEG)", start);
        printRow("djpeg on the same picture", reference);
        const double bare = reference.median - start.median;
        std::printf("  refresh / djpeg:                           %6.2f\n", refreshed.median / reference.median);
        std::printf("  refresh / djpeg without its process start: %6.2f  (djpeg %.2f ms)\n", refreshed.median / bare,
                    bare);
        // The viewer's processor time (the server's is not counted) against djpeg's.
        std::printf("  processor time, refresh / djpeg:           %6.2f  (without its start %.2f)\n",
                    refreshed.cpu / reference.cpu, refreshed.cpu / (reference.cpu - start.cpu));
        figures.djpeg = reference.median;
    }
    figures.refresh = refreshed.median;

    if (seen != expected || !odd.isEmpty()) {
        std::map<QString, int> all = expected;
        all.insert(seen.begin(), seen.end());
        QStringList counts;
        for (const auto &entry : all)
            counts << QStringLiteral("%1 x %2 (expected %3)").arg(seen[entry.first]).arg(entry.first).arg(expected[entry.first]);
        counts += odd;
        failure = QStringLiteral("the server saw other requests than were made: %1").arg(counts.join(QStringLiteral(", ")));
        return false;
    }
    if (failures != 0 || !leftovers.isEmpty()) {
        failure = QStringLiteral("%1 refreshes did not show a new picture and the comments; working files left: %2")
                      .arg(failures)
                      .arg(leftovers.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are allocated as the program allocates them.
    giveLargeBlocksBackWhenFreed();
    // --pixel-ratio R: this ratio alone. --in-step: driven round by round by a run of this
    // program on its standard input, to which it gives its figures.
    qreal pixelRatio = 1;
    bool alone = false;
    bool driven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pixel-ratio") == 0 && i + 1 < argc) {
            pixelRatio = QByteArray(argv[++i]).toDouble();
            alone = true;
        } else if (std::strcmp(argv[i], "--in-step") == 0) {
            driven = true;
        } else {
            pixelRatio = 0;
        }
    }
    if (pixelRatio <= 0) {
        std::fprintf(stderr, "usage: bench_refresh [--pixel-ratio R]\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    const QString screenFile = dir.filePath(QStringLiteral("screen.json"));
    writeFile(screenFile, QStringLiteral(R"({ "windowFrameMargins": false, "screens": [ { "name": "Screen1080",
        "x": 0, "y": 0, "width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": %3 } ] })")
                              .arg(Screen.width())
                              .arg(Screen.height())
                              .arg(pixelRatio)
                              .toUtf8());
    // The figures are those of this screen, whatever platform the caller has set.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toLocal8Bit());
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen->size() != Screen || screen->devicePixelRatio() != pixelRatio) {
        std::fprintf(stderr, "the screen is %dx%d at ratio %g, not %dx%d at ratio %g\n", screen->size().width(),
                     screen->size().height(), screen->devicePixelRatio(), Screen.width(), Screen.height(), pixelRatio);
        return 2;
    }

    // The run at device pixel ratio 2, set up beside this one and then measuring in step.
    Partner hidpi;
    DrivenRounds drivenRounds;
    RoundSync *sync = driven ? static_cast<RoundSync *>(&drivenRounds) : nullptr;
    if (!alone && !driven) {
        if (!hidpi.start({QStringLiteral("--pixel-ratio"), QStringLiteral("2"), QStringLiteral("--in-step")})) {
            std::fprintf(stderr, "cannot run this program again at device pixel ratio 2\n");
            return 2;
        }
        sync = &hidpi;
    }

    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty() && !driven)
        std::fprintf(stderr, "djpeg not found (Debian package libjpeg-turbo-progs): no ratios against it\n");

    // The served files: the pictures and a catalogue of one cam per picture.
    QDir root(dir.path());
    root.mkdir(QStringLiteral("pictures"));
    root.mkdir(QStringLiteral("work"));
    QByteArray catalogueText;
    for (const Cam &cam : Cams) {
        const QString served = root.filePath(QStringLiteral("pictures/") + QLatin1String(cam.file));
        QImageWriter writer(served, "jpeg");
        writer.setQuality(85);
        if (!writer.write(bench::scene(cam.size.width(), cam.size.height()))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(served));
            return 2;
        }
        catalogueText += QByteArray(cam.id) + ";Cam " + cam.file + ";{base}/" + cam.file + ";A big picture.;;3;12;0;bench\r\n";
    }
    bench::scene(16, 16).save(root.filePath(QStringLiteral("tiny.jpg")), "jpeg", 85);
    const QString catalogue = root.filePath(QStringLiteral("catalogue.txt"));
    writeFile(catalogue, catalogueText);

    // Each refresh must fetch and show the picture in full: no 304s.
    CamServerProcess server({QStringLiteral("--catalogue"), catalogue, QStringLiteral("--pictures"),
                             root.filePath(QStringLiteral("pictures")), QStringLiteral("--no-conditional")});
    if (!server.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server.errorString()));
        return 2;
    }

    const QDir workDir(root.filePath(QStringLiteral("work")));
    const std::unique_ptr<Application> started = bench::startAgainst(workDir, server.baseUrl());
    if (!started)
        return 2;
    Application &app = *started;
    app.heartbeat().timer()->stop();
    if (app.state().catalogue.camCount() != int(std::size(Cams))) {
        std::fprintf(stderr, "unexpected catalogue: %d cams\n", app.state().catalogue.camCount());
        return 2;
    }
    // Let the maximised window settle before anything is measured.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents();

    const double loadAtStart = loadAverage();
    if (!driven) {
        std::printf("pictures: JPEG, quality 85, served from fixed files by lumora-camserver on %s\n",
                    qPrintable(server.baseUrl()));
        std::printf("median of %d rounds after %d warm-up rounds%s\n", Runs, WarmUps,
                    sync ? ", a round at each pixel ratio in turn" : "");
    }
    std::printf("\n== device pixel ratio %g (screen %dx%d) ==\n", pixelRatio, Screen.width(), Screen.height());
    Bench b{app, server, root, workDir, djpeg, pixelRatio, sync};
    int result = 0;
    Figures figures[std::size(Cams)];
    for (int i = 0; i < int(std::size(Cams)); ++i) {
        QString failure;
        if (!measureCam(b, i, figures[i], failure)) {
            std::printf("\n%s: FAILED: %s\n", Cams[i].file, qPrintable(failure));
            figures[i] = Figures();
            result = 1;
        }
    }
    if (driven) {
        for (int i = 0; i < int(std::size(Cams)); ++i)
            std::printf("%s%s %.4f\n", FigureTag, Cams[i].file, figures[i].refresh);
        return result;
    }

    // The run at ratio 2: its tables, and its figures read back.
    Figures hidpiFigures[std::size(Cams)];
    if (!alone) {
        std::fflush(stdout);
        int exitCode = 0;
        for (const QByteArray &line : hidpi.finish(&exitCode).split('\n')) {
            if (!line.startsWith(FigureTag)) {
                std::printf("%s\n", line.constData());
                continue;
            }
            const QList<QByteArray> fields = line.mid(qsizetype(std::strlen(FigureTag))).split(' ');
            for (int i = 0; i < int(std::size(Cams)); ++i)
                if (fields.size() == 2 && fields.at(0) == Cams[i].file)
                    hidpiFigures[i].refresh = fields.at(1).toDouble();
        }
        if (exitCode != 0) {
            std::printf("the run at device pixel ratio 2 failed (exit status %d)\n", exitCode);
            result = 1;
        }
    }

    // The goal lines: medians of wall time, in one run.
    std::printf("\nload average over a minute: %.2f at the start, %.2f at the end (a busy machine stretches the figures)\n",
                loadAtStart, loadAverage());
    if (figures[0].refresh > 0 && figures[0].djpeg > 0)
        std::printf("REFRESH_1080P: %.2f x (goal <= 1.0)\n", figures[0].refresh / figures[0].djpeg);
    if (figures[1].refresh > 0 && figures[1].djpeg > 0)
        std::printf("REFRESH_2160P: %.2f x (goal <= 0.8)\n", figures[1].refresh / figures[1].djpeg);
    if (figures[0].refresh > 0 && hidpiFigures[0].refresh > 0)
        std::printf("REFRESH_HIDPI: %.2f x (goal <= 1.3)\n", hidpiFigures[0].refresh / figures[0].refresh);
    return result;
}
