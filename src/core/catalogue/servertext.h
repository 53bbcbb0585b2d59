#pragma once
// How much of one text from the server is laid out on screen.
//
// The catalogue and the comments may hold fields of megabytes. Laying out or drawing such
// a field would hold the window for many seconds, so what is shown of one field is cut to
// a bound with "…" at the end; the full field stays in the tables for every rule that
// reads it. Normal fields are far below the bounds and are shown unchanged.
#include <QString>

namespace server_text {

// Fields shown on one line: names, who added a cam, figures, dates.
inline constexpr int LineLimit = 500;
// Fields that wrap over several lines: descriptions and comment texts.
inline constexpr int BlockLimit = 5000;

// text unchanged if it has at most limit characters; else its first limit characters
// (never half of a surrogate pair) followed by "…".
QString shown(const QString &text, int limit);

} // namespace server_text
