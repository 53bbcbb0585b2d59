#pragma once
// SIGTERM, SIGINT and SIGHUP (a session logging out, Ctrl+C in a terminal, `kill`) end
// the program in order, as closing the main window does: working files removed, the
// screen saver given back. The handler itself only writes the signal's number into a
// socket pair; the event loop reads it and announces received().
#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    // Puts the default handlers back.
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
