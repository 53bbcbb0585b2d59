// The catalogue of 32768 cams (about 4 MB) asked for N times (default 50, first argument) from
// lumora-camserver --catalogue, and from nginx serving the same resolved file as a static
// document (what --export writes as camlist.txt), each request on a new connection. Prints
// ms per request for both and the ratio; then the wall time of 300 clients asking at once,
// against nginx's. Without /usr/sbin/nginx only the camserver's figures are printed.
//
// Then 500 clients that trickle a request header (a byte every 2 s) are held open while one
// normal client asks for the catalogue every 50 ms for 6 s: its median and worst answer
// time. The server runs with --max-per-address above 500 so that all of them really are
// held (every bench client comes from 127.0.0.1); how many stayed open is printed.
#include "camserverprocess.h"
#include "slowclients.h"
#include "wholefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

QByteArray catalogue()
{
    QByteArray doc;
    for (int i = 0; i < 32768; ++i) {
        const QByteArray n = QByteArray::number(100000 + i);
        doc += n + ";Cam " + n + " over the harbour;{base}/cams/" + n
            + ".jpg;Looking north over the harbour, the ferry at the full hour.;;3;0;" + QByteArray::number(i * 7)
            + ";user" + QByteArray::number(i % 97) + "\r\n";
    }
    return doc;
}

// One HTTP/1.0 request on a fresh connection, read to the end with plain sockets so the
// client's own cost stays small beside the servers'; the body's length, or -1.
qint64 fetch(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The camserver writes the Host it was asked by into the catalogue.
    const std::string request = "GET /camlist.php HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    // Only the head is kept; the body is counted, so hundreds of clients at once cost little.
    std::string head;
    char buffer[64 * 1024];
    qint64 got = 0;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            if (head.size() < 4096)
                head.append(buffer, size_t(std::min<ssize_t>(n, ssize_t(4096 - head.size()))));
            got += n;
        }
    }
    ::close(fd);
    const size_t end = head.find("\r\n\r\n");
    if (head.compare(0, 13, "HTTP/1.1 200 ") != 0 || end == std::string::npos)
        return -1;
    return got - qint64(end) - 4;
}

// Milliseconds per request, or a negative number when an answer was wrong.
double measure(quint16 port, qint64 expectedSize, int n)
{
    fetch(port); // warm-up
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < n; ++i) {
        if (fetch(port) != expectedSize)
            return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6 / n;
}

// Wall-clock milliseconds for `clients` connections asking at once, each once; negative
// when an answer was wrong.
double measureConcurrent(quint16 port, qint64 expectedSize, int clients)
{
    std::atomic<int> ready {0};
    std::atomic<bool> go {false};
    std::atomic<int> wrong {0};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (!go)
                std::this_thread::yield();
            if (fetch(port) != expectedSize)
                ++wrong;
        });
    }
    while (ready < clients)
        std::this_thread::yield();
    QElapsedTimer clock;
    clock.start();
    go = true;
    for (std::thread &t : threads)
        t.join();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return wrong > 0 ? -1 : ms;
}

// The normal client's answer times while 500 slow clients hold connections open.
bool measureSlowClients()
{
    CamServerProcess server({QStringLiteral("--max-per-address"), QStringLiteral("600")});
    if (!server.start()) {
        std::fprintf(stderr, "bench_server: %s\n", qPrintable(server.errorString()));
        return false;
    }
    const qint64 expected = server.get("/camlist.php").body.size();
    SlowClients slow;
    const int opened = slow.open(500, server.port());
    std::vector<double> times;
    QElapsedTimer run, sinceTrickle;
    run.start();
    sinceTrickle.start();
    bool allRight = true;
    while (run.elapsed() < 6000) {
        if (sinceTrickle.elapsed() >= 2000) {
            slow.trickle();
            sinceTrickle.restart();
        }
        const RawHttpReply reply = server.get("/camlist.php", 5000);
        allRight = allRight && reply.status == 200 && reply.body.size() == expected;
        times.push_back(double(reply.elapsedMs));
        QThread::msleep(50);
    }
    const int held = slow.stillOpen();
    std::sort(times.begin(), times.end());
    std::printf("\n500 slow clients: %d connected, %d still held open at the end; %zu normal requests%s\n", opened, held,
                times.size(), allRight ? "" : " (SOME ANSWERS WRONG)");
    std::printf("slow_clients_median: %.0f ms (goal <= 20 ms)\n", times.at(times.size() / 2));
    std::printf("slow_clients_worst: %.0f ms (goal <= 1000 ms)\n", times.back());
    return allRight && opened == 500;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Hundreds of connections at once, on both ends of each: more than the usual soft limit.
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir scratch;
    // Started as root, nginx runs its workers as an unprivileged user that must read the file.
    QFile::setPermissions(scratch.path(), QFile::permissions(scratch.path()) | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QString file = scratch.filePath(QStringLiteral("camlist.txt"));
    const QByteArray doc = catalogue();
    writeFile(file, doc);
    // The server trusts a file's timestamps only once they are 2 s old and re-reads it until
    // then; a file that old is what a served catalogue is, and what nginx gets to serve.
    QThread::msleep(2100);

    constexpr int kClients = 300;
    CamServerProcess server({QStringLiteral("--catalogue"), file, QStringLiteral("--max-per-address"), QStringLiteral("400")});
    if (!server.start()) {
        std::fprintf(stderr, "bench_server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const QByteArray resolved = QByteArray(doc).replace("{base}", server.baseUrl().toLatin1());
    std::printf("catalogue: 32768 cams, %.2f MB resolved, %d requests each, a new connection per request\n",
                resolved.size() / 1e6, n);
    const double camserver = measure(server.port(), resolved.size(), n);
    std::printf("lumora-camserver: %.2f ms per request\n", camserver);
    const double camserverAtOnce = measureConcurrent(server.port(), resolved.size(), kClients);
    std::printf("lumora-camserver: %.0f ms for %d clients at once\n", camserverAtOnce, kClients);
    const bool slowOk = measureSlowClients();

    const QString nginx = QStringLiteral("/usr/sbin/nginx");
    if (!QFileInfo(nginx).isExecutable()) {
        std::printf("nginx: not installed (scripts/packages installs nginx-light); no ratio\n");
        return camserver < 0 || camserverAtOnce < 0 || !slowOk ? 1 : 0;
    }
    const QString p = scratch.path();
    QDir(p).mkpath(QStringLiteral("site"));
    QDir(p).mkpath(QStringLiteral("logs"));
    QDir(p).mkpath(QStringLiteral("temp"));
    writeFile(p + QStringLiteral("/site/camlist.txt"), resolved);
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    const QString conf = QStringLiteral(
        "worker_processes 1;\nevents { worker_connections 1024; }\nhttp {\n"
        "    access_log off;\n"
        "    client_body_temp_path %1/temp/body;\n    proxy_temp_path %1/temp/proxy;\n"
        "    fastcgi_temp_path %1/temp/fastcgi;\n    uwsgi_temp_path %1/temp/uwsgi;\n    scgi_temp_path %1/temp/scgi;\n"
        "    server {\n        listen 127.0.0.1:%2;\n        root %1/site;\n"
        "        include %3;\n    }\n}\n").arg(p).arg(port).arg(QStringLiteral(LUMORA_SOURCE_DIR "/dist/nginx/lumora-locations.conf"));
    writeFile(p + QStringLiteral("/nginx.conf"), conf.toUtf8());
    QProcess proc;
    proc.start(nginx, {QStringLiteral("-p"), p + QLatin1Char('/'), QStringLiteral("-e"), p + QStringLiteral("/logs/error.log"),
                       QStringLiteral("-c"), p + QStringLiteral("/nginx.conf"), QStringLiteral("-g"),
                       QStringLiteral("daemon off; pid %1/nginx.pid;").arg(p)});
    proc.waitForStarted();
    for (int i = 0; i < 100 && CamServerProcess::rawGet(port, "/camlist.php", 1000).status != 200; ++i)
        QThread::msleep(50);
    const double web = measure(port, resolved.size(), n);
    const double webAtOnce = measureConcurrent(port, resolved.size(), kClients);
    proc.terminate();
    proc.waitForFinished(5000);
    std::printf("nginx:            %.2f ms per request, %.0f ms for %d clients at once\n", web, webAtOnce, kClients);
    if (camserver > 0 && web > 0)
        std::printf("ratio camserver / nginx: %.2f\n", camserver / web);
    if (camserverAtOnce > 0 && webAtOnce > 0)
        std::printf("catalogue_%d_clients: %.2f x nginx (goal <= 2 x)\n", kClients, camserverAtOnce / webAtOnce);
    return camserver < 0 || web < 0 || camserverAtOnce < 0 || webAtOnce < 0 || !slowOk ? 1 : 0;
}
