#pragma once
// A headless sway for one test: its own runtime folder and a config that sets the output's
// size and nothing else, run as an unprivileged user where the test runs as root (sway
// refuses root). Clients of the test (the viewer, grim, wtype) reach it through
// clientEnvironment(); swaymsg through the IPC socket. Everything blocks and needs no
// event loop; the compositor is stopped by stop() or the destructor.
#include <QImage>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class SwaySession
{
public:
    SwaySession() = default;
    ~SwaySession();
    SwaySession(const SwaySession &) = delete;
    SwaySession &operator=(const SwaySession &) = delete;

    // Starts sway with one output of `output` pixels; false with the reason where it cannot
    // run here (not installed, no user to run it as, no socket within the time).
    bool start(QSize output, QString *why);
    void stop();

    // The environment of a Wayland client of this compositor: WAYLAND_DISPLAY as a whole
    // path, a runtime folder of the client's own, no X display and no session bus.
    QProcessEnvironment clientEnvironment() const;

    // swaymsg -t get_tree; an empty object where sway does not answer.
    QJsonObject tree(QString *why = nullptr) const;
    // Every window (view) in the tree, floating ones included, in the tree's order.
    QList<QJsonObject> windows() const;
    // A window's place on the output, from its "rect".
    static QRect rectOf(const QJsonObject &window);
    // The whole output, through grim; null with the reason on failure.
    QImage grab(QString *why = nullptr) const;
    // Runs wtype with these arguments (waiting first for the seat to see its keyboard).
    bool type(const QStringList &arguments, QString *why = nullptr) const;

    QString compositorLog() const;

private:
    bool run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
             QByteArray *out, QString *why) const;

    QTemporaryDir m_runtime;         // sway's own, owned by the user it runs as
    QTemporaryDir m_clientRuntime;   // the clients'
    QProcess m_sway;
    QString m_display;               // the socket's whole path
    QString m_ipc;                   // the IPC socket's whole path
};
