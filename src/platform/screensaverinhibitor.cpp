#include "screensaverinhibitor.h"

#include "platform/waylandidle.h"
#include "platform/xscreensaver.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QVariantMap>
#include <QWindow>

#include <cstdio>

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
const char ScreenSaverInhibitor::NothingKeepsTheScreenOn[] =
    "lumora-viewer: nothing keeps the screen on while watching: no screen saver service, desktop portal, "
    "X screen saver or Wayland idle inhibitor";

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
    watchWindow(nullptr);
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

void ScreenSaverInhibitor::setInhibited(bool inhibited, QWindow *window)
{
    if (inhibited == m_wanted) {
        if (inhibited)
            watchWindow(window);
        return;
    }
    m_wanted = inhibited;
    suspendXScreenSaver(inhibited);
    if (!inhibited) {
        watchWindow(nullptr);
        release(false);
        return;
    }
    watchWindow(window);
    // A request still on its way is kept when it arrives; a granted one is still held.
    if (!m_asking && m_route == Route::None) {
        m_busDeclined = false;
        askScreenSaver();
    }
}

void ScreenSaverInhibitor::askScreenSaver()
{
    if (!bus().isConnected()) {
        m_busDeclined = true;
        emit routeChanged();
        sayIfNothingHolds();
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
        m_busDeclined = true;
        emit routeChanged();
        sayIfNothingHolds();
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

void ScreenSaverInhibitor::watchWindow(QWindow *window)
{
    if (window != m_window) {
        releaseOnWayland();
        if (m_window)
            m_window->removeEventFilter(this);
        m_window = window;
        if (window)
            window->installEventFilter(this);
    }
    holdOnWayland();
}

bool ScreenSaverInhibitor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Expose:
            // The surface exists once the window is shown, not when it is told to show.
            holdOnWayland();
            break;
        case QEvent::Hide:
            releaseOnWayland();
            break;
        case QEvent::PlatformSurface:
            if (static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
                releaseOnWayland();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ScreenSaverInhibitor::holdOnWayland()
{
    if (!m_wanted || m_waylandInhibitor || !m_window)
        return;
    m_waylandInhibitor = wayland_idle::inhibit(m_window);
    sayIfNothingHolds();
}

void ScreenSaverInhibitor::releaseOnWayland()
{
    wayland_idle::release(m_waylandInhibitor);
    m_waylandInhibitor = nullptr;
}

void ScreenSaverInhibitor::sayIfNothingHolds()
{
    static bool said = false;
    if (said || !m_wanted || !m_busDeclined || m_xSuspended || m_waylandInhibitor)
        return;
    // The compositor can be asked only once the window shows; wait for that.
    if (m_window && !m_window->isExposed())
        return;
    said = true;
    std::fprintf(stderr, "%s\n", NothingKeepsTheScreenOn);
    std::fflush(stderr);
}
