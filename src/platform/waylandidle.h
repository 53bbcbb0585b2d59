#pragma once
// The Wayland compositor's idle inhibitor, kept apart so no Wayland header reaches the rest
// of the program.

class QWindow;
struct zwp_idle_inhibitor_v1;

namespace wayland_idle {

// Asks the compositor not to blank or lock the screen while `window`'s surface is visible.
// The inhibitor returned belongs to the caller, who gives it back with release(). Null where
// the program does not run on Wayland, the window has no surface (it is not shown), or the
// compositor lacks the idle-inhibit protocol; nothing is asked then. The compositor drops an
// inhibitor by itself when the surface or the connection goes.
zwp_idle_inhibitor_v1 *inhibit(QWindow *window);

// Gives an inhibitor back at once; null does nothing.
void release(zwp_idle_inhibitor_v1 *inhibitor);

} // namespace wayland_idle
