#pragma once
// The viewer's command line, read before any application object exists so that --help,
// --version and a mistyped option answer without a display.
//
// parseCommandLine() takes the whole argument list (program name first) and never exits:
// the caller prints and ends. Qt's own start-up options (-platform, -display, -style, ...)
// are accepted and left for QApplication to act on. canReachDisplay() tells whether the
// window system Qt would pick has a server to talk to, so a missing one is reported in one
// line instead of the platform plugin's abort.
#include "core/geometry/scalegeometry.h"

#include <QString>
#include <QStringList>

#include <optional>

// How the viewer starts, from the options for kiosks and scripts; nothing set is the
// ordinary start (a random cam, the intervals and mode of the toolbar, the main window).
struct StartOptions
{
    bool fullscreen = false;                 // --fullscreen
    QString camId;                           // --cam: this cam instead of a random one
    std::optional<QString> shuffleSeconds;   // --shuffle: auto shuffle on at this interval
    std::optional<QString> refreshSeconds;   // --refresh
    std::optional<ViewScaleMode> scaleMode;  // --scale
    std::optional<int> maxFramesPerSecond;   // --max-fps: a live cam's frames shown per second at most
};

struct CommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, UsageError };
    Action action = Action::Run;
    // For ShowHelp and UsageError: the usage and the list of options.
    QString usage;
    // For UsageError: what was wrong, one line.
    QString error;
    // -platform and -display as given, empty when absent.
    QString platform;
    QString display;
    StartOptions start;
    // --config: the config.ini to read, its folder holding the working files; empty to look
    // in the usual places.
    QString configFile;
};

CommandLine parseCommandLine(const QStringList &arguments);

// "lumora viewer 5 version 5.0"
QString versionLine();

// The window system Qt will use is named by platform (a -platform value or QT_QPA_PLATFORM,
// possibly a ';'-separated list); display and waylandDisplay are the X and Wayland display
// names (from -display or DISPLAY, and WAYLAND_DISPLAY). Platforms that need no display
// server (offscreen, minimal, vnc, ...) always can.
bool canReachDisplay(const QString &platform, const QString &display, const QString &waylandDisplay);
