// The real lumora-viewer as a user runs it, against feh watching the same cam, on an X
// server of the benchmark's own (Xvfb, 1920 x 1080, under openbox), with lumora-camserver on
// 127.0.0.1 serving both. Prints, from one run:
//
//   PRIVATE_UNCHANGED      the viewer's private memory (Private_Clean + Private_Dirty of
//                          /proc/PID/smaps_rollup: what no other process shares) against
//                          feh's, a 1920 x 1080 JPEG that never changes (the viewer asks
//                          conditionally and gets 304s)
//   PRIVATE_CHANGING       the same with a picture that changes at every refresh
//   RSS_UNCHANGED          resident memory (VmRSS) in the same phases: most of it is shared
//   RSS_CHANGING           libraries (Qt, TLS) that other programs on a desktop share too
//   CPU_UNCHANGED_REFRESH  the viewer's processor time per refresh of the unchanged picture
//                          against feh's per reload of it
//   FULLSCREEN_IDLE        the viewer's processor time per second while its fullscreen window
//                          shows and nothing is refreshed, against the main window's
//
// feh fetches the cam's address itself (feh --reload N URL), as a user watching a webcam with
// it does: it downloads and decodes the picture at every reload, since it knows no
// conditional requests, and the server's request log counts its reloads as it counts the
// viewer's refreshes. Both are counted from that log, never by time alone, and the answers
// are checked: the unchanged phases must see only 304s (viewer) or 200s of the same bytes
// (feh), the changing ones a new picture at every request.
//
// Each program runs in fresh config and cache folders. On the unchanged picture feh and the
// viewer run side by side, each asking for its own copy of the file, and are watched through
// the same window, so that both meet the same load from the rest of a shared machine; that
// window opens once the viewer's picture counts as unchanged (a minute and ten refreshes),
// as it does for a frozen cam watched for long. The other phases run one after the other. Resident memory (VmRSS) is sampled every 250 ms through a window after
// warm-up refreshes and averaged; processor time is the sum over the process's threads of
// /proc/PID/task/TID/schedstat (nanoseconds), cross-checked with /proc/PID/stat's clock
// ticks. The fullscreen window is reached with the viewer's own key, F11, typed through
// xdotool into the focused window; its figure is left out when xdotool is missing.
//
// Skipped, with a message and exit code 0, when Xvfb, openbox, xprop or feh is missing.
// Usage: bench_desktop [WINDOW_SECONDS] (default 40; the idle windows take half of it);
// LUMORA_BENCH_VIEWER names another lumora-viewer binary to measure.
#include "benchpictures.h"
#include "camserverprocess.h"
#include "wholefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

// A demo cam's id for the unchanged cam, so that /comments.php answers with its comments;
// the changing cam is a 1920 x 1080 demo cam drawn anew, its clock on it, at every request.
const char *const StillCamId = "1006";
const char *const ChangingCamId = "1014";
const char *const StillPath = "/still.jpg";
const char *const FehStillPath = "/still-feh.jpg"; // the same bytes
const char *const ChangingPath = "/cams/1014.jpg";

// The sum of /proc/PID/smaps_rollup fields in kB; -1 if one is missing.
qint64 smapsKb(qint64 pid, const std::vector<QByteArray> &fields)
{
    const QByteArray rollup = readFile(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    qint64 sum = 0;
    for (const QByteArray &field : fields) {
        qint64 kb = -1;
        for (const QByteArray &line : rollup.split('\n'))
            if (line.startsWith(field + ':'))
                kb = line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
        if (kb < 0)
            return -1;
        sum += kb;
    }
    return sum;
}

// A /proc/PID/status field in kB; -1 if missing.
qint64 statusKb(qint64 pid, const QByteArray &field)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Processor time per thread, ns, from schedstat: exact where /proc/PID/stat counts 10 ms ticks.
QHash<QByteArray, qint64> threadTimes(qint64 pid)
{
    QHash<QByteArray, qint64> times;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        times.insert(tid.toLatin1(), readFile(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat"))
                                         .split(' ').value(0).toLongLong());
    return times;
}

// The process's utime + stime, ms (dead threads included, 10 ms steps).
double statCpuMs(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

// Processor time used by a process from now on: threads that start later count whole,
// threads that end in between (a decode pool's idle thread expiring) are lost, which the
// cross-check with /proc/PID/stat would show.
class CpuWatch
{
public:
    explicit CpuWatch(qint64 pid)
        : m_pid(pid)
        , m_start(threadTimes(pid))
        , m_statStart(statCpuMs(pid))
    {
    }
    double ms() const
    {
        qint64 ns = 0;
        const QHash<QByteArray, qint64> now = threadTimes(m_pid);
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            ns += it.value() - m_start.value(it.key(), 0);
        return ns / 1e6;
    }
    double statMs() const { return statCpuMs(m_pid) - m_statStart; }

private:
    qint64 m_pid;
    QHash<QByteArray, qint64> m_start;
    double m_statStart;
};

struct Answers
{
    int total = 0;
    int ok = 0;          // 200
    int notModified = 0; // 304
};

// The picture requests for path in the server's log since its last reset.
Answers answersFor(const CamServerProcess &server, const QString &path)
{
    Answers a;
    for (const QString &line : server.requests()) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.value(0) != QLatin1String("GET") || parts.value(1) != path)
            continue;
        ++a.total;
        a.ok += parts.value(2) == QLatin1String("200");
        a.notModified += parts.value(2) == QLatin1String("304");
    }
    return a;
}

void pause(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
}

bool waitUntil(const std::function<bool()> &check, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!check()) {
        if (t.elapsed() > timeoutMs)
            return false;
        pause(100);
    }
    return true;
}

class Desktop
{
public:
    ~Desktop()
    {
        for (QProcess *p : {&m_windowManager, &m_xvfb}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    }

    bool start(const QString &folder, QString *why)
    {
        m_xvfb.setStandardErrorFile(folder + QStringLiteral("/xvfb.log"));
        // -displayfd: a free display number of the server's own choice.
        m_xvfb.start(QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                      QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains('\n') && clock.elapsed() < 15000 && m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.waitForReadyRead(100);
            out += m_xvfb.readAllStandardOutput();
        }
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) {
            *why = QStringLiteral("Xvfb gave no display number");
            return false;
        }
        m_display = QLatin1Char(':') + QString::number(number);
        QDir(folder).mkpath(QStringLiteral("wm-config"));
        QProcessEnvironment env = environment(folder + QStringLiteral("/wm-config"), folder);
        m_windowManager.setProcessEnvironment(env);
        m_windowManager.setStandardOutputFile(QProcess::nullDevice());
        m_windowManager.setStandardErrorFile(QProcess::nullDevice());
        m_windowManager.start(QStandardPaths::findExecutable(QStringLiteral("openbox")), {QStringLiteral("--sm-disable")});
        const bool managed = waitUntil(
            [&] {
                QProcess xprop;
                xprop.setProcessEnvironment(env);
                xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
                xprop.waitForFinished(5000);
                return xprop.readAllStandardOutput().contains("window id");
            },
            15000);
        if (!managed)
            *why = QStringLiteral("openbox did not take over the screen");
        return managed;
    }

    // For a program on this screen: no user's config or cache, nothing of another display.
    QProcessEnvironment environment(const QString &config, const QString &cache) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("XAUTHORITY"));
        env.remove(QStringLiteral("SESSION_MANAGER"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
        return env;
    }

private:
    QProcess m_xvfb;
    QProcess m_windowManager;
    QString m_display;
};

// One program watching one cam, until it goes.
class Watcher
{
public:
    Watcher(const Desktop &desktop, const QString &folder, const QString &program, const QStringList &arguments)
    {
        QDir(folder).mkpath(QStringLiteral("config"));
        QDir(folder).mkpath(QStringLiteral("cache"));
        m_process.setProcessEnvironment(
            desktop.environment(folder + QStringLiteral("/config"), folder + QStringLiteral("/cache")));
        m_process.setWorkingDirectory(folder);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(folder + QStringLiteral("/output.log"));
        m_process.start(program, arguments);
        m_process.waitForStarted(5000);
        m_log = folder + QStringLiteral("/output.log");
    }
    ~Watcher()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    QString output() const { return QString::fromLocal8Bit(readFile(m_log)).trimmed(); }

private:
    QProcess m_process;
    QString m_log;
};

struct Phase
{
    double rssMiB = 0;      // mean over the window
    double peakMiB = 0;     // highest sample
    double anonMiB = 0;     // RssAnon, mean
    double privateMiB = 0;  // Private_Clean + Private_Dirty, mean
    double dirtyMiB = 0;    // Private_Dirty alone: written pages, without the libraries only it maps
    double pssMiB = 0;      // Pss, mean
    double cpuMs = 0;       // schedstat, all threads
    double statCpuMs = 0;   // /proc/PID/stat
    double seconds = 0;
    Answers answers;        // picture requests in the window
    QString failure;
};

// One program of a phase: the picture path it asks for, and the requests to wait for
// before the window opens.
struct Watched
{
    const Watcher *watcher;
    QString path;
    int warmUp;
};

// Waits for each program's warm-up requests, resets the log, then watches them all through
// the same window of windowMs: memory every 250 ms, processor time and requests over the
// whole window. Programs watched together meet the same load from the rest of the machine.
std::vector<Phase> watchTogether(const std::vector<Watched> &all, const CamServerProcess &server, int windowMs)
{
    std::vector<Phase> phases(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        const Watched &w = all[i];
        if (!waitUntil([&] { return !w.watcher->running() || answersFor(server, w.path).total >= w.warmUp; },
                       60000 + w.warmUp * 5000)
            || !w.watcher->running()) {
            phases[i].failure =
                QStringLiteral("no %1 requests for %2 (output: %3)").arg(w.warmUp).arg(w.path, w.watcher->output());
            return phases;
        }
    }
    // Let the last warm-up refresh end before the window opens.
    pause(400);
    server.resetLog();
    std::vector<CpuWatch> cpu;
    for (const Watched &w : all)
        cpu.emplace_back(w.watcher->pid());
    QElapsedTimer clock;
    clock.start();
    int samples = 0;
    const auto running = [&] {
        return std::all_of(all.begin(), all.end(), [](const Watched &w) { return w.watcher->running(); });
    };
    while (clock.elapsed() < windowMs && running()) {
        for (size_t i = 0; i < all.size(); ++i) {
            const qint64 rss = statusKb(all[i].watcher->pid(), "VmRSS");
            phases[i].rssMiB += rss / 1024.0;
            phases[i].anonMiB += statusKb(all[i].watcher->pid(), "RssAnon") / 1024.0;
            phases[i].privateMiB += smapsKb(all[i].watcher->pid(), {"Private_Clean", "Private_Dirty"}) / 1024.0;
            phases[i].pssMiB += smapsKb(all[i].watcher->pid(), {"Pss"}) / 1024.0;
            phases[i].dirtyMiB += smapsKb(all[i].watcher->pid(), {"Private_Dirty"}) / 1024.0;
            phases[i].peakMiB = std::max(phases[i].peakMiB, rss / 1024.0);
        }
        ++samples;
        pause(250);
    }
    for (size_t i = 0; i < all.size(); ++i) {
        Phase &phase = phases[i];
        phase.cpuMs = cpu[i].ms();
        phase.statCpuMs = cpu[i].statMs();
        phase.seconds = clock.elapsed() / 1e3;
        phase.answers = answersFor(server, all[i].path);
        if (!all[i].watcher->running())
            phase.failure = QStringLiteral("the program ended: %1").arg(all[i].watcher->output());
        phase.rssMiB /= std::max(samples, 1);
        phase.anonMiB /= std::max(samples, 1);
        phase.privateMiB /= std::max(samples, 1);
        phase.pssMiB /= std::max(samples, 1);
        phase.dirtyMiB /= std::max(samples, 1);
    }
    return phases;
}

Phase watch(const Watcher &w, const CamServerProcess &server, const QString &path, int warmUp, int windowMs)
{
    return watchTogether({{&w, path, warmUp}}, server, windowMs).front();
}

void printPhase(const char *what, const Phase &p)
{
    std::printf("  %-44s RSS %6.1f MiB (anon %5.1f, peak %6.1f, private %5.1f of it dirty %5.1f, PSS %5.1f)  "
                "CPU %8.1f ms (stat %7.0f) in %5.1f s  requests %3d (200: %d, 304: %d)\n",
                what, p.rssMiB, p.anonMiB, p.peakMiB, p.privateMiB, p.dirtyMiB, p.pssMiB, p.cpuMs, p.statCpuMs, p.seconds,
                p.answers.total, p.answers.ok, p.answers.notModified);
}

bool check(bool ok, const char *what)
{
    if (!ok)
        std::printf("  CHECK FAILED: %s\n", what);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int windowMs = std::max(10, QCoreApplication::arguments().value(1, QStringLiteral("40")).toInt()) * 1000;
    const int idleMs = windowMs / 2;

    for (const char *tool : {"Xvfb", "openbox", "xprop", "feh"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("bench_desktop skipped: %s is not installed (Debian packages xvfb, openbox, x11-utils, feh)\n",
                        tool);
            return 0;
        }
    }
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    QDir root(dir.path());
    root.mkpath(QStringLiteral("pictures"));
    // The photo-like scene of the other picture benchmarks, a 1920 x 1080 JPEG at quality 85.
    {
        QImageWriter writer(root.filePath(QStringLiteral("pictures/still.jpg")), "jpeg");
        writer.setQuality(85);
        if (!writer.write(bench::scene(1920, 1080))) {
            std::fprintf(stderr, "cannot write the picture\n");
            return 2;
        }
    }
    QFile::copy(root.filePath(QStringLiteral("pictures/still.jpg")), root.filePath(QStringLiteral("pictures/still-feh.jpg")));
    const QString catalogue = root.filePath(QStringLiteral("catalogue.txt"));
    writeFile(catalogue, QByteArray(StillCamId) + ";Still cam;{base}" + StillPath + ";Never changes.;;3;12;0;bench\r\n"
                             + ChangingCamId + ";Changing cam;{base}" + ChangingPath
                             + ";A new picture at every request.;;4;9;0;bench\r\n");
    CamServerProcess server({QStringLiteral("--catalogue"), catalogue, QStringLiteral("--pictures"),
                             root.filePath(QStringLiteral("pictures"))});
    if (!server.start()) {
        std::fprintf(stderr, "camserver: %s\n", qPrintable(server.errorString()));
        return 2;
    }
    Desktop desktop;
    QString why;
    if (!desktop.start(dir.path(), &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 2;
    }

    // Another build of the viewer to compare with, such as one before a change.
    const QString viewer = qEnvironmentVariable("LUMORA_BENCH_VIEWER", QStringLiteral(LUMORA_VIEWER_PATH));
    const QString feh = QStandardPaths::findExecutable(QStringLiteral("feh"));
    const QString base = server.baseUrl();
    int phaseNumber = 0;
    // A folder of its own per program run; the viewer's holds its config.ini.
    const auto folder = [&](bool forViewer) {
        const QString path = root.filePath(QStringLiteral("run%1").arg(++phaseNumber));
        root.mkpath(path);
        if (forViewer)
            writeFile(path + QStringLiteral("/config.ini"), "url=" + base.toLatin1() + "\r\n");
        return path;
    };
    // One refresh a second for both: the viewer's interval 0 refreshes at each heartbeat tick.
    const auto viewerOn = [&](const char *cam, const QString &interval, const QStringList &more = {}) {
        return QStringList{QStringLiteral("--cam"), QString::fromLatin1(cam), QStringLiteral("--refresh"), interval}
            + more;
    };
    const auto fehOn = [&](const char *path, int seconds) {
        return QStringList{QStringLiteral("--reload"), QString::number(seconds), QStringLiteral("--title"),
                           QStringLiteral("feh-bench"), base + QLatin1String(path)};
    };

    std::printf("lumora-viewer against feh %s on Xvfb 1920 x 1080 under openbox; lumora-camserver on %s\n",
                qPrintable(QString::fromLocal8Bit([&] {
                    QProcess p;
                    p.start(feh, {QStringLiteral("--version")});
                    p.waitForFinished(5000);
                    return p.readAllStandardOutput().split('\n').value(0).split(' ').value(2);
                }())),
                qPrintable(base));
    std::printf("picture: 1920 x 1080 JPEG (%lld kB), windows of %d s, idle windows of %d s\n",
                (long long)(readFile(root.filePath(QStringLiteral("pictures/still.jpg"))).size() / 1000),
                windowMs / 1000, idleMs / 1000);
    bool sound = true;

    // feh and the viewer on the unchanged picture side by side, each at its own copy of the
    // file, so that both meet the same load from the rest of the machine.
    server.resetLog();
    Phase fehStill;
    Phase viewerStill;
    {
        Watcher fehRun(desktop, folder(false), feh, fehOn(FehStillPath, 1));
        Watcher viewerRun(desktop, folder(true), viewer, viewerOn(StillCamId, QStringLiteral("0")));
        // The viewer past a minute and ten refreshes, so the window sees the steady state of a
        // cam whose picture stands still: the "unchanged since" badge on the picture.
        const std::vector<Phase> both = watchTogether(
            {{&fehRun, QLatin1String(FehStillPath), 3}, {&viewerRun, QLatin1String(StillPath), 65}}, server, windowMs);
        fehStill = both[0];
        viewerStill = both[1];
    }
    printPhase("feh, unchanged picture, reload 1 s", fehStill);
    sound &= check(fehStill.failure.isEmpty(), qPrintable(fehStill.failure));
    sound &= check(fehStill.answers.ok == fehStill.answers.total && fehStill.answers.total >= 5,
                   "feh downloads the whole picture at every reload");
    printPhase("viewer, unchanged picture, refresh interval 0", viewerStill);
    sound &= check(viewerStill.failure.isEmpty(), qPrintable(viewerStill.failure));
    sound &= check(viewerStill.answers.notModified == viewerStill.answers.total && viewerStill.answers.total >= 5,
                   "every refresh of the viewer in the window is a 304: nothing decoded");

    server.resetLog();
    Phase fehChanging;
    {
        Watcher w(desktop, folder(false), feh, fehOn(ChangingPath, 2));
        fehChanging = watch(w, server, QLatin1String(ChangingPath), 3, windowMs);
    }
    printPhase("feh, changing picture, reload 2 s", fehChanging);
    sound &= check(fehChanging.failure.isEmpty(), qPrintable(fehChanging.failure));

    server.resetLog();
    Phase viewerChanging;
    {
        // Interval 1: a refresh every 2 s, so that the server's clock on the picture has
        // moved on at every request.
        Watcher w(desktop, folder(true), viewer, viewerOn(ChangingCamId, QStringLiteral("1")));
        viewerChanging = watch(w, server, QLatin1String(ChangingPath), 4, windowMs);
    }
    printPhase("viewer, changing picture, refresh interval 1", viewerChanging);
    sound &= check(viewerChanging.failure.isEmpty(), qPrintable(viewerChanging.failure));
    sound &= check(viewerChanging.answers.ok == viewerChanging.answers.total && viewerChanging.answers.total >= 5,
                   "every refresh of the viewer in the window brings a new picture");
    for (const Phase *p : {&fehStill, &viewerStill, &fehChanging, &viewerChanging})
        sound &= check(p->privateMiB > 0 && p->pssMiB > 0, "private memory and PSS read from /proc/PID/smaps_rollup");

    std::optional<double> fullscreenRatio;
    if (xdotool.isEmpty()) {
        std::printf("  xdotool is not installed (Debian package xdotool): no fullscreen figure\n");
    } else {
        // No refresh in either window: an interval of 99999999 s after the first picture.
        server.resetLog();
        Watcher w(desktop, folder(true), viewer, viewerOn(StillCamId, QStringLiteral("99999999")));
        Phase main = watch(w, server, QLatin1String(StillPath), 1, 3000); // settle
        main = watch(w, server, QLatin1String(StillPath), 0, idleMs);
        printPhase("viewer, main window, idle", main);
        QProcess key;
        key.setProcessEnvironment(desktop.environment(dir.path(), dir.path()));
        key.start(xdotool, {QStringLiteral("key"), QStringLiteral("F11")});
        key.waitForFinished(5000);
        // The fullscreen window must cover the screen: a shown window of the viewer's, 1920 x 1080.
        const auto fullscreenShows = [&] {
            QProcess search;
            search.setProcessEnvironment(desktop.environment(dir.path(), dir.path()));
            search.start(xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                   QString::number(w.pid()), QStringLiteral("--class"), QStringLiteral("."),
                                   QStringLiteral("getwindowgeometry"), QStringLiteral("%@")});
            search.waitForFinished(5000);
            return search.readAllStandardOutput().contains("Geometry: 1920x1080");
        };
        const bool shows = waitUntil(fullscreenShows, 5000);
        pause(2000);
        const Phase full = watch(w, server, QLatin1String(StillPath), 0, idleMs);
        printPhase("viewer, fullscreen window, idle", full);
        sound &= check(shows && fullscreenShows(), "the fullscreen window covers the screen after F11");
        sound &= check(main.answers.total == 0 && full.answers.total == 0, "no refresh while idle");
        sound &= check(main.failure.isEmpty() && full.failure.isEmpty(), "the viewer runs throughout");
        if (main.cpuMs > 0)
            fullscreenRatio = (full.cpuMs / full.seconds) / (main.cpuMs / main.seconds);
        std::printf("  idle CPU: main window %.3f %% of a core, fullscreen %.3f %%\n", main.cpuMs / main.seconds / 10,
                    full.cpuMs / full.seconds / 10);
    }

    const double fehPerReload = fehStill.cpuMs / std::max(fehStill.answers.total, 1);
    const double viewerPerRefresh = viewerStill.cpuMs / std::max(viewerStill.answers.total, 1);
    std::printf("  CPU per refresh: viewer %.2f ms, feh %.2f ms per reload\n", viewerPerRefresh, fehPerReload);
    std::printf("PRIVATE_UNCHANGED: %.2f x (goal <= 1.0)\n", viewerStill.privateMiB / fehStill.privateMiB);
    std::printf("PRIVATE_CHANGING: %.2f x (goal <= 1.0)\n", viewerChanging.privateMiB / fehChanging.privateMiB);
    std::printf("RSS_UNCHANGED: %.2f x (goal <= 2.0)\n", viewerStill.rssMiB / fehStill.rssMiB);
    std::printf("RSS_CHANGING: %.2f x (goal <= 2.0)\n", viewerChanging.rssMiB / fehChanging.rssMiB);
    std::printf("CPU_UNCHANGED_REFRESH: %.3f x (goal <= 0.2)\n", viewerPerRefresh / fehPerReload);
    if (fullscreenRatio)
        std::printf("FULLSCREEN_IDLE: %.2f x (goal <= 1.2)\n", *fullscreenRatio);
    if (!sound)
        std::printf("some figures do not measure what they name (see CHECK FAILED above)\n");
    return sound ? 0 : 1;
}
