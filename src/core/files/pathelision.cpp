#include "pathelision.h"

namespace path_elision {

QString elideFolder(const QString &message, int available, const std::function<int(const QString &)> &width)
{
    if (width(message) <= available)
        return message;
    const qsizetype first = message.indexOf(QLatin1Char('/'));
    const qsizetype last = message.lastIndexOf(QLatin1Char('/'));
    if (first < 0 || last <= first)
        return message;
    const QString head = message.left(first + 1);
    const QString folder = message.mid(first + 1, last - first - 1);
    const QString tail = message.mid(last);
    const auto keeping = [&](qsizetype kept) {
        // The extra character of an odd count goes to the left, where the folder names its root.
        const qsizetype left = (kept + 1) / 2;
        return head + folder.left(left) + QChar(0x2026) + folder.right(kept - left) + tail;
    };
    // The widest cut that fits: widths grow with the characters kept.
    qsizetype fits = 0;
    qsizetype tooWide = folder.size();
    while (tooWide - fits > 1) {
        const qsizetype middle = (fits + tooWide) / 2;
        if (width(keeping(middle)) <= available)
            fits = middle;
        else
            tooWide = middle;
    }
    return keeping(fits);
}

} // namespace path_elision
