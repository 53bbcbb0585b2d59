#pragma once
// The X server's screen saver seen from a client of its own, apart from the program's
// connection (X headers stay out of the tests' Qt code).

namespace x_saver_probe {

// As `xset s SECONDS` does: the screen saver starts after that many idle seconds; 0 turns it
// off and wakes the screen.
bool setTimeout(int seconds);

// The screen saver is on: the screen is blanked.
bool isActive();

} // namespace x_saver_probe
