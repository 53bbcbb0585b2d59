#include "keycommands.h"

#include "catalogue/ansitext.h"

namespace key_commands {

std::optional<int> navigationTarget(int keyCode, int currentCam, int camCount)
{
    switch (keyCode) {
    case 33: return currentCam - 10; // Page Up
    case 34: return currentCam + 10; // Page Down
    case 35: return camCount - 1;    // End
    case 36: return 0;               // Home
    case 38: return currentCam - 1;  // Up
    case 40: return currentCam + 1;  // Down
    default: return std::nullopt;
    }
}

int clampTarget(int target, int camCount)
{
    if (target <= -1)
        target = 0;
    if (target >= camCount)
        target = camCount - 1;
    return target;
}

Letter letterCommand(int keyCode)
{
    if (keyCode < 0 || keyCode > 255)
        return Letter::None;
    const QChar c = ansi::decode(QByteArray(1, char(keyCode))).at(0).toLower();
    if (c == QLatin1Char('r'))
        return Letter::RandomCam;
    if (c == QLatin1Char('s'))
        return Letter::ScaleMode;
    if (c == QLatin1Char('c'))
        return Letter::Comments;
    if (c == QLatin1Char('a'))
        return Letter::AutoShuffle;
    return Letter::None;
}

} // namespace key_commands
