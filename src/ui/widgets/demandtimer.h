#pragma once
// A timer whose enabled flag is a switch that other parts read and write, and whose ticks
// run only while someone needs them.
//
// It ticks at its interval exactly while it is enabled and wanted; setWanted() is the
// owner's statement that the ticks have anything to do. Enabled but not wanted, it keeps its
// meaning (isEnabled() stays true) but its underlying timer is stopped and costs nothing.
// Neither call ticks by itself.
#include <QObject>
#include <QTimer>

class DemandTimer : public QObject
{
    Q_OBJECT
public:
    DemandTimer(int intervalMs, bool enabled, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isWanted() const { return m_wanted; }
    void setWanted(bool wanted);
    // Whether ticks are being produced now.
    bool isRunning() const { return m_timer.isActive(); }
    int interval() const { return m_timer.interval(); }

signals:
    void timeout();
    // The switch was turned, by any caller.
    void enabledChanged(bool enabled);

private:
    void sync();

    QTimer m_timer;
    bool m_enabled;
    bool m_wanted = false;
};
