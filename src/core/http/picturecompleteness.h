#pragma once
// Whether the bytes of a picture plainly end before its format's own end: a JPEG whose last
// marker is not the end of its picture, a PNG whose chunks run past its bytes or that has
// no closing chunk, a GIF without its trailer. Padding after the end (zero bytes, blanks,
// line ends) is allowed, as cameras send it. Bytes of any other kind are never cut short.
#include <QByteArrayView>

namespace picture_completeness {

bool cutShort(QByteArrayView bytes);

} // namespace picture_completeness
