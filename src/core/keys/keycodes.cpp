#include "keycodes.h"

#include <QChar>

namespace keycodes {

namespace {

int keypadCode(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return Numpad0 + (qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Asterisk: return 106;
    case Qt::Key_Plus: return 107;
    case Qt::Key_Minus: return 109;
    // The keypad's decimal key sends a comma in some layouts; it is the same key.
    case Qt::Key_Period:
    case Qt::Key_Comma: return 110;
    case Qt::Key_Slash: return 111;
    default: return 0;
    }
}

} // namespace

int virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (const int code = keypadCode(qtKey))
            return code;
        // Otherwise a keypad key with Num Lock off (Home, arrows ...) or the keypad's
        // Enter: the same codes as the keys of the main block.
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return F1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return Backspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return Tab;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return Enter;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return Escape;
    case Qt::Key_Space: return Space;
    case Qt::Key_PageUp: return PageUp;
    case Qt::Key_PageDown: return PageDown;
    case Qt::Key_End: return End;
    case Qt::Key_Home: return Home;
    case Qt::Key_Left: return Left;
    case Qt::Key_Up: return Up;
    case Qt::Key_Right: return Right;
    case Qt::Key_Down: return Down;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return Insert;
    case Qt::Key_Delete: return Delete;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    default: return 0;
    }
}

QChar commandLetter(int keyCode)
{
    if (keyCode <= 0 || keyCode > 0xFFFF)
        return QChar();
    return QChar(char16_t(keyCode)).toLower();
}

} // namespace keycodes
