#pragma once
// A new picture of a quarter of a megabyte or more, in memory of its own; one of megabytes in
// memory the system can hand out in large pages.
//
// The program gives every picture's memory back when the picture goes (see
// giveLargeBlocksBackWhenFreed), so each new one comes as fresh pages from the system,
// and taking them one small page at a time is a good part of a refresh. A picture of
// megabytes is asked for in large pages where the system offers them on request; a smaller
// one in ordinary pages; below a quarter of a megabyte it is an ordinary QImage. Its pixels
// are not set.
//
// While a live stream shows frame after frame, or a cam refreshes picture after picture, of
// the same size, fresh pages for each would cost more than its decode. So while any
// PictureRecycling lives, the memory of such a picture goes, when the picture goes, to a
// small store of blocks (a few frames' worth, 128 MiB at most),
// and the next picture of that size takes it from there. When the last PictureRecycling
// goes, so do the blocks stored. Pictures may be made and let go on any thread.
#include <QImage>
#include <QSize>

QImage newPicture(const QSize &size, QImage::Format format);

class PictureRecycling
{
public:
    PictureRecycling();
    ~PictureRecycling();
    PictureRecycling(const PictureRecycling &) = delete;
    PictureRecycling &operator=(const PictureRecycling &) = delete;

    // Blocks in the store now, for tests.
    static int storedBlocks();
};
