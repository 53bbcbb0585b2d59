#pragma once
// How cams' refreshes have gone of late, wherever they were refreshed (the main window or a
// tile of the wall); times are milliseconds since the epoch, 0 for never.
#include "core/rules/retryrules.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

struct CamHealth
{
    int failuresInARow = 0;
    qint64 lastFailureMs = 0;
    // Since when its picture has counted as unchanged; 0 while it changes.
    qint64 unchangedSinceMs = 0;

    // Whether it failed within retry_rules::AvoidAfterFailureMs of nowMs.
    bool failedLately(qint64 nowMs) const
    {
        return lastFailureMs > 0 && nowMs >= lastFailureMs && nowMs - lastFailureMs < retry_rules::AvoidAfterFailureMs;
    }
};

class CamHealthTable : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // A cam never refreshed is healthy.
    CamHealth of(const QString &camId) const { return m_cams.value(camId); }
    const QHash<QString, CamHealth> &all() const { return m_cams; }

    // A refresh showed a picture, unchanged since then if so.
    void pictureShown(const QString &camId, std::optional<qint64> unchangedSince);
    // A refresh showed none at nowMs; failures long past say nothing of the cam now, so
    // the count starts again after them.
    void refreshFailed(const QString &camId, qint64 nowMs);
    // For a catalogue read anew, and for tests that set a cam's record outright.
    void set(const QString &camId, const CamHealth &health);
    void clear();

signals:
    void changed(const QString &camId);
    void cleared();

private:
    QHash<QString, CamHealth> m_cams;
};
