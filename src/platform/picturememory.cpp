#include "picturememory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace {

// Below this a picture gains nothing from large pages.
constexpr qsizetype LargePagesFrom = qsizetype(2) * 1024 * 1024;
// A frame decoded, one prepared for each of two windows, and one of each on its way.
constexpr size_t StoredBlocksAtMost = 6;

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

Block takeBlock(size_t bytes)
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
    (void)madvise(start, bytes, MADV_HUGEPAGE);
    return Block{start, bytes};
}

void giveBack(void *info)
{
    auto *block = static_cast<Block *>(info);
    Store &s = store();
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        if (s.recyclers > 0) {
            s.blocks.push_back(*block);
            if (s.blocks.size() <= StoredBlocksAtMost) {
                delete block;
                return;
            }
            *block = s.blocks.front();
            s.blocks.erase(s.blocks.begin());
        }
    }
    munmap(block->start, block->bytes);
    delete block;
}

} // namespace

QImage newPicture(const QSize &size, QImage::Format format)
{
    const int bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = (qsizetype(qMax(0, size.width())) * bitsPerPixel + 31) / 32 * 4;
    const qsizetype total = bytesPerLine * qMax(0, size.height());
    if (format == QImage::Format_Invalid || total < LargePagesFrom)
        return QImage(size, format);
    const size_t bytes = (size_t(total) + pageBytes() - 1) & ~(pageBytes() - 1);
    const Block block = takeBlock(bytes);
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
