#include "screensaver.h"

#include "platform/xscreensaver.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QVariantMap>

namespace {

const QString ScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString ScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString PortalRequest = QStringLiteral("org.freedesktop.portal.Request");
// The portal's flag for "the session goes idle" (the screen saver and blanking).
constexpr quint32 PortalIdle = 8;
// How long the release at the end may hold the program up.
constexpr int ReleaseWaitMs = 500;

QString applicationName()
{
    const QString name = QGuiApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("lumora-viewer") : name;
}

} // namespace

const QString ScreenSaverInhibitor::Reason = QStringLiteral("Watching a cam in the fullscreen window");

ScreenSaverInhibitor::ScreenSaverInhibitor(QObject *parent)
    : QObject(parent)
{
}

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    releaseNow();
}

void ScreenSaverInhibitor::releaseNow()
{
    m_wanted = false;
    release(true);
    suspendXScreenSaver(false);
}

QDBusConnection &ScreenSaverInhibitor::bus()
{
    if (!m_bus)
        m_bus = QDBusConnection::sessionBus();
    return *m_bus;
}

ScreenSaverInhibitor::Route ScreenSaverInhibitor::route() const
{
    return m_route;
}

void ScreenSaverInhibitor::setInhibited(bool inhibited)
{
    if (inhibited == m_wanted)
        return;
    m_wanted = inhibited;
    suspendXScreenSaver(inhibited);
    if (!inhibited) {
        release(false);
        return;
    }
    // A request still on its way is kept when it arrives; a granted one is still held.
    if (!m_asking && m_route == Route::None)
        askScreenSaver();
}

void ScreenSaverInhibitor::askScreenSaver()
{
    if (!bus().isConnected()) {
        emit routeChanged();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(ScreenSaverService, ScreenSaverPath, ScreenSaverService,
                                                       QStringLiteral("Inhibit"));
    call << applicationName() << Reason;
    m_asking = true;
    auto *watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &ScreenSaverInhibitor::screenSaverAnswered);
}

void ScreenSaverInhibitor::askPortal()
{
    QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, PortalInhibit,
                                                       QStringLiteral("Inhibit"));
    QVariantMap options;
    options.insert(QStringLiteral("reason"), Reason);
    call << QString() << PortalIdle << options;
    m_asking = true;
    auto *watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &ScreenSaverInhibitor::portalAnswered);
}

void ScreenSaverInhibitor::screenSaverAnswered(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    m_asking = false;
    const QDBusPendingReply<quint32> reply = *call;
    if (reply.isError()) {
        // No screen saver service on this bus: a sandboxed or portal-only desktop.
        if (m_wanted)
            askPortal();
        return;
    }
    m_cookie = reply.value();
    m_route = Route::ScreenSaver;
    // Watching stopped while the request was on its way: give it back at once.
    if (!m_wanted)
        release(false);
    emit routeChanged();
}

void ScreenSaverInhibitor::portalAnswered(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    m_asking = false;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
        emit routeChanged();
        return;
    }
    m_portalRequest = reply.value().path();
    m_route = Route::Portal;
    if (!m_wanted)
        release(false);
    emit routeChanged();
}

void ScreenSaverInhibitor::release(bool waitForTheBus)
{
    QDBusMessage call;
    switch (m_route) {
    case Route::None:
        return;
    case Route::ScreenSaver:
        call = QDBusMessage::createMethodCall(ScreenSaverService, ScreenSaverPath, ScreenSaverService,
                                              QStringLiteral("UnInhibit"));
        call << m_cookie;
        break;
    case Route::Portal:
        call = QDBusMessage::createMethodCall(PortalService, m_portalRequest, PortalRequest, QStringLiteral("Close"));
        break;
    }
    m_route = Route::None;
    m_cookie = 0;
    m_portalRequest.clear();
    if (waitForTheBus) {
        // The program is ending: make sure the release has left before the connection
        // closes. Blocks without an event loop, for a short moment at most.
        bus().call(call, QDBus::Block, ReleaseWaitMs);
        return;
    }
    bus().send(call);
    emit routeChanged();
}

void ScreenSaverInhibitor::suspendXScreenSaver(bool suspend)
{
    if (suspend == m_xSuspended)
        return;
    // Resuming only what this object suspended.
    if (x_screen_saver::suspend(suspend) || !suspend)
        m_xSuspended = suspend;
}
