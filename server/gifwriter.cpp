#include "gifwriter.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

namespace gifwriter {
namespace {

// A fixed 6x7x6 colour cube keeps quantisation a pure per-pixel computation; green
// gets the extra level because the eye is most sensitive to it.
constexpr int kRedLevels = 6;
constexpr int kGreenLevels = 7;
constexpr int kBlueLevels = 6;
constexpr int kCubeSize = kRedLevels * kGreenLevels * kBlueLevels; // 252
constexpr int kTransparentIndex = 255;

// 4x4 Bayer matrix: ordered dithering hides the banding of a 252-colour palette in
// sky gradients and, unlike error diffusion, stays deterministic per pixel.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

int level(int value, int levels, int threshold)
{
    // threshold in 0..15 nudges the value by up to one quantisation step.
    const int scaled = value * (levels - 1) * 16 + threshold * 255;
    const int l = scaled / (255 * 16);
    return l >= levels ? levels - 1 : l;
}

class BitWriter {
public:
    explicit BitWriter(QByteArray &out) : m_out(out) {}

    void write(int code, int bits)
    {
        m_acc |= static_cast<uint32_t>(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            pushByte(static_cast<char>(m_acc & 0xff));
            m_acc >>= 8;
            m_count -= 8;
        }
    }

    void finish()
    {
        if (m_count > 0)
            pushByte(static_cast<char>(m_acc & 0xff));
        m_acc = 0;
        m_count = 0;
        flushBlock();
        m_out.append('\0'); // block terminator
    }

private:
    void pushByte(char b)
    {
        m_block[m_blockLen++] = b;
        if (m_blockLen == 255)
            flushBlock();
    }
    void flushBlock()
    {
        if (m_blockLen == 0)
            return;
        m_out.append(static_cast<char>(m_blockLen));
        m_out.append(m_block.data(), m_blockLen);
        m_blockLen = 0;
    }

    QByteArray &m_out;
    uint32_t m_acc = 0;
    int m_count = 0;
    std::array<char, 255> m_block {};
    int m_blockLen = 0;
};

// Classic LZW with an open-addressing hash (the compress(1) layout): the decoder grows
// its code width one code later than the encoder adds the entry, so the width check
// happens right after each code is written.
void lzwEncode(const std::vector<uint8_t> &indices, QByteArray &out)
{
    constexpr int kMinCodeSize = 8;
    constexpr int kClear = 1 << kMinCodeSize;
    constexpr int kEnd = kClear + 1;
    constexpr int kMaxCode = 4096;
    constexpr int kHashSize = 5003; // prime, ~80% occupancy at 4096 entries

    out.append(static_cast<char>(kMinCodeSize));
    BitWriter bits(out);

    std::vector<int32_t> hashKey(kHashSize, -1);
    std::vector<int16_t> hashCode(kHashSize, 0);

    int codeSize = kMinCodeSize + 1;
    int nextCode = kEnd + 1;
    bool pendingClear = false;

    auto output = [&](int code) {
        bits.write(code, codeSize);
        if (pendingClear) {
            codeSize = kMinCodeSize + 1;
            pendingClear = false;
        } else if (nextCode > (1 << codeSize) - 1 && codeSize < 12) {
            ++codeSize;
        }
    };
    auto resetTable = [&] {
        std::fill(hashKey.begin(), hashKey.end(), -1);
        nextCode = kEnd + 1;
        pendingClear = true;
        output(kClear);
    };

    pendingClear = true;
    output(kClear);

    if (indices.empty()) {
        output(kEnd);
        bits.finish();
        return;
    }

    int prefix = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const int c = indices[i];
        const int32_t key = (c << 12) | prefix;
        int h = ((c << 4) ^ prefix) % kHashSize;
        const int step = h == 0 ? 1 : kHashSize - h;
        bool found = false;
        while (hashKey[h] >= 0) {
            if (hashKey[h] == key) {
                prefix = hashCode[h];
                found = true;
                break;
            }
            h -= step;
            if (h < 0)
                h += kHashSize;
        }
        if (found)
            continue;
        output(prefix);
        prefix = c;
        if (nextCode < kMaxCode) {
            hashKey[h] = key;
            hashCode[h] = static_cast<int16_t>(nextCode++);
        } else {
            resetTable();
        }
    }
    output(prefix);
    output(kEnd);
    bits.finish();
}

void appendLe16(QByteArray &out, int v)
{
    out.append(static_cast<char>(v & 0xff));
    out.append(static_cast<char>((v >> 8) & 0xff));
}

} // namespace

QByteArray encode(const QImage &source, bool keepTransparency)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();

    std::vector<uint8_t> indices(static_cast<size_t>(w) * h);
    bool anyTransparent = false;
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb px = line[x];
            uint8_t idx;
            if (keepTransparency && qAlpha(px) < 128) {
                idx = kTransparentIndex;
                anyTransparent = true;
            } else {
                const int t = kBayer[y & 3][x & 3];
                const int r = level(qRed(px), kRedLevels, t);
                const int g = level(qGreen(px), kGreenLevels, t);
                const int b = level(qBlue(px), kBlueLevels, t);
                idx = static_cast<uint8_t>((r * kGreenLevels + g) * kBlueLevels + b);
            }
            indices[static_cast<size_t>(y) * w + x] = idx;
        }
    }

    QByteArray out;
    out.reserve(w * h / 2 + 1024);
    out.append("GIF89a", 6);
    appendLe16(out, w);
    appendLe16(out, h);
    out.append(static_cast<char>(0xF7)); // global table present, 8-bit colour, 256 entries
    out.append('\0');                    // background index
    out.append('\0');                    // no aspect ratio

    for (int i = 0; i < 256; ++i) {
        int r = 0, g = 0, b = 0;
        if (i < kCubeSize) {
            r = (i / (kGreenLevels * kBlueLevels)) * 255 / (kRedLevels - 1);
            g = ((i / kBlueLevels) % kGreenLevels) * 255 / (kGreenLevels - 1);
            b = (i % kBlueLevels) * 255 / (kBlueLevels - 1);
        }
        out.append(static_cast<char>(r));
        out.append(static_cast<char>(g));
        out.append(static_cast<char>(b));
    }

    if (anyTransparent) {
        // Graphic Control Extension carrying the transparent index.
        const char gce[] = {'\x21', '\xF9', '\x04', '\x01', '\0', '\0',
                            static_cast<char>(kTransparentIndex), '\0'};
        out.append(gce, sizeof gce);
    }

    out.append('\x2C'); // image descriptor
    appendLe16(out, 0);
    appendLe16(out, 0);
    appendLe16(out, w);
    appendLe16(out, h);
    out.append('\0'); // no local table, not interlaced

    lzwEncode(indices, out);
    out.append('\x3B');
    return out;
}

} // namespace gifwriter
