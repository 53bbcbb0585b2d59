#pragma once
// A new picture of megabytes, in memory the system can hand out in large pages.
//
// The program gives every picture's memory back when the picture goes (see
// giveLargeBlocksBackWhenFreed), so each new one comes as fresh pages from the system,
// and taking them one small page at a time is a good part of a refresh. A picture this
// large is asked for in large pages where the system offers them on request; elsewhere, or
// for a small picture, it is an ordinary QImage. Its pixels are not set.
#include <QImage>
#include <QSize>

QImage newPicture(const QSize &size, QImage::Format format);
