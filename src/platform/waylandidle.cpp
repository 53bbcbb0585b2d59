#include "waylandidle.h"

#include "idle-inhibit-unstable-v1-client-protocol.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include <cstring>

namespace {

wl_display *waylandDisplay()
{
    if (!qGuiApp || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return nullptr;
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
}

void globalAnnounced(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *manager = static_cast<zwp_idle_inhibit_manager_v1 **>(data);
    if (!*manager && std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
        *manager = static_cast<zwp_idle_inhibit_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}

void globalRemoved(void *, wl_registry *, uint32_t)
{
}

const wl_registry_listener RegistryListener{globalAnnounced, globalRemoved};

// The compositor's inhibit manager, looked up once per connection; null where it has none.
// The registry is read on a queue of our own, so the round trip dispatches none of Qt's
// events and runs no event loop; the manager stays on that queue, which never receives
// anything after (neither the manager nor its inhibitors have events).
zwp_idle_inhibit_manager_v1 *inhibitManager(wl_display *display)
{
    static wl_display *lookedUpOn = nullptr;
    static zwp_idle_inhibit_manager_v1 *manager = nullptr;
    if (display == lookedUpOn)
        return manager;
    lookedUpOn = display;
    manager = nullptr;
    wl_event_queue *queue = wl_display_create_queue(display);
    auto *ours = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(ours), queue);
    wl_registry *registry = wl_display_get_registry(ours);
    wl_proxy_wrapper_destroy(ours);
    wl_registry_add_listener(registry, &RegistryListener, &manager);
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    return manager;
}

} // namespace

namespace wayland_idle {

zwp_idle_inhibitor_v1 *inhibit(QWindow *window)
{
    wl_display *display = waylandDisplay();
    if (!display || !window || !window->handle())
        return nullptr;
    auto *surface = static_cast<wl_surface *>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", window));
    if (!surface)
        return nullptr;
    zwp_idle_inhibit_manager_v1 *manager = inhibitManager(display);
    if (!manager)
        return nullptr;
    zwp_idle_inhibitor_v1 *inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(manager, surface);
    wl_display_flush(display);
    return inhibitor;
}

void release(zwp_idle_inhibitor_v1 *inhibitor)
{
    if (!inhibitor)
        return;
    zwp_idle_inhibitor_v1_destroy(inhibitor);
    if (wl_display *display = waylandDisplay())
        wl_display_flush(display);
}

} // namespace wayland_idle
