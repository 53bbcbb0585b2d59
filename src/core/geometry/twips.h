#pragma once
// Twips arithmetic: lengths in 1/1440 inch, 15 twips to a pixel.
// Results stored into 16-bit settings round to the nearest integer, halves to the even
// neighbour, and must fit into a signed 16-bit number.
#include <cmath>
#include <cstdint>
#include <optional>

namespace twips {

inline constexpr int PerPixel = 15;

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
inline double roundHalfEven(double x) { return std::nearbyint(x); }

// The 16-bit store: nothing when the rounded value does not fit.
inline std::optional<std::int16_t> toInt16(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    const double r = roundHalfEven(x);
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

// Twips to whole pixels at the widget boundary; halves to even, as every store does.
inline int toPixels(double twipValue) { return static_cast<int>(roundHalfEven(twipValue / PerPixel)); }
inline int fromPixels(int pixels) { return pixels * PerPixel; }

} // namespace twips
