// The hand-made HTTP/1.1 client the downloads ran on before libcurl, as the reference of
// bench_download, which runs this program. It is built from that client's own sources as
// they stood in git, extracted into the build folder (see CMakeLists.txt), and links
// nothing of the program.
//
//   bench_download_reference ADDRESS COUNT [CAFILE]
//
// Fetches ADDRESS a few times unmeasured, then COUNT times one after another; that client
// opens a connection (and over https makes a TLS handshake) for every request. It took its
// certificates from Qt's default configuration, so CAFILE is added there. Prints the
// processor time of this process (user + system) and the wall time per fetch, and the size
// of the last body; exits 1 when a fetch failed.
#include "processtime.h"
#include "platform/download.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSslConfiguration>

#include <sys/resource.h>

#include <cstdio>
#include <optional>

namespace {

constexpr int WarmUps = 10;

// One fetch, the event loop running until it has finished and its handler is gone.
DownloadResult fetch(Transfer &transfer, const QString &address)
{
    std::optional<DownloadResult> result;
    QPointer<DownloadHandler> handler = transfer.start({address, PictureMaxBytes, 10000});
    QObject::connect(handler, &DownloadHandler::finished, [&](const DownloadResult &r) { result = r; });
    while (!result || handler) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return *result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool countOk = false;
    const int count = args.size() >= 3 ? args.at(2).toInt(&countOk) : 0;
    if (args.size() < 3 || args.size() > 4 || !countOk || count < 1) {
        std::fprintf(stderr, "usage: bench_download_reference ADDRESS COUNT [CAFILE]\n");
        return 2;
    }
    const QString address = args.at(1);
    if (args.size() == 4) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        if (!ssl.addCaCertificates(args.at(3))) {
            std::fprintf(stderr, "no certificate in %s\n", qPrintable(args.at(3)));
            return 2;
        }
        QSslConfiguration::setDefaultConfiguration(ssl);
    }

    Transfer transfer;
    for (int i = 0; i < WarmUps; ++i) {
        const DownloadResult r = fetch(transfer, address);
        if (!r.ok() || r.httpStatus != 200) {
            std::fprintf(stderr, "fetch failed: %d %s\n", r.httpStatus, qPrintable(r.errorText));
            return 1;
        }
    }
    int failures = 0;
    qint64 bytes = 0;
    QElapsedTimer wall;
    const double cpuBefore = cpuMs();
    wall.start();
    for (int i = 0; i < count; ++i) {
        const DownloadResult r = fetch(transfer, address);
        if (!r.ok() || r.httpStatus != 200)
            ++failures;
        bytes = r.body.size();
    }
    const double wallMs = wall.nsecsElapsed() / 1e6;
    const double cpu = cpuMs() - cpuBefore;
    std::printf("cpu_ms_per_fetch %.4f\nwall_ms_per_fetch %.4f\nbytes %lld\nfailures %d\n", cpu / count,
                wallMs / count, qlonglong(bytes), failures);
    return failures == 0 ? 0 : 1;
}
