// Starts lumora-rtsp-testserver (an RTSP server of H.264 test pictures) on 127.0.0.1 for one
// test and stops it again. Calls block and need no running event loop.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class RtspServerProcess {
public:
    struct Options {
        quint16 port = 0;          // 0: a free one
        QString user;              // with password: clients must log in (basic)
        QString password;
        int endAfterSeconds = 0;   // each session ended by the server this long after it began
    };
    ~RtspServerProcess();          // kills the server if still running
    bool start(const Options &options, int timeoutMs = 10000);
    void stop();
    quint16 port() const { return m_port; }
    // rtsp://[user:password@]127.0.0.1:<port>/cam
    static QString address(quint16 port, const QString &user = QString(), const QString &password = QString());
    QString errorString() const { return m_error; }

    // A port on 127.0.0.1 nothing listens on (for now).
    static quint16 unusedPort();

private:
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    quint16 m_port = 0;
    QString m_error;
};
