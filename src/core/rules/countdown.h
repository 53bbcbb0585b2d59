#pragma once
// The refresh and auto-shuffle countdowns. A countdown is loaded from the text of an
// interval box and then counted down once per tick; until it is first counted it shows
// the text it was loaded from ("60"), afterwards a plain whole number (59).
//
// An interval box can hold anything that was pasted into it or nothing at all. A text
// that does not read as a whole number of seconds (0 to MaxIntervalSeconds, blanks
// around allowed) is not loaded: the last readable text of that box is used instead, so
// a countdown is always a whole number of ticks. The command line takes the same texts.
#include <QString>

#include <optional>

namespace countdown {

// Eight digits: anything longer is no number of seconds a box could mean.
inline constexpr int MaxIntervalSeconds = 99999999;

// The seconds an interval box's text stands for, or nothing.
std::optional<int> intervalSeconds(const QString &boxText);

// The text a countdown is loaded from: the box's text when it is readable (and then
// remembered in lastReadable), else the last readable text.
QString readInterval(const QString &boxText, QString &lastReadable);

// A countdown in ticks: a plain whole number, or loaded from an interval box's text and
// showing that text until first counted.
class Countdown
{
public:
    Countdown() = default;
    Countdown(int ticks) : m_ticks(ticks) {}
    static Countdown loadedFrom(const QString &boxText);

    int value() const { return m_ticks; }
    QString text() const { return m_loadedText.isNull() ? QString::number(m_ticks) : m_loadedText; }
    // One tick less.
    Countdown counted() const { return Countdown(m_ticks - 1); }

    bool operator==(const Countdown &other) const { return m_ticks == other.m_ticks && m_loadedText == other.m_loadedText; }
    bool operator!=(const Countdown &other) const { return !(*this == other); }

private:
    int m_ticks = 0;
    QString m_loadedText;
};

// The share of the auto-shuffle interval that has run, held to 0..1; an interval of 0
// counts as run out.
double fillFraction(int intervalSeconds, int countdownValue);

// The key filter of the interval boxes: the digits 0 to 9 and Backspace pass. 0 is a digit
// like the others: without it "10", "30" and "60" could not be typed, and an interval of
// 0 is a sound one (a refresh on every tick).
inline bool intervalKeyAllowed(int charCode) { return (charCode >= '0' && charCode <= '9') || charCode == '\b'; }

} // namespace countdown
