#pragma once
// The two mouse pointers the fullscreen view switches between: a fully transparent one that
// hides the pointer over a widget, and the ordinary arrow.
#include <QCursor>

namespace pointer {

inline QCursor hidden() { return QCursor(Qt::BlankCursor); }
inline QCursor shown() { return QCursor(Qt::ArrowCursor); }

} // namespace pointer
