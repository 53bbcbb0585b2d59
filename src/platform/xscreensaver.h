#pragma once
// The X server's own screen saver, kept apart so no X header reaches the rest of the
// program (their macros clash with ordinary names).

namespace x_screen_saver {

// Suspends (or resumes) the X server's screen saver and its blanking for this client, on
// the display the program's windows use. False where there is no X11 display or the
// server lacks the screen saver extension 1.1; nothing is changed then. The server ends a
// suspension by itself when the client's connection goes.
bool suspend(bool suspended);

} // namespace x_screen_saver
