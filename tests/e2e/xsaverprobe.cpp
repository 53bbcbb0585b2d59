#include "xsaverprobe.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace x_saver_probe {

namespace {

Display *display()
{
    static Display *const d = XOpenDisplay(nullptr);
    return d;
}

} // namespace

bool setTimeout(int seconds)
{
    Display *d = display();
    if (!d)
        return false;
    XSetScreenSaver(d, seconds, 0, PreferBlanking, DefaultExposures);
    if (seconds == 0)
        XForceScreenSaver(d, ScreenSaverReset);
    XSync(d, False);
    return true;
}

bool isActive()
{
    Display *d = display();
    if (!d)
        return false;
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    const bool on = XScreenSaverQueryInfo(d, DefaultRootWindow(d), info) && info->state == ScreenSaverOn;
    XFree(info);
    return on;
}

} // namespace x_saver_probe
