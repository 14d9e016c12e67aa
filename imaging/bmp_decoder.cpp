// The portable BMP decoder. Every field of the header is checked, and every
// size product is formed in 64 bits after the sides are known to be bounded,
// before anything is read or allocated. Uncompressed pixel data must be present
// in full before the picture is allocated; RLE pictures are bounded by their
// checked declared size, and every run is checked against the row and the data.
// The row routine for the file's layout is picked once per picture and turns a
// whole row into texels, widening channels through small tables or fixed
// shifts. Bytes in memory decode with no other picture-sized memory than the
// result; a file on disk is read by rows, so the texture is its only one.

#include "imaging/bmp_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "imaging/quantiser.h"

namespace {

// The largest file read from disk: the largest picture at 32 bits, with a
// megabyte to spare for headers and colour tables. A run-length file is held
// whole while it is decoded, so this bounds the loaders' peak use too.
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
    class FileRows* fileRows = nullptr;  // uncompressed rows read from the file as needed, else from pixels
};

bool Fail(std::string& error, const char* reason)
{
    error = reason;
    return false;
}

bool IsRle(const Header& h) { return h.compression == kCompressionRle8 || h.compression == kCompressionRle4; }

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

// Widens a channel of fewer than 8 bits to 8 by repeating its bits
// downwards, so that the top five bits of a 5- or 6-bit channel survive the
// round trip to 8 bits and back to 5-5-5 unchanged.
uint8_t Widen(uint32_t value, int bits)
{
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits) {
        const int shift = 8 - filled - bits;
        out |= shift >= 0 ? (value << shift) : (value >> -shift);
    }
    return static_cast<uint8_t>(out);
}

// ---- Headers, one reader per kind ----

enum class HeaderKind { Core, Windows, Os2 };

// The fields every kind of header gives, before they are checked.
struct HeaderFields {
    uint32_t headerSize = 0;
    HeaderKind kind = HeaderKind::Windows;
    uint32_t pixelOffset = 0;
    int64_t width = 0;
    int64_t height = 0;
    uint16_t planes = 0;
    uint32_t colorsUsed = 0;
};

// The 14-byte file header, and the size of the header after it, which names
// its kind: 12, the core header; 40, 52, 56, 108, 124, the Windows headers;
// the other sizes from 16 to 64, OS/2 2.x headers, which share the Windows
// layout as far as they go and leave the fields they omit at zero.
bool ParseFileHeader(const uint8_t* data, size_t size, HeaderFields& f, std::string& error)
{
    if (data == nullptr || size < 18) return Fail(error, "file too short for a BMP header");
    if (data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
    f.pixelOffset = Get32(data + 10);
    f.headerSize = Get32(data + 14);
    const uint32_t n = f.headerSize;
    if (n == 12) f.kind = HeaderKind::Core;
    else if (n == 40 || n == 52 || n == 56 || n == 108 || n == 124) f.kind = HeaderKind::Windows;
    else if (n >= 16 && n <= 64) f.kind = HeaderKind::Os2;
    else return Fail(error, "unsupported BMP header size");
    if (size - 14 < n) return Fail(error, "truncated BMP header");
    return true;
}

// The core header: 16-bit sides, no compression, no colour count.
void ParseCoreHeader(const uint8_t* p, HeaderFields& f, Header& h)
{
    f.width = Get16(p + 4);
    f.height = Get16(p + 6);
    f.planes = Get16(p + 8);
    h.bits = Get16(p + 10);
}

// The 40-byte layout and its longer and shorter kin: signed 32-bit sides, and
// the compression and colour count when the header reaches them.
void ParseInfoHeader(const uint8_t* p, HeaderFields& f, Header& h)
{
    f.width = static_cast<int32_t>(Get32(p + 4));
    f.height = static_cast<int32_t>(Get32(p + 8));
    f.planes = Get16(p + 12);
    h.bits = Get16(p + 14);
    if (f.headerSize >= 20) h.compression = Get32(p + 16);
    if (f.headerSize >= 36) f.colorsUsed = Get32(p + 32);
}

bool CheckSides(const HeaderFields& f, Header& h, std::string& error)
{
    if (f.planes != 1) return Fail(error, "bad plane count");
    int64_t height = f.height;
    if (height < 0) {
        h.topDown = true;
        height = -height;  // 64 bits: the most negative 32-bit height is fine here
    }
    if (f.width <= 0 || height == 0) return Fail(error, "empty picture");
    if (f.width > kMaxBitmapSide || height > kMaxBitmapSide || f.width * height > kMaxBitmapTexels)
        return Fail(error, "picture too large");
    h.fileWidth = static_cast<int32_t>(f.width);
    h.width = h.fileWidth & ~3;
    h.height = static_cast<int32_t>(height);
    if (h.width < 4) return Fail(error, "picture narrower than 4 pixels");
    return true;
}

bool CheckDepthAndCompression(HeaderKind kind, const Header& h, std::string& error)
{
    const uint16_t b = h.bits;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return Fail(error, "unsupported bit depth");
    if (kind == HeaderKind::Core && (b == 16 || b == 32)) return Fail(error, "unsupported bit depth");
    // OS/2 numbers its compressions differently from 3 on; only plain pixels
    // are read from its headers.
    if (kind == HeaderKind::Os2 && h.compression != kCompressionRgb) return Fail(error, "unsupported compression");
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
    if (IsRle(h) && h.topDown) return Fail(error, "top-down RLE picture");
    return true;
}

// The masks, given or implied, and where the colour table starts: after the
// header, or after the three masks that follow a 40-byte header.
bool ReadMasks(const uint8_t* data, size_t size, const HeaderFields& f, Header& h, uint64_t& tableStart,
               std::string& error)
{
    tableStart = 14 + uint64_t{f.headerSize};
    if (h.compression == kCompressionBitfields) {
        const uint8_t* m;
        if (f.headerSize == 40) {
            if (size < tableStart + 12) return Fail(error, "truncated bit masks");
            m = data + tableStart;
            tableStart += 12;
        } else {
            m = data + 14 + 40;  // inside the larger headers
        }
        for (int i = 0; i < 3; ++i) h.masks[i] = Get32(m + 4 * i);
        if (!MasksValid(h.masks, h.bits)) return Fail(error, "bad bit masks");
    } else if (h.bits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bits == 32) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
    }
    return true;
}

// The colour table. Direct-colour files may carry one of any length as a
// hint; it is skipped by its declared size, but it must still fit.
bool ReadColourTable(const uint8_t* data, size_t size, const HeaderFields& f, uint64_t tableStart, Header& h,
                     std::string& error)
{
    const bool core = f.kind == HeaderKind::Core;
    const uint16_t b = h.bits;
    const uint32_t entrySize = core ? 3 : 4;
    uint64_t count;
    if (core) {
        count = b <= 8 ? std::min<uint64_t>(uint64_t{1} << b, (f.pixelOffset - tableStart) / entrySize) : 0;
    } else {
        if (b <= 8 && f.colorsUsed > (1u << b)) return Fail(error, "bad palette count");
        count = f.colorsUsed != 0 ? f.colorsUsed : (b <= 8 ? (uint64_t{1} << b) : 0);
    }
    const uint64_t tableEnd = tableStart + count * entrySize;
    if (tableEnd > size) return Fail(error, "truncated palette");
    if (tableEnd > f.pixelOffset) return Fail(error, "palette overlaps the pixels");
    if (b <= 8) {
        h.paletteCount = static_cast<uint32_t>(count);
        for (uint32_t i = 0; i < h.paletteCount; ++i) {
            const uint8_t* e = data + tableStart + uint64_t{i} * entrySize;
            h.palette[3 * i] = e[2];
            h.palette[3 * i + 1] = e[1];
            h.palette[3 * i + 2] = e[0];
        }
    }
    return true;
}

// Uncompressed pixels must all be there; the last row's padding may be missing.
bool CheckPixelData(const uint8_t* data, size_t size, const HeaderFields& f, Header& h, std::string& error)
{
    h.pixels = data + f.pixelOffset;
    h.pixelBytes = size - f.pixelOffset;
    if (IsRle(h)) return true;
    h.rowBytes = static_cast<size_t>(((static_cast<uint64_t>(h.fileWidth) * h.bits + 31) / 32) * 4);
    const uint64_t lastRow = (static_cast<uint64_t>(h.fileWidth) * h.bits + 7) / 8;
    const uint64_t needed = uint64_t{h.rowBytes} * static_cast<uint64_t>(h.height - 1) + lastRow;
    if (needed > h.pixelBytes) return Fail(error, "truncated pixel data");
    return true;
}

bool ParseHeader(const uint8_t* data, size_t size, Header& h, std::string& error)
{
    HeaderFields f;
    if (!ParseFileHeader(data, size, f, error)) return false;
    if (f.kind == HeaderKind::Core) ParseCoreHeader(data + 14, f, h);
    else ParseInfoHeader(data + 14, f, h);
    uint64_t tableStart = 0;
    if (!CheckSides(f, h, error) || !CheckDepthAndCompression(f.kind, h, error) ||
        !ReadMasks(data, size, f, h, tableStart, error))
        return false;
    if (f.pixelOffset < tableStart) return Fail(error, "bad pixel offset");
    if (f.pixelOffset > size) return Fail(error, "pixel offset past the end of the file");
    return ReadColourTable(data, size, f, tableStart, h, error) && CheckPixelData(data, size, f, h, error);
}

// ---- Row routines, one per layout ----

// Uncompressed rows straight from an open file, a block of up to a megabyte
// at a time, so that the file's bytes need not be held: only the texture is
// picture-sized. Rows are asked for in either order (bottom-up files are read
// backwards) and more than once (the 8-bit mode reads the picture twice).
class FileRows {
public:
    FileRows(std::FILE* file, uint64_t fileSize, uint64_t pixelOffset, size_t rowBytes, int32_t height)
        : file_(file), fileSize_(fileSize), pixelOffset_(pixelOffset), rowBytes_(rowBytes), height_(height),
          blockRows_(static_cast<int32_t>(std::max<size_t>(1, std::min<size_t>((size_t{1} << 20) / rowBytes,
                                                                                 static_cast<size_t>(height)))))
    {
    }
    bool Allocate() { return (block_ = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[BlockBytes()])) != nullptr; }
    // The file row r; after a failed read its bytes are zero and Failed says so.
    const uint8_t* Row(int32_t r)
    {
        const int32_t block = r / blockRows_;
        if (block != cached_) Load(block);
        return block_.get() + static_cast<size_t>(r - block * blockRows_) * rowBytes_;
    }
    bool Failed() const { return failed_; }

private:
    size_t BlockBytes() const { return static_cast<size_t>(blockRows_) * rowBytes_; }
    void Load(int32_t block)
    {
        cached_ = block;
        const int32_t rows = std::min(blockRows_, height_ - block * blockRows_);
        const uint64_t start = pixelOffset_ + uint64_t{rowBytes_} * static_cast<uint64_t>(block * blockRows_);
        // The last row's padding may be missing from the file.
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(uint64_t{rowBytes_} * static_cast<uint64_t>(rows),
                                                                     fileSize_ - std::min(fileSize_, start)));
        size_t got = 0;
        if (std::fseek(file_, static_cast<long>(start), SEEK_SET) == 0) got = std::fread(block_.get(), 1, wanted, file_);
        if (got != wanted) failed_ = true;
        std::memset(block_.get() + got, 0, BlockBytes() - got);
    }

    std::FILE* file_;
    uint64_t fileSize_, pixelOffset_;
    size_t rowBytes_;
    int32_t height_, blockRows_;
    int32_t cached_ = -1;
    bool failed_ = false;
    std::unique_ptr<uint8_t[]> block_;
};

// The row of the file that holds output row y.
const uint8_t* FileRow(const Header& h, int32_t y)
{
    const int32_t fileRow = h.topDown ? y : h.height - 1 - y;
    if (h.fileRows != nullptr) return h.fileRows->Row(fileRow);
    return h.pixels + static_cast<size_t>(fileRow) * h.rowBytes;
}

// One row of 1, 4 or 8-bit palette indices as out[x] = lookup[index]; the
// width is a multiple of 4.
template <int kBits, typename T>
void IndexRow(const uint8_t* row, int32_t width, const T* lookup, T* out)
{
    if constexpr (kBits == 8) {
        for (int32_t x = 0; x < width; ++x) out[x] = lookup[row[x]];
    } else if constexpr (kBits == 4) {
        for (int32_t x = 0; x < width; x += 2, ++row) {
            out[x] = lookup[*row >> 4];
            out[x + 1] = lookup[*row & 0x0F];
        }
    } else {
        int32_t x = 0;
        for (; x + 8 <= width; x += 8, ++row)
            for (int k = 0; k < 8; ++k) out[x + k] = lookup[(*row >> (7 - k)) & 1];
        for (int k = 0; x < width; ++x, ++k) out[x] = lookup[(*row >> (7 - k)) & 1];
    }
}

template <int kBits, typename T>
void ReadIndexRows(const Header& h, const T* lookup, T* out)
{
    const size_t width = static_cast<size_t>(h.width);
    for (int32_t y = 0; y < h.height; ++y) IndexRow<kBits>(FileRow(h, y), h.width, lookup, out + width * y);
}

// 24 bits: blue, green, red bytes.
class Bgr24Rows final : public ColourRows {
public:
    explicit Bgr24Rows(const Header& h) : h_(h) {}
    void Texels(int32_t y, int32_t width, uint16_t* out) const override
    {
        const uint8_t* s = FileRow(h_, y);
        for (int32_t x = 0; x < width; ++x, s += 3) out[x] = To555(s[2], s[1], s[0]);
    }
    void Colours(int32_t y, int32_t width, uint32_t* out) const override
    {
        const uint8_t* s = FileRow(h_, y);
        for (int32_t x = 0; x < width; ++x, s += 3) out[x] = (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0];
    }

private:
    const Header& h_;
};

// 16 or 32 bits of bit fields. A channel of 8 bits or more keeps its top 8
// bits by a shift; a narrower one widens through a table of at most 128
// entries. With three channels of exactly 8 bits (the usual 32-bit layouts)
// the tables are left out altogether.
template <int kBytes, bool kEightBitChannels>
class FieldRows final : public ColourRows {
public:
    explicit FieldRows(const Header& h) : h_(h)
    {
        for (int i = 0; i < 3; ++i) {
            Channel& c = channels_[i];
            const uint32_t m = h.masks[i];
            if (m == 0) continue;  // index 0 always, which widens to 0
            const int bits = BitCount(m);
            const int low = LowestBit(m);
            c.shift = bits >= 8 ? static_cast<uint32_t>(low + bits - 8) : static_cast<uint32_t>(low);
            c.mask = bits >= 8 ? 0xFFu : (1u << bits) - 1;
            for (uint32_t v = 0; v <= c.mask; ++v) {
                c.widen[v] = bits >= 8 ? static_cast<uint8_t>(v) : Widen(v, bits);
                c.texel[v] = static_cast<uint16_t>((c.widen[v] >> 3) << (10 - 5 * i));
            }
        }
    }
    void Texels(int32_t y, int32_t width, uint16_t* out) const override
    {
        const uint8_t* s = FileRow(h_, y);
        const Channel &r = channels_[0], &g = channels_[1], &b = channels_[2];
        for (int32_t x = 0; x < width; ++x, s += kBytes) {
            const uint32_t p = Pixel(s);
            if constexpr (kEightBitChannels)
                out[x] = static_cast<uint16_t>((((p >> r.shift) & 0xF8) << 7) | (((p >> g.shift) & 0xF8) << 2) |
                                               (((p >> b.shift) & 0xF8) >> 3));
            else
                out[x] = r.texel[(p >> r.shift) & r.mask] | g.texel[(p >> g.shift) & g.mask] |
                         b.texel[(p >> b.shift) & b.mask];
        }
    }
    void Colours(int32_t y, int32_t width, uint32_t* out) const override
    {
        const uint8_t* s = FileRow(h_, y);
        const Channel &r = channels_[0], &g = channels_[1], &b = channels_[2];
        for (int32_t x = 0; x < width; ++x, s += kBytes) {
            const uint32_t p = Pixel(s);
            if constexpr (kEightBitChannels)
                out[x] = (((p >> r.shift) & 0xFF) << 16) | (((p >> g.shift) & 0xFF) << 8) | ((p >> b.shift) & 0xFF);
            else
                out[x] = (uint32_t{r.widen[(p >> r.shift) & r.mask]} << 16) |
                         (uint32_t{g.widen[(p >> g.shift) & g.mask]} << 8) | b.widen[(p >> b.shift) & b.mask];
        }
    }

private:
    struct Channel {
        uint32_t shift = 0;
        uint32_t mask = 0;
        uint8_t widen[256] = {};
        uint16_t texel[256] = {};
    };
    static uint32_t Pixel(const uint8_t* s)
    {
        if constexpr (kBytes == 2) return Get16(s);
        else return Get32(s);
    }
    const Header& h_;
    Channel channels_[3];
};

// A direct-colour picture through its layout's row routine.
template <typename Bitmap>
bool DecodeColours(const Header& h, Bitmap& out, std::string& error)
{
    if (h.bits == 24) return TexelsFromColourRows(Bgr24Rows(h), h.width, h.height, out, error);
    if (h.bits == 16) return TexelsFromColourRows(FieldRows<2, false>(h), h.width, h.height, out, error);
    const bool eightBit = BitCount(h.masks[0]) == 8 && BitCount(h.masks[1]) == 8 && BitCount(h.masks[2]) == 8;
    if (eightBit) return TexelsFromColourRows(FieldRows<4, true>(h), h.width, h.height, out, error);
    return TexelsFromColourRows(FieldRows<4, false>(h), h.width, h.height, out, error);
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
    if (IsRle(h)) {
        if (lookup[0] != 0) std::fill(out.data(), out.data() + out.size(), lookup[0]);
        return ReadRle(h, lookup, out.data(), error);
    }
    switch (h.bits) {
    case 1: ReadIndexRows<1>(h, lookup, out.data()); break;
    case 4: ReadIndexRows<4>(h, lookup, out.data()); break;
    default: ReadIndexRows<8>(h, lookup, out.data()); break;
    }
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

// The texture of a parsed file, in either form.
bool DecodeParsed(const Header& h, Bitmap8& out, std::string& error)
{
    if (h.bits > 8) return DecodeColours(h, out, error);
    Bitmap8 result;
    result.width = h.width;
    result.height = h.height;
    uint8_t identity[256];
    for (int i = 0; i < 256; ++i) identity[i] = static_cast<uint8_t>(i);
    if (!DecodeIndices(h, identity, result.pixels, error)) return false;
    std::memcpy(result.palette, h.palette, sizeof result.palette);
    out = std::move(result);
    return true;
}

bool DecodeParsed(const Header& h, Bitmap16& out, std::string& error)
{
    if (h.bits > 8) return DecodeColours(h, out, error);
    Bitmap16 result;
    result.width = h.width;
    result.height = h.height;
    uint16_t lookup[256];
    for (int i = 0; i < 256; ++i) lookup[i] = To555(h.palette[3 * i], h.palette[3 * i + 1], h.palette[3 * i + 2]);
    if (!DecodeIndices(h, lookup, result.pixels, error)) return false;
    out = std::move(result);
    return true;
}

template <typename Bitmap>
bool DecodeBmp(const uint8_t* data, size_t size, Bitmap& out, std::string& error)
{
    Header h;
    return ParseHeader(data, size, h, error) && DecodeParsed(h, out, error);
}

// The longest header with the masks after it: every byte the header checks
// read before the pixel offset is known to be sound.
constexpr size_t kHeadBytes = 14 + 124 + 12;

// An uncompressed file is read as far as its pixels, then row by row as they
// are converted; a run-length file (which cannot be read by rows) and a file
// whose size cannot be told are read whole.
template <typename Bitmap>
bool LoadBmpFile(const char* path, Bitmap& out, std::string& error)
{
    if (path == nullptr || path[0] == '\0') return Fail(error, "no file name");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (file == nullptr) {
        error = std::string("cannot open file: ") + std::strerror(errno);
        return false;
    }
    long length = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) length = std::ftell(file.get());
    if (length > 0 && static_cast<uint64_t>(length) > kMaxFileBytes) return Fail(error, "file too large");
    std::vector<uint8_t> head;
    if (length > 0 && std::fseek(file.get(), 0, SEEK_SET) == 0) {
        const auto size = static_cast<size_t>(length);
        head.resize(std::min(size, kHeadBytes));
        if (std::fread(head.data(), 1, head.size(), file.get()) != head.size()) return Fail(error, "read error");
        const size_t pixelOffset = head.size() >= 14 ? Get32(head.data() + 10) : 0;
        if (pixelOffset > head.size() && pixelOffset <= size) {
            const size_t had = head.size();
            head.resize(pixelOffset);
            if (std::fread(head.data() + had, 1, pixelOffset - had, file.get()) != pixelOffset - had)
                return Fail(error, "read error");
        }
        Header h;
        if (!ParseHeader(head.data(), size, h, error)) return false;
        if (!IsRle(h)) {
            FileRows rows(file.get(), size, pixelOffset, h.rowBytes, h.height);
            if (!rows.Allocate()) return Fail(error, "out of memory");
            h.fileRows = &rows;
            Bitmap result;
            if (!DecodeParsed(h, result, error)) return false;
            if (rows.Failed()) return Fail(error, "read error");
            out = std::move(result);
            return true;
        }
    }
    file.reset();
    std::vector<uint8_t> bytes;
    return ReadWholeFile(path, bytes, error) && DecodeBmp(bytes.data(), bytes.size(), out, error);
}

}  // namespace

bool DecodeBmp8(const uint8_t* data, size_t size, Bitmap8& out, std::string& error)
{
    return DecodeBmp(data, size, out, error);
}

bool DecodeBmp16(const uint8_t* data, size_t size, Bitmap16& out, std::string& error)
{
    return DecodeBmp(data, size, out, error);
}

bool LoadBmpFile8(const char* path, Bitmap8& out, std::string& error) { return LoadBmpFile(path, out, error); }

bool LoadBmpFile16(const char* path, Bitmap16& out, std::string& error) { return LoadBmpFile(path, out, error); }
