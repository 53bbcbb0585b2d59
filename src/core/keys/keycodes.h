#pragma once
// Key codes of the program's key handlers.
//
// The handlers work on the virtual-key codes of the keyboard the program was first written
// for: a letter is its upper-case character code whatever the shift state ('A'..'Z' =
// 65..90), a digit its character code (48..57), the keypad digits 96..105, F1..F24
// 112..135, and fixed codes for the named keys (Escape 27, Space 32, arrows 37..40 ...).
// virtualKeyCode() maps a Qt key event (key and modifiers, Qt::KeypadModifier telling the
// keypad apart) to that code; keys that have no such code, punctuation among them since its
// code depends on the keyboard layout, give 0.
#include <QChar>
#include <Qt>

namespace keycodes {

inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int Enter = 13;
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int End = 35;
inline constexpr int Home = 36;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Insert = 45;
inline constexpr int Delete = 46;
inline constexpr int Numpad0 = 96;
inline constexpr int F1 = 112;

int virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);

// The key code read as a character and lower-cased: how the letter commands recognise
// their keys, so that the I key (73) and keypad 9 (105) both read as "i".
QChar commandLetter(int keyCode);

} // namespace keycodes
