#include "xscreensaver.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace x_screen_saver {

bool suspend(bool suspended)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    // Without the extension the call would be an X protocol error, which ends the program.
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XScreenSaverQueryExtension(display, &eventBase, &errorBase)
        || !XScreenSaverQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 1))
        return false;
    XScreenSaverSuspend(display, suspended ? True : False);
    XFlush(display);
    return true;
}

} // namespace x_screen_saver
