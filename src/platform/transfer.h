#pragma once
// Transfer: the program's one Downloader. Each start() makes a handler that runs its request
// in this thread's libcurl multi handle under the policy described in download.h; the
// handlers belong to the Transfer until they delete themselves after finished().
#include "platform/download.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class CurlDownload;
class CurlMulti;

class Transfer : public QObject, public Downloader
{
    Q_OBJECT
public:
    // State codes, rising as a transfer advances.
    enum State : int {
        Idle = 0,
        ResolvingHost = 1,
        Connecting = 3,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Failed = 11,
        ResponseCompleted = 12,
    };

    explicit Transfer(QObject *parent = nullptr);
    ~Transfer() override;

    // A new handler, owned by the Transfer until it deletes itself after finished().
    DownloadHandler *start(const DownloadRequest &request) override;
    void cancel() override;
    bool hasRunning() const { return !m_running.isEmpty(); }
    // The address the last start() was asked for, as given.
    QString lastAddress() const { return m_lastAddress; }

signals:
    void stateChanged(int code);

private:
    friend class CurlDownload;

    std::shared_ptr<CurlMulti> m_multi;
    QString m_lastAddress;
    QList<CurlDownload *> m_running;
};
