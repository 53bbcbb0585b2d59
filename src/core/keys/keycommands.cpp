#include "keycommands.h"

#include "core/keys/keycodes.h"

namespace key_commands {

std::optional<int> navigationTarget(int keyCode, int currentCam, int camCount)
{
    switch (keyCode) {
    case keycodes::PageUp: return currentCam - 10;
    case keycodes::PageDown: return currentCam + 10;
    case keycodes::End: return camCount - 1;
    case keycodes::Home: return 0;
    case keycodes::Up: return currentCam - 1;
    case keycodes::Down: return currentCam + 1;
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
    const QChar c = keycodes::commandLetter(keyCode);
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
