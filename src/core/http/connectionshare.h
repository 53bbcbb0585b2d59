#pragma once
// Which waiting transfers may start now: a host's connections shared fairly between its
// stills, and live streams given connections of their own.
//
// A still holds one of its host's StillsPerHost shares only while it is younger than its own
// time-out: a still that has run that long (stalled, or trickling towards its deadline) keeps
// its connection but no longer keeps others waiting, so no still waits behind stalled ones
// for more than one time-out. A live stream holds its connection for as long as it runs, up
// to StreamsPerHost of them per host. TransfersAtOnce bounds them all together.
//
// A host is what the address names: scheme, host and port.
#include <QList>
#include <QString>

namespace connection_share {

inline constexpr int StillsPerHost = 6;
// The largest wall of one host's live cams, with the selected cam live beside it, and room.
inline constexpr int StreamsPerHost = 32;
// Far under the files a process may hold open by default (1024), with the program's own.
inline constexpr int TransfersAtOnce = 128;

struct Running
{
    QString host;
    bool live = false;
    qint64 startedMs = 0;
    int timeoutMs = 0;
};

struct Waiting
{
    QString host;
    bool live = false;
};

// "http://cams.example.test:80" for http://cams.example.test/a.jpg: the port is always named.
QString hostOf(const QString &scheme, const QString &host, int port);

// The indexes into waiting of those that may start now, in their order; the others keep
// their turn (a host's waiting transfers start in the order they came).
QList<int> mayStart(const QList<Running> &running, const QList<Waiting> &waiting, qint64 nowMs);

// When the next running still stops holding its share, for waiting transfers of its host;
// -1 when none will.
qint64 nextShareFreedMs(const QList<Running> &running, const QList<Waiting> &waiting, qint64 nowMs);

} // namespace connection_share
