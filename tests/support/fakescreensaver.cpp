// A stand-in for the desktop's screen saver services on a private session bus: it takes
// the names the arguments ask for ("screensaver", "portal") and writes every call it
// receives as one line on standard output:
//   Inhibit <application> | <reason> -> <cookie>
//   UnInhibit <cookie>
//   PortalInhibit <flags> | <reason> -> <request path>
//   Close <request path>
// and "ready" once its names are taken.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

class ScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public slots:
    uint Inhibit(const QString &application, const QString &reason)
    {
        const uint cookie = ++m_last;
        say(QStringLiteral("Inhibit %1 | %2 -> %3").arg(application, reason).arg(cookie));
        return cookie;
    }
    void UnInhibit(uint cookie) { say(QStringLiteral("UnInhibit %1").arg(cookie)); }

private:
    uint m_last = 4710;
};

class PortalRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    explicit PortalRequest(QString path, QObject *parent)
        : QObject(parent)
        , m_path(std::move(path))
    {
    }
public slots:
    void Close()
    {
        say(QStringLiteral("Close %1").arg(m_path));
        QDBusConnection::sessionBus().unregisterObject(m_path);
        deleteLater();
    }

private:
    QString m_path;
};

class Portal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public slots:
    QDBusObjectPath Inhibit(const QString &window, uint flags, const QVariantMap &options)
    {
        Q_UNUSED(window);
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/fake/%1").arg(++m_last);
        auto *request = new PortalRequest(path, this);
        QDBusConnection::sessionBus().registerObject(path, request, QDBusConnection::ExportAllSlots);
        say(QStringLiteral("PortalInhibit %1 | %2 -> %3").arg(flags).arg(options.value(QStringLiteral("reason")).toString(), path));
        return QDBusObjectPath(path);
    }

private:
    int m_last = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no session bus\n");
        return 1;
    }
    const QStringList wanted = app.arguments().mid(1);
    ScreenSaver screenSaver;
    Portal portal;
    if (wanted.contains(QStringLiteral("screensaver"))) {
        bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver, QDBusConnection::ExportAllSlots);
        if (!bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")))
            return 1;
    }
    if (wanted.contains(QStringLiteral("portal"))) {
        bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal, QDBusConnection::ExportAllSlots);
        if (!bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
            return 1;
    }
    say(QStringLiteral("ready"));
    return app.exec();
}

#include "fakescreensaver.moc"
