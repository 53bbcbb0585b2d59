#pragma once
// Inside the downloads only: how many body bytes the transfers of one thread take in one
// turn of its event loop.
//
// libcurl reads a socket for as long as it holds data, up to a hundred buffers a call, and
// every transfer whose socket is ready reads in the same turn, all on this thread: a fast
// sender could hand its transfer tens of megabytes at once, each fresh page of them a page
// fault, while the windows wait. So the transfers of a thread take at most PerTurnBytes
// together (and the one buffer that crosses it) before the event loop turns again; a
// transfer refused more pauses, and is resumed from a later turn, in the order refused.
//
// take() runs in libcurl's body callback; a resume runs from the event loop, never within
// a libcurl call.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

class ReadPacing : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 PerTurnBytes = 2 * 1024 * 1024;

    // This thread's, made on first use; it lives while anyone holds it.
    static std::shared_ptr<ReadPacing> forThisThread();

    // Whether bytes more may be taken in this turn; they are counted if so.
    bool take(qint64 bytes);
    // resume runs from a later turn, unless context is gone by then.
    void resumeLater(QObject *context, std::function<void()> resume);

private:
    ReadPacing();
    void nextTurn();

    QTimer m_turn;
    qint64 m_taken = 0;
    QList<std::pair<QPointer<QObject>, std::function<void()>>> m_waiting;
};
