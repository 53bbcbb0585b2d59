#pragma once
// The two mouse pointers the fullscreen view switches between: a fully transparent one that
// hides the pointer over a widget, and the ordinary arrow.
#include <QAbstractScrollArea>
#include <QCursor>
#include <QList>
#include <QWidget>

namespace pointer {

inline QCursor hidden() { return QCursor(Qt::BlankCursor); }
inline QCursor shown() { return QCursor(Qt::ArrowCursor); }

// Shows or hides the pointer over each of the widgets.
inline void showOver(const QList<QWidget *> &surfaces, bool shown)
{
    const QCursor cursor = shown ? pointer::shown() : pointer::hidden();
    for (QWidget *w : surfaces) {
        w->setCursor(cursor);
        // A text box shows the pointer of its viewport, not its own.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(w))
            area->viewport()->setCursor(cursor);
    }
}

} // namespace pointer
