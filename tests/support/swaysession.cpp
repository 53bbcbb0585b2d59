#include "swaysession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int SocketWaitMs = 10000;
constexpr int ToolWaitMs = 15000;

void collectWindows(const QJsonObject &node, QList<QJsonObject> &windows)
{
    // Views carry the client's process id; outputs, workspaces and split containers do not.
    if (node.contains(QStringLiteral("pid")))
        windows.append(node);
    for (const char *children : {"nodes", "floating_nodes"})
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray())
            collectWindows(child.toObject(), windows);
}

} // namespace

SwaySession::~SwaySession()
{
    stop();
}

bool SwaySession::start(QSize output, QString *why)
{
    const QString sway = QStandardPaths::findExecutable(QStringLiteral("sway"));
    if (sway.isEmpty()) {
        *why = QStringLiteral("sway is not installed");
        return false;
    }
    if (!m_runtime.isValid() || !m_clientRuntime.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    QString program = sway;
    QStringList arguments;
    if (::geteuid() == 0) {
        // sway will not run as root: as nobody, in a runtime folder that user owns.
        const passwd *nobody = ::getpwnam("nobody");
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (!nobody || setpriv.isEmpty()) {
            *why = QStringLiteral("running as root, and no user nobody or no setpriv to run sway as another user");
            return false;
        }
        if (::chown(QFile::encodeName(m_runtime.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            *why = QStringLiteral("cannot hand the runtime folder to nobody");
            return false;
        }
        program = setpriv;
        arguments << QStringLiteral("--reuid=%1").arg(nobody->pw_uid) << QStringLiteral("--regid=%1").arg(nobody->pw_gid)
                  << QStringLiteral("--clear-groups") << sway;
    }
    ::chmod(QFile::encodeName(m_runtime.path()).constData(), 0700);

    // The output's size and nothing else: no bar, no key bindings, no idle rules.
    const QString config = m_runtime.filePath(QStringLiteral("config"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QStringLiteral("output HEADLESS-1 resolution %1x%2\n").arg(output.width()).arg(output.height()).toLatin1()) < 0) {
        *why = QStringLiteral("cannot write the sway config");
        return false;
    }
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    arguments << QStringLiteral("-c") << config;

    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    env.insert(QStringLiteral("HOME"), m_runtime.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    m_sway.setProcessEnvironment(env);
    m_sway.setProcessChannelMode(QProcess::MergedChannels);
    m_sway.setStandardOutputFile(m_clientRuntime.filePath(QStringLiteral("sway.log")));
    m_sway.start(program, arguments);
    if (!m_sway.waitForStarted(5000)) {
        *why = QStringLiteral("sway did not start: %1").arg(m_sway.errorString());
        return false;
    }

    const QDir dir(m_runtime.path());
    const QDeadlineTimer deadline(SocketWaitMs);
    while (!deadline.hasExpired() && m_sway.state() == QProcess::Running) {
        const QStringList displays = dir.entryList({QStringLiteral("wayland-*")}, QDir::System).filter(QRegularExpression(QStringLiteral("^wayland-\\d+$")));
        const QStringList ipc = dir.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        if (!displays.isEmpty() && !ipc.isEmpty()) {
            m_display = dir.filePath(displays.first());
            m_ipc = dir.filePath(ipc.first());
            if (!tree().isEmpty())
                return true;
        }
        QThread::msleep(50);
    }
    *why = QStringLiteral("sway's sockets did not appear; its log: %1").arg(compositorLog());
    stop();
    return false;
}

void SwaySession::stop()
{
    if (m_sway.state() == QProcess::NotRunning)
        return;
    m_sway.terminate();
    if (!m_sway.waitForFinished(5000)) {
        m_sway.kill();
        m_sway.waitForFinished(5000);
    }
}

QProcessEnvironment SwaySession::clientEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_display);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_clientRuntime.path());
    env.insert(QStringLiteral("SWAYSOCK"), m_ipc);
    for (const char *name : {"DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        env.remove(QLatin1String(name));
    return env;
}

bool SwaySession::run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                      QByteArray *out, QString *why) const
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(ToolWaitMs);
    if (out)
        *out = process.readAllStandardOutput();
    if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    if (!ended)
        process.kill();
    if (why)
        *why = QStringLiteral("%1 %2: %3 %4").arg(program, arguments.join(QLatin1Char(' ')),
                                                  ended ? QStringLiteral("exit code %1").arg(process.exitCode()) : process.errorString(),
                                                  QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    process.waitForFinished(1000);
    return false;
}

QJsonObject SwaySession::tree(QString *why) const
{
    QByteArray out;
    if (m_ipc.isEmpty() || !run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")},
                                clientEnvironment(), &out, why))
        return {};
    return QJsonDocument::fromJson(out).object();
}

QList<QJsonObject> SwaySession::windows() const
{
    QList<QJsonObject> found;
    collectWindows(tree(), found);
    return found;
}

QRect SwaySession::rectOf(const QJsonObject &window)
{
    const QJsonObject r = window.value(QStringLiteral("rect")).toObject();
    return QRect(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt(),
                 r.value(QStringLiteral("width")).toInt(), r.value(QStringLiteral("height")).toInt());
}

QImage SwaySession::grab(QString *why) const
{
    const QString file = m_clientRuntime.filePath(QStringLiteral("shot.png"));
    QFile::remove(file);
    if (!run(QStringLiteral("grim"), {file}, clientEnvironment(), nullptr, why))
        return {};
    QImage shot(file);
    if (shot.isNull() && why)
        *why = QStringLiteral("grim wrote no picture");
    return shot.convertToFormat(QImage::Format_RGB32);
}

bool SwaySession::type(const QStringList &arguments, QString *why) const
{
    // Each run is a new virtual keyboard, which the seat announces to the client late: a key
    // sent at once would go missing.
    return run(QStringLiteral("wtype"), QStringList{QStringLiteral("-s"), QStringLiteral("1000")} + arguments,
               clientEnvironment(), nullptr, why);
}

QString SwaySession::compositorLog() const
{
    QFile log(m_clientRuntime.filePath(QStringLiteral("sway.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(2000)) : QString();
}
