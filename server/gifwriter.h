// Encodes a QImage as a single-frame GIF89a (8-bit palette, LZW), because Qt only reads GIF.
// Pixels with alpha below 128 become a transparent palette index when asked for.
#pragma once

#include <QByteArray>

class QImage;

namespace gifwriter {

// Returns the complete GIF file. With keepTransparency, translucent pixels map to the
// transparent index; otherwise alpha is ignored.
QByteArray encode(const QImage &image, bool keepTransparency);

} // namespace gifwriter
