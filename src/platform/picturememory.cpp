#include "picturememory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Below this a picture gains nothing from large pages.
constexpr qsizetype LargePagesFrom = qsizetype(2) * 1024 * 1024;
// Below this a picture is an ordinary QImage, and its memory is not reused.
constexpr qsizetype ReusedFrom = qsizetype(256) * 1024;
// A frame's planes, planes scaled for each of two windows and a smaller picture for the
// views, a surface prepared for each window, and one of each on its way.
constexpr size_t StoredBlocksAtMost = 12;
// However many blocks that is, the store keeps no more memory than a few 4K frames.
constexpr size_t StoredBytesAtMost = size_t(128) * 1024 * 1024;

struct Block
{
    void *start = nullptr;
    size_t bytes = 0;
};

// Never destroyed: a picture may go after static objects have.
struct Store
{
    std::mutex mutex;
    int recyclers = 0;
    std::vector<Block> blocks; // the oldest first
};

Store &store()
{
    static Store *s = new Store;
    return *s;
}

size_t pageBytes()
{
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    return page;
}

Block takeBlock(size_t bytes, bool largePages)
{
    Store &s = store();
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        for (auto it = s.blocks.rbegin(); it != s.blocks.rend(); ++it) {
            if (it->bytes == bytes) {
                const Block b = *it;
                s.blocks.erase(std::next(it).base());
                return b;
            }
        }
    }
    void *start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return {};
    // Before the first write: the pages are only given out when first touched.
    if (largePages)
        (void)madvise(start, bytes, MADV_HUGEPAGE);
    return Block{start, bytes};
}

void giveBack(void *info)
{
    const std::unique_ptr<Block> block(static_cast<Block *>(info));
    std::vector<Block> gone{*block};
    Store &s = store();
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        if (s.recyclers > 0 && block->bytes <= StoredBytesAtMost) {
            gone.clear();
            s.blocks.push_back(*block);
            size_t stored = 0;
            for (const Block &b : s.blocks)
                stored += b.bytes;
            // The oldest go first.
            while (s.blocks.size() > StoredBlocksAtMost || stored > StoredBytesAtMost) {
                stored -= s.blocks.front().bytes;
                gone.push_back(s.blocks.front());
                s.blocks.erase(s.blocks.begin());
            }
        }
    }
    for (const Block &b : gone)
        munmap(b.start, b.bytes);
}

} // namespace

QImage newPicture(const QSize &size, QImage::Format format)
{
    const int bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = (qsizetype(qMax(0, size.width())) * bitsPerPixel + 31) / 32 * 4;
    const qsizetype total = bytesPerLine * qMax(0, size.height());
    if (format == QImage::Format_Invalid || total < ReusedFrom)
        return QImage(size, format);
    const size_t bytes = (size_t(total) + pageBytes() - 1) & ~(pageBytes() - 1);
    const Block block = takeBlock(bytes, total >= LargePagesFrom);
    if (!block.start)
        return QImage();
    return QImage(static_cast<uchar *>(block.start), size.width(), size.height(), bytesPerLine, format, &giveBack,
                  new Block(block));
}

PictureRecycling::PictureRecycling()
{
    const std::lock_guard<std::mutex> lock(store().mutex);
    ++store().recyclers;
}

PictureRecycling::~PictureRecycling()
{
    std::vector<Block> gone;
    {
        const std::lock_guard<std::mutex> lock(store().mutex);
        if (--store().recyclers == 0)
            gone.swap(store().blocks);
    }
    for (const Block &b : gone)
        munmap(b.start, b.bytes);
}

int PictureRecycling::storedBlocks()
{
    const std::lock_guard<std::mutex> lock(store().mutex);
    return int(store().blocks.size());
}
