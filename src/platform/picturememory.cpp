#include "picturememory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace {

// Below this a picture gains nothing from large pages.
constexpr qsizetype LargePagesFrom = qsizetype(2) * 1024 * 1024;

} // namespace

QImage newPicture(const QSize &size, QImage::Format format)
{
    QImage picture(size, format);
    if (picture.isNull() || picture.sizeInBytes() < LargePagesFrom)
        return picture;
    // Before the first write: the pages are only given out when first touched.
    static const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(picture.bits());
    const std::uintptr_t from = (start + page - 1) & ~(page - 1);
    const std::uintptr_t to = (start + std::uintptr_t(picture.sizeInBytes())) & ~(page - 1);
    if (to > from)
        (void)madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    return picture;
}
