// Starts lumora-camserver on 127.0.0.1 with a free port for one test and stops it again.
// All calls block and need no running event loop; they only ever talk to 127.0.0.1.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// One HTTP/1.0 exchange as seen on the wire, for checking broken answers exactly.
struct RawHttpReply {
    bool connected = false;      // the TCP connection was accepted
    bool timedOut = false;       // the time-out passed before the server closed the connection
    bool closedByServer = false; // the server closed (or reset) the connection
    int status = -1;             // -1 when no status line arrived
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;             // everything after the blank line, as received
    QByteArray raw;              // all bytes received
    qint64 elapsedMs = 0;

    QByteArray header(const QByteArray &name) const; // case-insensitive; empty if absent
    qint64 contentLength() const;                    // -1 if absent
    // A status line and headers arrived and the body is as long as Content-Length says.
    bool complete() const;
};

class CamServerProcess {
public:
    explicit CamServerProcess(const QStringList &extraArgs = {});
    ~CamServerProcess();                 // kills the server if still running
    bool start(int timeoutMs = 10000);   // runs LUMORA_CAMSERVER_PATH --port 0 --control <extraArgs>, waits for the port line
    quint16 port() const;
    QString baseUrl() const;             // "http://127.0.0.1:<port>"
    QStringList requests() const;        // "GET <path-with-query> <status>" lines seen so far (via /_control/requests)
    bool setFault(const QString &path, const QString &mode) const;  // via /_control/fault
    bool clearFaults() const;
    void stop();

    bool resetLog() const;               // via /_control/reset-log
    bool isRunning() const;
    QByteArray output() const;           // everything the server wrote to stdout so far
    QString errorString() const;         // why start() failed, including the server's stderr

    // GET target (path plus query) from this server with a plain HTTP/1.0 request.
    RawHttpReply get(const QByteArray &target, int timeoutMs = 5000,
                     const QList<QPair<QByteArray, QByteArray>> &extraHeaders = {}) const;
    static RawHttpReply rawGet(quint16 port, const QByteArray &target, int timeoutMs = 5000,
                               const QList<QPair<QByteArray, QByteArray>> &extraHeaders = {});

private:
    bool control(const QByteArray &target, QByteArray *body = nullptr) const;

    QStringList m_extraArgs;
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    quint16 m_port = 0;
    QString m_error;
};
