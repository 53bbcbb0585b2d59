#include "camserverprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#ifndef LUMORA_CAMSERVER_PATH
#error "LUMORA_CAMSERVER_PATH must name the lumora-camserver binary"
#endif

QByteArray RawHttpReply::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

qint64 RawHttpReply::contentLength() const
{
    bool ok = false;
    const qint64 n = header("Content-Length").toLongLong(&ok);
    return ok ? n : -1;
}

bool RawHttpReply::complete() const
{
    if (status < 0)
        return false;
    const qint64 expected = contentLength();
    return expected < 0 ? closedByServer : body.size() == expected;
}

CamServerProcess::CamServerProcess(const QStringList &extraArgs) : m_extraArgs(extraArgs) {}

CamServerProcess::~CamServerProcess()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

bool CamServerProcess::start(int timeoutMs)
{
    stop();
    m_error.clear();
    m_port = 0;
    m_tempDir = std::make_unique<QTemporaryDir>();
    if (!m_tempDir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    // Output goes to files rather than pipes: with --log a server that nobody reads
    // from would otherwise block once the pipe is full.
    const QString outPath = m_tempDir->filePath(QStringLiteral("stdout"));
    const QString errPath = m_tempDir->filePath(QStringLiteral("stderr"));
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(outPath);
    m_process->setStandardErrorFile(errPath);
    m_process->setProgram(QStringLiteral(LUMORA_CAMSERVER_PATH));
    m_process->setArguments(QStringList {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--control")} + m_extraArgs);
    m_process->start();
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("cannot run %1: %2").arg(m_process->program(), m_process->errorString());
        return false;
    }

    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QFile out(outPath);
        if (out.open(QIODevice::ReadOnly)) {
            const QByteArray data = out.readAll();
            const int newline = data.indexOf('\n');
            if (newline >= 0) {
                bool ok = false;
                const uint port = data.left(newline).toUInt(&ok);
                if (!ok || port == 0 || port > 65535) {
                    m_error = QStringLiteral("unexpected first line: %1").arg(QString::fromLatin1(data.left(newline)));
                    stop();
                    return false;
                }
                m_port = quint16(port);
                return true;
            }
        }
        if (m_process->state() == QProcess::NotRunning)
            break;
        m_process->waitForFinished(20); // doubles as a short sleep
    }
    QFile err(errPath);
    err.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("no port line from the server (%1); stderr: %2")
                  .arg(m_process->state() == QProcess::NotRunning ? QStringLiteral("it exited") : QStringLiteral("time-out"),
                       QString::fromLocal8Bit(err.readAll()));
    stop();
    return false;
}

quint16 CamServerProcess::port() const { return m_port; }

QString CamServerProcess::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

QStringList CamServerProcess::requests() const
{
    QByteArray body;
    if (!control("/_control/requests", &body))
        return {};
    QStringList lines;
    for (const QByteArray &line : body.split('\n'))
        if (!line.isEmpty())
            lines << QString::fromUtf8(line);
    return lines;
}

bool CamServerProcess::setFault(const QString &path, const QString &mode) const
{
    return control("/_control/fault?path=" + QUrl::toPercentEncoding(path) + "&mode=" + QUrl::toPercentEncoding(mode));
}

bool CamServerProcess::clearFaults() const { return control("/_control/clear"); }

bool CamServerProcess::resetLog() const { return control("/_control/reset-log"); }

void CamServerProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

bool CamServerProcess::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

QByteArray CamServerProcess::output() const
{
    if (!m_tempDir)
        return {};
    QFile out(m_tempDir->filePath(QStringLiteral("stdout")));
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

QString CamServerProcess::errorString() const { return m_error; }

bool CamServerProcess::control(const QByteArray &target, QByteArray *body) const
{
    if (m_port == 0)
        return false;
    const RawHttpReply reply = rawGet(m_port, target, 3000);
    if (body)
        *body = reply.body;
    return reply.status == 200 && reply.complete();
}

RawHttpReply CamServerProcess::get(const QByteArray &target, int timeoutMs,
                                   const QList<QPair<QByteArray, QByteArray>> &extraHeaders) const
{
    return rawGet(m_port, target, timeoutMs, extraHeaders);
}

RawHttpReply CamServerProcess::rawGet(quint16 port, const QByteArray &target, int timeoutMs,
                                      const QList<QPair<QByteArray, QByteArray>> &extraHeaders)
{
    RawHttpReply reply;
    QElapsedTimer timer;
    timer.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(std::min(timeoutMs, 3000))) {
        reply.elapsedMs = timer.elapsed();
        return reply;
    }
    reply.connected = true;

    QByteArray request = "GET " + target + " HTTP/1.0\r\n";
    bool hasHost = false;
    for (const auto &h : extraHeaders) {
        hasHost = hasHost || h.first.compare("Host", Qt::CaseInsensitive) == 0;
        request += h.first + ": " + h.second + "\r\n";
    }
    if (!hasHost)
        request += "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    request += "Connection: close\r\n\r\n";
    socket.write(request);
    socket.waitForBytesWritten(std::min(timeoutMs, 3000));

    // HTTP/1.0 with Connection: close means the answer ends when the server closes.
    while (true) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0) {
            reply.timedOut = true;
            break;
        }
        if (socket.waitForReadyRead(int(std::min<qint64>(left, 100)))) {
            reply.raw += socket.readAll();
            continue;
        }
        if (socket.state() != QAbstractSocket::ConnectedState
            || socket.error() != QAbstractSocket::SocketTimeoutError) {
            reply.raw += socket.readAll();
            reply.closedByServer = true;
            break;
        }
    }
    reply.elapsedMs = timer.elapsed();
    socket.abort();

    const int headerEnd = reply.raw.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return reply;
    const QList<QByteArray> lines = reply.raw.left(headerEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine.first().startsWith("HTTP/"))
        return reply;
    bool ok = false;
    const int status = statusLine.at(1).toInt(&ok);
    if (!ok)
        return reply;
    reply.status = status;
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            reply.headers.append({lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    reply.body = reply.raw.mid(headerEnd + 4);
    return reply;
}
