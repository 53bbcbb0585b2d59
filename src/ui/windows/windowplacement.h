#pragma once
// Placements that span windows.

// Lays the main window out over its client size (the rules of main_layout), then redraws
// the picture into the main and the fullscreen picture area, empties the fullscreen
// countdown's fill and re-places the cam list's rows. Does nothing while the window is
// minimised.
class MainWindow;
class FullscreenWindow;

void layOutMainWindow(MainWindow &mainWindow, FullscreenWindow &fullscreen, int camCount);

// Holds the main window's client area at the smallest size at which the layout keeps
// every control whole: the menu strip's buttons and interval controls side by side, the
// status bar inside the window, and the comment bar at most half the picture's height.
void setMainWindowMinimumSize(MainWindow &mainWindow);
