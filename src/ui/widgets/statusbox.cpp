#include "statusbox.h"

#include "core/files/pathelision.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

void showFitted(QLabel &label, QWidget &box, const QString &message, int minWidth, int room)
{
    room = std::max(room, minWidth);
    const QFontMetrics metrics(label.font());
    const QString shown =
        path_elision::elideFolder(message, room, [&metrics](const QString &t) { return metrics.horizontalAdvance(t); });
    const int width = std::clamp(metrics.horizontalAdvance(shown), minWidth, room);
    const int frame = box.width() - label.width();
    label.resize(width, label.height());
    box.resize(width + frame, box.height());
    label.setText(shown);
    label.setAccessibleName(message);
    label.show();
    box.show();
}
