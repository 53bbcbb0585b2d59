#include "rtspserverprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

#ifndef LUMORA_RTSP_TESTSERVER_PATH
#error "LUMORA_RTSP_TESTSERVER_PATH must name the lumora-rtsp-testserver binary"
#endif

RtspServerProcess::~RtspServerProcess() { stop(); }

bool RtspServerProcess::start(const Options &options, int timeoutMs)
{
    stop();
    m_error.clear();
    m_tempDir = std::make_unique<QTemporaryDir>();
    const QString outPath = m_tempDir->filePath(QStringLiteral("stdout"));
    const QString errPath = m_tempDir->filePath(QStringLiteral("stderr"));
    QStringList args{QStringLiteral("--port"), QString::number(options.port)};
    if (!options.user.isEmpty())
        args << QStringLiteral("--user") << options.user << QStringLiteral("--password") << options.password;
    if (options.endAfterSeconds > 0)
        args << QStringLiteral("--end-after") << QString::number(options.endAfterSeconds);
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(outPath);
    m_process->setStandardErrorFile(errPath);
    m_process->start(QStringLiteral(LUMORA_RTSP_TESTSERVER_PATH), args);
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = m_process->errorString();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs && m_process->state() != QProcess::NotRunning) {
        QFile out(outPath);
        if (out.open(QIODevice::ReadOnly)) {
            const QByteArray line = out.readLine();
            if (line.endsWith('\n')) {
                m_port = quint16(line.trimmed().toUInt());
                return m_port != 0;
            }
        }
        m_process->waitForFinished(20); // doubles as a short sleep
    }
    QFile err(errPath);
    err.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("no port from the RTSP server; stderr: %1").arg(QString::fromLocal8Bit(err.readAll()));
    stop();
    return false;
}

void RtspServerProcess::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    m_process.reset();
}

QString RtspServerProcess::address(quint16 port, const QString &user, const QString &password)
{
    const QString login = user.isEmpty() ? QString() : user + QLatin1Char(':') + password + QLatin1Char('@');
    return QLatin1String("rtsp://") + login + QStringLiteral("127.0.0.1:%1/cam").arg(port);
}

quint16 RtspServerProcess::unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
