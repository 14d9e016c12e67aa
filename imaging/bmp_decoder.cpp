// The portable BMP decoder. Every field of the header is checked, and every
// size product is formed in 64 bits after the sides are known to be bounded,
// before anything is read or allocated. Uncompressed pixel data must be present
// in full before the picture is allocated; RLE pictures are bounded by their
// checked declared size, and every run is checked against the row and the data.
// Texels are decoded straight into the output array: the only picture-sized
// memory is the file's bytes and the result.

#include "imaging/bmp_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

// The largest file read from disk: the largest picture at 32 bits, with a
// megabyte to spare for headers and colour tables. The whole file is held in
// memory while it is decoded, so this bounds the loaders' peak use too.
constexpr uint64_t kMaxFileBytes = uint64_t{kMaxBitmapTexels} * 4 + (uint64_t{1} << 20);

constexpr uint32_t kCompressionRgb = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitfields = 3;

struct Header {
    int32_t fileWidth = 0;  // as stored
    int32_t width = 0;      // rounded down to a multiple of 4
    int32_t height = 0;
    bool topDown = false;
    uint16_t bits = 0;
    uint32_t compression = kCompressionRgb;
    uint32_t masks[3] = {};  // red, green, blue, for 16 and 32 bits
    uint32_t paletteCount = 0;
    uint8_t palette[768] = {};  // red, green, blue; undefined entries stay 0
    const uint8_t* pixels = nullptr;  // from the pixel offset to the end of the file
    size_t pixelBytes = 0;
    size_t rowBytes = 0;  // uncompressed rows, padded to 32 bits
};

bool Fail(std::string& error, const char* reason)
{
    error = reason;
    return false;
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int LowestBit(uint32_t mask)
{
    int shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    return shift;
}

int BitCount(uint32_t mask)
{
    int n = 0;
    for (; mask != 0; mask &= mask - 1) ++n;
    return n;
}

// A mask must be one run of set bits inside the pixel; the three must not
// overlap. A zero mask gives a channel that is always 0.
bool MasksValid(const uint32_t masks[3], uint16_t bits)
{
    const uint64_t limit = bits == 32 ? 0xFFFFFFFFull : ((uint64_t{1} << bits) - 1);
    uint32_t seen = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t m = masks[i];
        if (m == 0) continue;
        if (m > limit || (seen & m) != 0) return false;
        const uint32_t shifted = m >> LowestBit(m);
        if ((shifted & (shifted + 1)) != 0) return false;  // not one run
        seen |= m;
    }
    return seen != 0;
}

// Widens or narrows a channel to 8 bits. Narrow channels repeat their bits
// downwards, so the top five bits of a 5- or 6-bit channel survive the
// round trip to 8 bits and back to 5-5-5 unchanged.
uint32_t Channel8(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) return 0;
    const int bits = BitCount(mask);
    const uint32_t v = (pixel & mask) >> LowestBit(mask);
    if (bits >= 8) return v >> (bits - 8);
    uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        const int shift = 8 - filled - bits;
        out |= shift >= 0 ? (v << shift) : (v >> -shift);
        filled += bits;
    }
    return out & 0xFF;
}

uint16_t To555(uint32_t rgb)
{
    return static_cast<uint16_t>((((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F));
}

bool ParseHeader(const uint8_t* data, size_t size, Header& h, std::string& error)
{
    if (data == nullptr || size < 18) return Fail(error, "file too short for a BMP header");
    if (data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
    const uint32_t pixelOffset = Get32(data + 10);
    const uint32_t headerSize = Get32(data + 14);
    // 12: the core header; 40, 52, 56, 108, 124: the Windows headers; the
    // other sizes from 16 to 64: OS/2 2.x headers, which share the Windows
    // layout as far as they go and leave the fields they omit at zero.
    const bool windows = headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
                         headerSize == 124;
    const bool os2 = !windows && headerSize >= 16 && headerSize <= 64;
    if (headerSize != 12 && !windows && !os2) return Fail(error, "unsupported BMP header size");
    if (size - 14 < headerSize) return Fail(error, "truncated BMP header");
    const uint8_t* p = data + 14;

    int64_t width;
    int64_t height;
    uint16_t planes;
    uint32_t colorsUsed = 0;
    const bool core = headerSize == 12;
    if (core) {
        width = Get16(p + 4);
        height = Get16(p + 6);
        planes = Get16(p + 8);
        h.bits = Get16(p + 10);
    } else {
        width = static_cast<int32_t>(Get32(p + 4));
        height = static_cast<int32_t>(Get32(p + 8));
        planes = Get16(p + 12);
        h.bits = Get16(p + 14);
        if (headerSize >= 20) h.compression = Get32(p + 16);
        if (headerSize >= 36) colorsUsed = Get32(p + 32);
    }
    if (planes != 1) return Fail(error, "bad plane count");
    if (height < 0) {
        h.topDown = true;
        height = -height;  // 64 bits: the most negative 32-bit height is fine here
    }
    if (width <= 0 || height == 0) return Fail(error, "empty picture");
    if (width > kMaxBitmapSide || height > kMaxBitmapSide || width * height > kMaxBitmapTexels)
        return Fail(error, "picture too large");
    h.fileWidth = static_cast<int32_t>(width);
    h.width = h.fileWidth & ~3;
    h.height = static_cast<int32_t>(height);
    if (h.width < 4) return Fail(error, "picture narrower than 4 pixels");

    const uint16_t b = h.bits;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return Fail(error, "unsupported bit depth");
    if (core && (b == 16 || b == 32)) return Fail(error, "unsupported bit depth");
    // OS/2 numbers its compressions differently from 3 on; only plain pixels
    // are read from its headers.
    if (os2 && h.compression != kCompressionRgb) return Fail(error, "unsupported compression");
    switch (h.compression) {
    case kCompressionRgb:
        break;
    case kCompressionRle8:
        if (b != 8) return Fail(error, "RLE8 needs 8 bits per pixel");
        break;
    case kCompressionRle4:
        if (b != 4) return Fail(error, "RLE4 needs 4 bits per pixel");
        break;
    case kCompressionBitfields:
        if (b != 16 && b != 32) return Fail(error, "bit fields need 16 or 32 bits per pixel");
        break;
    default:
        return Fail(error, "unsupported compression");
    }
    const bool rle = h.compression == kCompressionRle8 || h.compression == kCompressionRle4;
    if (rle && h.topDown) return Fail(error, "top-down RLE picture");

    // Where the colour table starts, and the masks.
    uint64_t tableStart = 14 + uint64_t{headerSize};
    if (h.compression == kCompressionBitfields) {
        const uint8_t* m;
        if (headerSize == 40) {
            if (size < tableStart + 12) return Fail(error, "truncated bit masks");
            m = data + tableStart;
            tableStart += 12;
        } else {
            m = p + 40;  // inside the larger headers
        }
        for (int i = 0; i < 3; ++i) h.masks[i] = Get32(m + 4 * i);
        if (!MasksValid(h.masks, b)) return Fail(error, "bad bit masks");
    } else if (b == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (b == 32) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
    }

    if (pixelOffset < tableStart) return Fail(error, "bad pixel offset");
    if (pixelOffset > size) return Fail(error, "pixel offset past the end of the file");

    // The colour table. Direct-colour files may carry one of any length as a
    // hint; it is skipped by its declared size, but it must still fit.
    const uint32_t entrySize = core ? 3 : 4;
    uint64_t count;
    if (core) {
        count = b <= 8 ? std::min<uint64_t>(uint64_t{1} << b, (pixelOffset - tableStart) / entrySize) : 0;
    } else {
        if (b <= 8 && colorsUsed > (1u << b)) return Fail(error, "bad palette count");
        count = colorsUsed != 0 ? colorsUsed : (b <= 8 ? (uint64_t{1} << b) : 0);
    }
    const uint64_t tableEnd = tableStart + count * entrySize;
    if (tableEnd > size) return Fail(error, "truncated palette");
    if (tableEnd > pixelOffset) return Fail(error, "palette overlaps the pixels");
    if (b <= 8) {
        h.paletteCount = static_cast<uint32_t>(count);
        for (uint32_t i = 0; i < h.paletteCount; ++i) {
            const uint8_t* e = data + tableStart + uint64_t{i} * entrySize;
            h.palette[3 * i] = e[2];
            h.palette[3 * i + 1] = e[1];
            h.palette[3 * i + 2] = e[0];
        }
    }

    h.pixels = data + pixelOffset;
    h.pixelBytes = size - pixelOffset;
    if (!rle) {
        h.rowBytes = static_cast<size_t>(((static_cast<uint64_t>(h.fileWidth) * b + 31) / 32) * 4);
        // The last row's padding may be missing; its pixels may not.
        const uint64_t lastRow = (static_cast<uint64_t>(h.fileWidth) * b + 7) / 8;
        const uint64_t needed = uint64_t{h.rowBytes} * static_cast<uint64_t>(h.height - 1) + lastRow;
        if (needed > h.pixelBytes) return Fail(error, "truncated pixel data");
    }
    return true;
}

// The row of the file that holds output row y.
const uint8_t* FileRow(const Header& h, int32_t y)
{
    const int32_t fileRow = h.topDown ? y : h.height - 1 - y;
    return h.pixels + static_cast<size_t>(fileRow) * h.rowBytes;
}

// Writes the palette indices of an uncompressed 1, 4 or 8-bit picture, top
// row first, as out[element] = lookup[index].
template <typename T>
void ReadIndices(const Header& h, const T* lookup, T* out)
{
    const int perByte = 8 / h.bits;
    const uint32_t valueMask = (1u << h.bits) - 1;
    for (int32_t y = 0; y < h.height; ++y) {
        const uint8_t* row = FileRow(h, y);
        T* dst = out + static_cast<size_t>(y) * static_cast<size_t>(h.width);
        for (int32_t x = 0; x < h.width; ++x) {
            const int shift = 8 - h.bits * (1 + x % perByte);
            dst[x] = lookup[(row[x / perByte] >> shift) & valueMask];
        }
    }
}

// Calls sink(element, 0x00RRGGBB) for every texel of a 16, 24 or 32-bit
// picture, top row first, until the sink returns false.
template <typename Sink>
void ReadColors(const Header& h, Sink sink)
{
    const size_t bytes = h.bits / 8;
    for (int32_t y = 0; y < h.height; ++y) {
        const uint8_t* row = FileRow(h, y);
        const size_t base = static_cast<size_t>(y) * static_cast<size_t>(h.width);
        for (int32_t x = 0; x < h.width; ++x) {
            const uint8_t* s = row + bytes * static_cast<size_t>(x);
            uint32_t rgb;
            if (bytes == 3) {
                rgb = (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0];
            } else {
                const uint32_t v = bytes == 2 ? Get16(s) : Get32(s);
                rgb = (Channel8(v, h.masks[0]) << 16) | (Channel8(v, h.masks[1]) << 8) | Channel8(v, h.masks[2]);
            }
            if (!sink(base + static_cast<size_t>(x), rgb)) return;
        }
    }
}

// Expands RLE4 or RLE8 data into palette indices, top row first, at the
// rounded width, as out[element] = lookup[index]. Pixels the data skips (end
// of line, delta) keep what out held, which the caller sets to lookup[0].
template <typename T>
bool ReadRle(const Header& h, const T* lookup, T* out, std::string& error)
{
    const uint8_t* p = h.pixels;
    const uint8_t* end = h.pixels + h.pixelBytes;
    const bool four = h.compression == kCompressionRle4;
    int32_t x = 0;
    int32_t y = 0;  // file rows, bottom-up
    auto put = [&](int32_t px, uint8_t value) {
        if (px < h.width)
            out[static_cast<size_t>(h.height - 1 - y) * static_cast<size_t>(h.width) + static_cast<size_t>(px)] =
                lookup[value];
    };
    for (;;) {
        if (end - p < 2) return Fail(error, "truncated RLE data");
        const uint32_t count = p[0];
        const uint8_t value = p[1];
        p += 2;
        if (count > 0) {
            if (y >= h.height || count > static_cast<uint32_t>(h.fileWidth - x))
                return Fail(error, "RLE run past the picture");
            for (uint32_t i = 0; i < count; ++i)
                put(x + static_cast<int32_t>(i), four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
            x += static_cast<int32_t>(count);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            if (++y > h.height) return Fail(error, "RLE run past the picture");
        } else if (value == 1) {  // end of picture
            return true;
        } else if (value == 2) {  // delta
            if (end - p < 2) return Fail(error, "truncated RLE data");
            x += p[0];
            y += p[1];
            p += 2;
            if (x > h.fileWidth || y > h.height) return Fail(error, "RLE delta past the picture");
        } else {  // a literal stretch, padded to 16 bits
            const uint32_t n = value;
            const size_t bytes = four ? (n + 1) / 2 : n;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (static_cast<size_t>(end - p) < padded) return Fail(error, "truncated RLE data");
            if (y >= h.height || n > static_cast<uint32_t>(h.fileWidth - x))
                return Fail(error, "RLE run past the picture");
            for (uint32_t i = 0; i < n; ++i)
                put(x + static_cast<int32_t>(i), four ? ((i & 1) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4)) : p[i]);
            x += static_cast<int32_t>(n);
            p += padded;
        }
    }
}

size_t TexelCount(const Header& h) { return static_cast<size_t>(h.width) * static_cast<size_t>(h.height); }

// A paletted picture in the output form: out holds lookup[index] per texel.
template <typename T>
bool DecodeIndices(const Header& h, const T (&lookup)[256], PixelBuffer<T>& out, std::string& error)
{
    if (!out.Allocate(TexelCount(h))) return Fail(error, "out of memory");
    if (h.compression == kCompressionRle8 || h.compression == kCompressionRle4) {
        if (lookup[0] != 0) std::fill(out.data(), out.data() + out.size(), lookup[0]);
        return ReadRle(h, lookup, out.data(), error);
    }
    ReadIndices(h, lookup, out.data());
    return true;
}

// Colours of more than 256 kinds become 256 by median cut over a 5-5-5
// histogram: boxes of colour space are halved at their population's median
// along their longest side, each box's mean colour joins the palette, and
// every histogram cell maps to its nearest palette colour. Deterministic, and
// the histogram bounds the work whatever the picture's size.
class MedianCut {
public:
    void Add(uint32_t rgb)
    {
        Cell& c = cells_[To555(rgb)];
        ++c.count;
        c.red += (rgb >> 16) & 0xFF;
        c.green += (rgb >> 8) & 0xFF;
        c.blue += rgb & 0xFF;
    }

    // Fills the palette and the cell-to-index map; returns the colours used.
    void Build(uint8_t palette[768])
    {
        std::vector<Box> boxes;
        Box all{{0, 0, 0}, {31, 31, 31}, 0};
        Shrink(all);
        boxes.push_back(all);
        while (boxes.size() < 256) {
            int best = -1;
            uint64_t bestScore = 0;
            for (size_t i = 0; i < boxes.size(); ++i) {
                const Box& b = boxes[i];
                const int side = LongestSide(b);
                if (b.hi[side] == b.lo[side]) continue;  // one cell: cannot split
                const uint64_t score = b.count * static_cast<uint64_t>(b.hi[side] - b.lo[side] + 1);
                if (best < 0 || score > bestScore) {
                    best = static_cast<int>(i);
                    bestScore = score;
                }
            }
            if (best < 0) break;
            Box low, high;
            Split(boxes[static_cast<size_t>(best)], low, high);
            boxes[static_cast<size_t>(best)] = low;
            boxes.push_back(high);
        }
        std::memset(palette, 0, 768);
        for (size_t i = 0; i < boxes.size(); ++i) {
            uint64_t n = 0, r = 0, g = 0, b = 0;
            ForEachCell(boxes[i], [&](const Cell& c) {
                n += c.count;
                r += c.red;
                g += c.green;
                b += c.blue;
            });
            palette[3 * i] = static_cast<uint8_t>((r + n / 2) / n);
            palette[3 * i + 1] = static_cast<uint8_t>((g + n / 2) / n);
            palette[3 * i + 2] = static_cast<uint8_t>((b + n / 2) / n);
        }
        for (uint32_t cell = 0; cell < 32768; ++cell) {
            const Cell& c = cells_[cell];
            if (c.count == 0) continue;
            const int64_t r = static_cast<int64_t>((c.red + c.count / 2) / c.count);
            const int64_t g = static_cast<int64_t>((c.green + c.count / 2) / c.count);
            const int64_t b = static_cast<int64_t>((c.blue + c.count / 2) / c.count);
            int64_t bestDistance = INT64_MAX;
            for (size_t i = 0; i < boxes.size(); ++i) {
                const int64_t dr = r - palette[3 * i], dg = g - palette[3 * i + 1], db = b - palette[3 * i + 2];
                const int64_t d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    map_[cell] = static_cast<uint8_t>(i);
                }
            }
        }
    }

    uint8_t IndexOf(uint32_t rgb) const { return map_[To555(rgb)]; }

private:
    struct Cell {
        uint64_t count = 0, red = 0, green = 0, blue = 0;
    };
    struct Box {
        int lo[3];
        int hi[3];
        uint64_t count;
    };

    static uint32_t CellOf(int r, int g, int b) { return static_cast<uint32_t>((r << 10) | (g << 5) | b); }

    template <typename F>
    void ForEachCell(const Box& box, F f) const
    {
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const Cell& c = cells_[CellOf(r, g, b)];
                    if (c.count != 0) f(c);
                }
    }

    // Tightens a box around its occupied cells and counts its population.
    void Shrink(Box& box) const
    {
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        uint64_t n = 0;
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const Cell& c = cells_[CellOf(r, g, b)];
                    if (c.count == 0) continue;
                    n += c.count;
                    const int v[3] = {r, g, b};
                    for (int k = 0; k < 3; ++k) {
                        lo[k] = std::min(lo[k], v[k]);
                        hi[k] = std::max(hi[k], v[k]);
                    }
                }
        for (int k = 0; k < 3; ++k) {
            box.lo[k] = lo[k];
            box.hi[k] = hi[k];
        }
        box.count = n;
    }

    static int LongestSide(const Box& b)
    {
        int side = 0;
        for (int k = 1; k < 3; ++k)
            if (b.hi[k] - b.lo[k] > b.hi[side] - b.lo[side]) side = k;
        return side;
    }

    void Split(const Box& box, Box& low, Box& high) const
    {
        const int side = LongestSide(box);
        // Population of each slice along the side, then the median slice.
        uint64_t slices[32] = {};
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const int v[3] = {r, g, b};
                    slices[v[side]] += cells_[CellOf(r, g, b)].count;
                }
        uint64_t running = 0;
        int cut = box.lo[side];
        for (int s = box.lo[side]; s < box.hi[side]; ++s) {
            running += slices[s];
            cut = s;
            if (running * 2 >= box.count) break;
        }
        // Both halves keep at least one occupied cell: the box's ends are occupied.
        low = box;
        high = box;
        low.hi[side] = cut;
        high.lo[side] = cut + 1;
        Shrink(low);
        Shrink(high);
    }

    std::vector<Cell> cells_ = std::vector<Cell>(32768);
    uint8_t map_[32768] = {};
};

// Converts a direct-colour picture to 8-bit indices: its own colours when
// there are at most 256 (in order of first appearance, top row first),
// otherwise a median cut. The colours are read from the file again for each
// pass rather than kept: a copy would cost four bytes a texel.
bool QuantizeColors(const Header& h, Bitmap8& out, std::string& error)
{
    if (!out.pixels.Allocate(TexelCount(h))) return Fail(error, "out of memory");
    uint8_t* pixels = out.pixels.data();
    std::vector<std::pair<uint32_t, uint8_t>> seen;  // sorted by colour
    seen.reserve(257);
    bool few = true;
    ReadColors(h, [&](size_t i, uint32_t c) {
        auto it = std::lower_bound(seen.begin(), seen.end(), std::make_pair(c, uint8_t{0}));
        if (it != seen.end() && it->first == c) {
            pixels[i] = it->second;
            return true;
        }
        if (seen.size() == 256) {
            few = false;
            return false;
        }
        const uint8_t index = static_cast<uint8_t>(seen.size());
        seen.insert(it, {c, index});
        out.palette[3 * index] = static_cast<uint8_t>(c >> 16);
        out.palette[3 * index + 1] = static_cast<uint8_t>(c >> 8);
        out.palette[3 * index + 2] = static_cast<uint8_t>(c);
        pixels[i] = index;
        return true;
    });
    if (few) return true;

    auto cut = std::make_unique<MedianCut>();
    ReadColors(h, [&](size_t, uint32_t c) {
        cut->Add(c);
        return true;
    });
    cut->Build(out.palette);
    ReadColors(h, [&](size_t i, uint32_t c) {
        pixels[i] = cut->IndexOf(c);
        return true;
    });
    return true;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes, std::string& error)
{
    if (path == nullptr || path[0] == '\0') return Fail(error, "no file name");
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        error = std::string("cannot open file: ") + std::strerror(errno);
        return false;
    }
    bytes.clear();
    // Room for the whole file at once: growing by doubling would briefly hold
    // the file up to three times over.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long length = std::ftell(file);
        if (length > 0 && static_cast<uint64_t>(length) > kMaxFileBytes) {
            std::fclose(file);
            return Fail(error, "file too large");
        }
        if (length > 0) bytes.reserve(static_cast<size_t>(length));
        std::rewind(file);
    }
    uint8_t chunk[65536];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got > 0) {
            if (bytes.size() + got > kMaxFileBytes) {
                std::fclose(file);
                return Fail(error, "file too large");
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        if (got < sizeof chunk) break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return Fail(error, "read error");
    return true;
}

}  // namespace

bool DecodeBmp8(const uint8_t* data, size_t size, Bitmap8& out, std::string& error)
{
    Header h;
    if (!ParseHeader(data, size, h, error)) return false;
    Bitmap8 result;
    result.width = h.width;
    result.height = h.height;
    if (h.bits <= 8) {
        uint8_t identity[256];
        for (int i = 0; i < 256; ++i) identity[i] = static_cast<uint8_t>(i);
        if (!DecodeIndices(h, identity, result.pixels, error)) return false;
        std::memcpy(result.palette, h.palette, sizeof result.palette);
    } else if (!QuantizeColors(h, result, error)) {
        return false;
    }
    out = std::move(result);
    return true;
}

bool DecodeBmp16(const uint8_t* data, size_t size, Bitmap16& out, std::string& error)
{
    Header h;
    if (!ParseHeader(data, size, h, error)) return false;
    Bitmap16 result;
    result.width = h.width;
    result.height = h.height;
    if (h.bits <= 8) {
        uint16_t lookup[256];
        for (int i = 0; i < 256; ++i)
            lookup[i] = To555((uint32_t{h.palette[3 * i]} << 16) | (uint32_t{h.palette[3 * i + 1]} << 8) |
                              h.palette[3 * i + 2]);
        if (!DecodeIndices(h, lookup, result.pixels, error)) return false;
    } else {
        if (!result.pixels.Allocate(TexelCount(h))) return Fail(error, "out of memory");
        uint16_t* pixels = result.pixels.data();
        ReadColors(h, [&](size_t i, uint32_t rgb) {
            pixels[i] = To555(rgb);
            return true;
        });
    }
    out = std::move(result);
    return true;
}

bool LoadBmpFile8(const char* path, Bitmap8& out, std::string& error)
{
    std::vector<uint8_t> bytes;
    return ReadWholeFile(path, bytes, error) && DecodeBmp8(bytes.data(), bytes.size(), out, error);
}

bool LoadBmpFile16(const char* path, Bitmap16& out, std::string& error)
{
    std::vector<uint8_t> bytes;
    return ReadWholeFile(path, bytes, error) && DecodeBmp16(bytes.data(), bytes.size(), out, error);
}
