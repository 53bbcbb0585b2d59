// Soak run: the application offscreen against a local lumora-camserver for many refresh
// cycles (10,000 unless a count is given: bench_soak [cycles]), to show that a viewer left
// running for days neither grows nor leaks descriptors or working files.
//
// The demo catalogue is served, so refreshes see JPEG, PNG and GIF pictures from 320 x 240
// to 1920 x 1080, with and without comments. The refresh box holds "0", so every heartbeat
// tick refreshes; auto shuffle is on with a short interval, every seventh cycle the comment
// timer ticks as it would between one-second heartbeats, and every 250 cycles a random cam
// is picked as by the toolbar button. Each cycle is one timer event of the running event
// loop, as in the program, so whatever a cycle leaves for the loop to clean up is cleaned up.
//
// Printed, each with the first cam shown: resident memory, heap in use, open descriptors and
// working files at the start, after warm-up (cycle 500), every 1000 cycles, in the middle
// and at the end; then whether the goals hold: resident memory, with the heap trimmed,
// grows less than 2 MiB from warm-up to the end, no working file remains, and the descriptors after warm-up and at the
// end are the same. The exit status is 0 when they hold, 1 when not, 2 when the run could
// not be set up. Only 127.0.0.1 is contacted.
#include "benchapp.h"
#include "control/camselection.h"
#include "camserverprocess.h"
#include "control/commentrotation.h"
#include "control/heartbeat.h"
#include "ui/windows/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int DefaultCycles = 10000;
constexpr int WarmUpCycles = 500;
constexpr qint64 AllowedGrowthBytes = 2 * 1024 * 1024;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// Bytes handed out by malloc and not yet freed: separates a leak from a heap that only
// keeps freed pages for later.
qint64 heapInUseBytes()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
#else
    return -1;
#endif
}

// Includes the descriptor that reads the list, the same at every count.
int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

QStringList workingFiles(const QDir &dir)
{
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("config.ini"));
    return names;
}

double mib(qint64 bytes) { return double(bytes) / (1024.0 * 1024.0); }

struct Sample
{
    qint64 rss = 0;
    qint64 trimmedRss = 0; // after the heap gave its free pages back
    qint64 heap = 0;
    int fds = 0;
    int files = 0;
};

// The heap keeps the pages of freed multi-megabyte pictures for the next one, so resident
// memory swings by the size of a few pictures with the sizes of the last cams; after a trim
// it shows what is really held.
Sample sample(const QDir &workDir)
{
    Sample s;
    s.rss = residentBytes();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    s.trimmedRss = residentBytes();
    s.heap = heapInUseBytes();
    s.fds = openDescriptors();
    s.files = int(workingFiles(workDir).size());
    return s;
}

void printSample(const char *label, int cycle, const Sample &s, double seconds)
{
    std::printf("  %-10s %6d %9.2f %9.2f %9.2f %6d %6d %9.1f\n", label, cycle, mib(s.rss), mib(s.trimmedRss),
                s.heap < 0 ? -1.0 : mib(s.heap), s.fds, s.files, seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are allocated as the program allocates them.
    giveLargeBlocksBackWhenFreed();
    int cycles = DefaultCycles;
    if (argc > 1) {
        bool ok = false;
        cycles = QByteArray(argv[1]).toInt(&ok);
        if (!ok || cycles < 2) {
            std::fprintf(stderr, "usage: bench_soak [cycles]   (cycles >= 2, default %d)\n", DefaultCycles);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    const QDir workDir(dir.path());

    CamServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server.errorString()));
        return 2;
    }
    int stopMessages = 0;
    const std::unique_ptr<Application> started = bench::startAgainst(workDir, server.baseUrl(), &stopMessages);
    if (!started)
        return 2;
    Application &app = *started;
    MainWindow &mainWindow = app.mainWindow();
    mainWindow.refreshIntervalEdit()->setText(QStringLiteral("0"));
    mainWindow.shuffleIntervalEdit()->setText(QStringLiteral("20"));
    mainWindow.autoShuffleCheck()->setChecked(true);

    std::printf("soak: %d refresh cycles against %s, %d cams\n", cycles, qPrintable(server.baseUrl()),
                app.state().catalogue.camCount());
    std::printf("  %-10s %6s %9s %9s %9s %6s %6s %9s\n", "point", "cycle", "RSS MiB", "trimmed", "heap MiB", "fds",
                "files", "seconds");

    int cycle = 0;
    int camChanges = 0;
    int lastCam = app.state().selection.currentCam();
    // A 1920 x 1080 cam holds several times the memory of a 320 x 240 one, so every figure
    // is taken with the same cam shown: the first row is clicked and refreshed once more.
    const auto sampleOnFirstCam = [&] {
        bench::finishRefresh(app);
        app.selection().rowClicked(0);
        app.heartbeat().onTick();
        bench::finishRefresh(app);
        lastCam = app.state().selection.currentCam();
        return sample(workDir);
    };

    QElapsedTimer clock;
    clock.start();
    const Sample start = sampleOnFirstCam();
    printSample("start", 0, start, 0);
    Sample warm = start;
    Sample end = start;

    QTimer driver;
    driver.setInterval(0);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        ++cycle;
        app.heartbeat().onTick();
        if (cycle % 7 == 0)
            app.comments().onTick();
        if (cycle % 250 == 0)
            app.selection().pickRandomCam();
        if (app.state().selection.currentCam() != lastCam) {
            lastCam = app.state().selection.currentCam();
            ++camChanges;
        }

        const double seconds = clock.nsecsElapsed() / 1e9;
        if (cycle == WarmUpCycles) {
            warm = sampleOnFirstCam();
            printSample("warm-up", cycle, warm, seconds);
        } else if (cycle == cycles / 2) {
            printSample("middle", cycle, sampleOnFirstCam(), seconds);
        } else if (cycle == cycles) {
            end = sampleOnFirstCam();
            printSample("end", cycle, end, seconds);
        } else if (cycle % 1000 == 0) {
            printSample("", cycle, sampleOnFirstCam(), seconds);
        }
        if (cycle >= cycles) {
            driver.stop();
            // Not quit(): that would first ask the windows to close, and the main window
            // answers a close request by ending the program.
            QCoreApplication::exit(0);
        }
    });
    driver.start();
    QApplication::exec();

    const QStringList left = workingFiles(workDir);
    const QStringList seen = server.requests();
    const int pictureRequests = int(seen.filter(QStringLiteral("GET /cam")).size());
    const int commentRequests = int(seen.filter(QStringLiteral("GET /comments.php")).size());
    std::printf("%.1f s, %.1f ms per cycle; %d cam changes; the server saw %d picture and %d comments requests; "
                "%d stop messages\n",
                clock.nsecsElapsed() / 1e9, clock.nsecsElapsed() / 1e6 / cycles, camChanges, pictureRequests,
                commentRequests, stopMessages);

    // Before warm-up the caches (fonts, pictures of every size, connections) are still filling.
    const Sample base = cycles > WarmUpCycles ? warm : start;
    const qint64 growth = end.trimmedRss - base.trimmedRss;
    const bool memoryFlat = growth < AllowedGrowthBytes;
    const bool noFiles = left.isEmpty();
    const bool fdsFlat = end.fds == base.fds;
    std::printf("resident memory growth after warm-up: %+.2f MiB, %+.2f MiB after trimming the heap (goal < 2 MiB): %s\n",
                mib(end.rss - base.rss), mib(growth), memoryFlat ? "met" : "MISSED");
    if (end.heap >= 0)
        std::printf("heap in use growth after warm-up: %+.2f MiB\n", mib(end.heap - base.heap));
    std::printf("working files at the end: %d%s%s (goal 0): %s\n", int(left.size()), left.isEmpty() ? "" : " ",
                qPrintable(left.join(QStringLiteral(", "))), noFiles ? "met" : "MISSED");
    std::printf("open descriptors: %d at the start, %d after warm-up, %d at the end (goal flat): %s\n", start.fds,
                base.fds, end.fds, fdsFlat ? "met" : "MISSED");
    return memoryFlat && noFiles && fdsFlat ? 0 : 1;
}
