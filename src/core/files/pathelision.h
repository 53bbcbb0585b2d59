#pragma once
// A message that ends in a path, shortened to a width: the folder loses characters from its
// middle, where "…" stands for them; the words before it and the file name stay whole.
//
// The folder runs from the message's first '/' to its last one, exclusive; text without
// two separators has no folder and comes back as it was. width() measures a text as
// shown (in any unit, the same as `available`). Where even the folder cut down to "…"
// does not fit, that shortest form comes back: the file name is never cut here.
#include <QString>

#include <functional>

namespace path_elision {

QString elideFolder(const QString &message, int available, const std::function<int(const QString &)> &width);

} // namespace path_elision
