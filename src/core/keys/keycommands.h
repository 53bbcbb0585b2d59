#pragma once
// The main window's key commands, free of widgets. Key codes are the platform's
// virtual-key codes; Shift, Ctrl and Alt are not looked at.
#include <QString>

#include <optional>

namespace key_commands {

// Page Up/Down move ten cams, Home/End to the ends, Up/Down one cam. The target is not
// yet clamped; nothing for any other key.
std::optional<int> navigationTarget(int keyCode, int currentCam, int camCount);

// Into the list: -1 and below to 0, camCount and above to the last cam.
int clampTarget(int target, int camCount);

// The letter commands, recognised through the code read as a character and lower-cased,
// so keypad 1 and 3 and F3 and F4 (97, 99, 114, 115) act as a, c, r and s.
enum class Letter { None, RandomCam, ScaleMode, Comments, AutoShuffle };
Letter letterCommand(int keyCode);

inline QString onOff(bool checked) { return checked ? QStringLiteral("on") : QStringLiteral("off"); }
inline QString scaleModeMessage(const QString &caption) { return QStringLiteral("Scale mode: ") + caption; }
inline QString commentsMessage(bool on) { return QStringLiteral("Comments turned ") + onOff(on); }
inline QString autoShuffleMessage(bool on) { return QStringLiteral("Auto shuffle turned ") + onOff(on); }

} // namespace key_commands
