// The catalogue of 32768 cams (about 4 MB) asked for N times (default 50, first argument) from
// lumora-camserver --catalogue, and from nginx serving the same resolved file as a static
// document, each request on a new connection. Prints ms per request for both and the ratio.
// Without /usr/sbin/nginx only the camserver's figure is printed.
#include "camserverprocess.h"

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
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

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
    static std::vector<char> buffer(16 << 20);
    size_t got = 0;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        ssize_t n;
        while (got < buffer.size() && (n = ::recv(fd, buffer.data() + got, buffer.size() - got, 0)) > 0)
            got += size_t(n);
    }
    ::close(fd);
    const std::string_view answer(buffer.data(), got);
    const size_t end = answer.find("\r\n\r\n");
    if (answer.substr(0, 13) != "HTTP/1.1 200 " || end == std::string_view::npos)
        return -1;
    return qint64(got - end - 4);
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir scratch;
    // Started as root, nginx runs its workers as an unprivileged user that must read the file.
    QFile::setPermissions(scratch.path(), QFile::permissions(scratch.path()) | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QString file = scratch.filePath(QStringLiteral("camlist.txt"));
    const QByteArray doc = catalogue();
    writeFile(file, doc);

    CamServerProcess server({QStringLiteral("--catalogue"), file});
    if (!server.start()) {
        std::fprintf(stderr, "bench_server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const QByteArray resolved = QByteArray(doc).replace("{base}", server.baseUrl().toLatin1());
    std::printf("catalogue: 32768 cams, %.2f MB resolved, %d requests each, a new connection per request\n",
                resolved.size() / 1e6, n);
    const double camserver = measure(server.port(), resolved.size(), n);
    std::printf("lumora-camserver: %.2f ms per request\n", camserver);

    const QString nginx = QStringLiteral("/usr/sbin/nginx");
    if (!QFileInfo(nginx).isExecutable()) {
        std::printf("nginx: not installed (scripts/packages installs nginx-light); no ratio\n");
        return camserver < 0 ? 1 : 0;
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
        "worker_processes 1;\nevents { worker_connections 64; }\nhttp {\n"
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
    proc.terminate();
    proc.waitForFinished(5000);
    std::printf("nginx:            %.2f ms per request\n", web);
    if (camserver > 0 && web > 0)
        std::printf("ratio camserver / nginx: %.2f\n", camserver / web);
    return camserver < 0 || web < 0 ? 1 : 0;
}
