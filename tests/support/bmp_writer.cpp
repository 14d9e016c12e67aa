#include "tests/support/bmp_writer.h"

#include <stdexcept>

namespace bmpw {

namespace {

void Append16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool Paletted(uint16_t bits) { return bits <= 8; }

int LowestBit(uint32_t mask)
{
    int shift = 0;
    while (shift < 32 && ((mask >> shift) & 1u) == 0) ++shift;
    return shift;
}

int BitCount(uint32_t mask)
{
    int n = 0;
    for (; mask != 0; mask &= mask - 1) ++n;
    return n;
}

// Puts an 8-bit channel into a mask: the top bits when the mask is narrower,
// the value repeated into the low bits when it is wider.
uint32_t PlaceChannel(uint8_t value, uint32_t mask)
{
    if (mask == 0) return 0;
    const int bits = BitCount(mask);
    uint32_t scaled;
    if (bits <= 8) {
        scaled = static_cast<uint32_t>(value) >> (8 - bits);
    } else {
        scaled = 0;
        int filled = 0;
        while (filled < bits) {
            const int take = bits - filled < 8 ? bits - filled : 8;
            scaled = (scaled << take) | (static_cast<uint32_t>(value) >> (8 - take));
            filled += take;
        }
    }
    return (scaled << LowestBit(mask)) & mask;
}

struct Masks {
    uint32_t red, green, blue, alpha;
};

Masks MasksOf(const BmpForm& form)
{
    if (form.compression == BmpCompression::Bitfields &&
        (form.redMask | form.greenMask | form.blueMask) != 0)
        return {form.redMask, form.greenMask, form.blueMask, form.alphaMask};
    if (form.bitsPerPixel == 16) return {0x7C00u, 0x03E0u, 0x001Fu, form.alphaMask};
    return {0x00FF0000u, 0x0000FF00u, 0x000000FFu, form.alphaMask};
}

size_t RowBytes(int32_t width, uint16_t bits)
{
    return ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
}

// One row of RLE8 or RLE4: runs of two or more equal values, literal
// stretches of three or more (padded to 16 bits), single values as runs of 1.
void EncodeRow(const uint8_t* row, int32_t width, bool four, std::vector<uint8_t>& out)
{
    auto pair = [&](uint8_t a, uint8_t b) { return four ? static_cast<uint8_t>(((a & 0x0F) << 4) | (b & 0x0F)) : a; };
    int32_t x = 0;
    while (x < width) {
        int32_t run = 1;
        while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(pair(row[x], row[x]));
            x += run;
            continue;
        }
        // A literal stretch, up to the next pair of equal values.
        int32_t n = 1;
        while (x + n < width && n < 255 && !(x + n + 1 < width && row[x + n] == row[x + n + 1])) ++n;
        if (n >= 3) {
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(n));
            const int32_t bytes = four ? (n + 1) / 2 : n;
            for (int32_t i = 0; i < bytes; ++i)
                out.push_back(four ? pair(row[x + 2 * i], 2 * i + 1 < n ? row[x + 2 * i + 1] : 0) : row[x + i]);
            if (bytes & 1) out.push_back(0);
        } else {
            for (int32_t i = 0; i < n; ++i) {
                out.push_back(1);
                out.push_back(pair(row[x + i], 0));
            }
        }
        x += n;
    }
}

}  // namespace

BmpColor BmpImage::ColorAt(int32_t x, int32_t y) const
{
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    if (!colors.empty()) return colors.at(i);
    const uint8_t index = indices.at(i);
    return index < palette.size() ? palette[index] : BmpColor{};
}

std::vector<uint8_t> EncodePixels(const BmpImage& image, const BmpForm& form)
{
    if (form.pixelData) return *form.pixelData;
    const int32_t w = image.width;
    const int32_t h = image.height;
    const uint16_t bits = form.bitsPerPixel;
    std::vector<uint8_t> out;
    // RLE data is always stored bottom-up; a top-down RLE file is a lie the
    // tests make on purpose, so its rows keep the same order.
    const bool rle = form.compression == BmpCompression::Rle8 || form.compression == BmpCompression::Rle4;
    if (rle) {
        for (int32_t fileRow = 0; fileRow < h; ++fileRow) {
            const int32_t y = h - 1 - fileRow;
            const uint8_t* row = image.indices.data() + static_cast<size_t>(y) * w;
            EncodeRow(row, w, form.compression == BmpCompression::Rle4, out);
            if (fileRow + 1 < h) {
                out.push_back(0);
                out.push_back(0);
            }
        }
        out.push_back(0);
        out.push_back(1);
        return out;
    }

    const size_t rowBytes = RowBytes(w, bits);
    const Masks masks = MasksOf(form);
    for (int32_t fileRow = 0; fileRow < h; ++fileRow) {
        const int32_t y = form.topDown ? fileRow : h - 1 - fileRow;
        std::vector<uint8_t> row(rowBytes, 0);
        for (int32_t x = 0; x < w; ++x) {
            if (Paletted(bits)) {
                const uint8_t index = image.indices.at(static_cast<size_t>(y) * w + x);
                const size_t bit = static_cast<size_t>(x) * bits;
                const int shift = 8 - bits - static_cast<int>(bit % 8);
                row[bit / 8] |= static_cast<uint8_t>((index & ((1u << bits) - 1)) << shift);
                continue;
            }
            const BmpColor c = image.ColorAt(x, y);
            if (bits == 24) {
                row[3 * x] = c.blue;
                row[3 * x + 1] = c.green;
                row[3 * x + 2] = c.red;
                continue;
            }
            uint32_t v = PlaceChannel(c.red, masks.red) | PlaceChannel(c.green, masks.green) |
                         PlaceChannel(c.blue, masks.blue) | masks.alpha;
            const size_t bytes = bits / 8;
            for (size_t i = 0; i < bytes; ++i) row[bytes * x + i] = static_cast<uint8_t>(v >> (8 * i));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> WriteBmp(const BmpImage& image, const BmpForm& form)
{
    const bool core = form.header == BmpHeader::Core;
    const uint32_t headerSize = static_cast<uint32_t>(form.header);
    // The core header has no colour count: its table always holds 2^bits entries.
    uint32_t entries = static_cast<uint32_t>(image.palette.size());
    if (core && Paletted(form.bitsPerPixel)) entries = 1u << form.bitsPerPixel;
    if (form.paletteEntries) entries = *form.paletteEntries;
    const uint32_t entryBytes = core ? 3 : 4;
    const bool masksAfterHeader = form.header == BmpHeader::Info && form.compression == BmpCompression::Bitfields;
    const Masks masks = MasksOf(form);
    const std::vector<uint8_t> pixels = EncodePixels(image, form);

    const uint32_t tableOffset = 14 + headerSize + (masksAfterHeader ? 12 : 0);
    const uint32_t naturalOffset = tableOffset + entries * entryBytes;
    const uint32_t offset = form.pixelOffset ? *form.pixelOffset : naturalOffset;
    const uint32_t total = naturalOffset + static_cast<uint32_t>(pixels.size());

    std::vector<uint8_t> out;
    out.reserve(total);
    out.push_back('B');
    out.push_back('M');
    Append32(out, form.fileSize ? *form.fileSize : total);
    Append32(out, 0);
    Append32(out, offset);

    Append32(out, headerSize);
    const int32_t width = form.widthField ? *form.widthField : image.width;
    const int32_t height = form.heightField ? *form.heightField : (form.topDown ? -image.height : image.height);
    const uint16_t planes = form.planes ? *form.planes : 1;
    if (core) {
        Append16(out, static_cast<uint16_t>(width));
        Append16(out, static_cast<uint16_t>(height));
        Append16(out, planes);
        Append16(out, form.bitsPerPixel);
    } else {
        Append32(out, static_cast<uint32_t>(width));
        Append32(out, static_cast<uint32_t>(height));
        Append16(out, planes);
        Append16(out, form.bitsPerPixel);
        Append32(out, form.compressionField ? *form.compressionField : static_cast<uint32_t>(form.compression));
        Append32(out, form.imageSize ? *form.imageSize : static_cast<uint32_t>(pixels.size()));
        Append32(out, 2835);  // 72 dots per inch
        Append32(out, 2835);
        uint32_t used;
        if (form.colorsUsed)
            used = *form.colorsUsed;
        else if (Paletted(form.bitsPerPixel) && entries == (1u << form.bitsPerPixel))
            used = 0;
        else
            used = entries;
        Append32(out, used);
        Append32(out, 0);  // every colour important
        if (form.header != BmpHeader::Info) {
            const bool fields = form.compression == BmpCompression::Bitfields;
            Append32(out, fields ? masks.red : 0);
            Append32(out, fields ? masks.green : 0);
            Append32(out, fields ? masks.blue : 0);
            Append32(out, form.alphaMask);
            Append32(out, 0x73524742u);  // 'sRGB'
            for (int i = 0; i < 9 + 3; ++i) Append32(out, 0);  // endpoints and gamma
            if (form.header == BmpHeader::V5) {
                Append32(out, 4);  // intent: graphics
                Append32(out, 0);  // no profile
                Append32(out, 0);
                Append32(out, 0);
            }
        }
    }
    if (masksAfterHeader) {
        Append32(out, masks.red);
        Append32(out, masks.green);
        Append32(out, masks.blue);
    }
    for (uint32_t i = 0; i < entries; ++i) {
        const BmpColor c = i < image.palette.size() ? image.palette[i] : BmpColor{};
        out.push_back(c.blue);
        out.push_back(c.green);
        out.push_back(c.red);
        if (!core) out.push_back(0);
    }
    // An offset past the table leaves a gap; one inside it overlaps, which is
    // what a hostile file would do, so the pixels still follow the table.
    while (out.size() < offset && offset <= naturalOffset + 4096u) out.push_back(0);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

BmpImage MakePalettedImage(int32_t width, int32_t height, std::vector<BmpColor> palette)
{
    BmpImage image;
    image.width = width;
    image.height = height;
    image.palette = std::move(palette);
    const size_t count = image.palette.empty() ? 1 : image.palette.size();
    image.indices.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            image.indices[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>((static_cast<size_t>(x) * 7 + static_cast<size_t>(y) * 3 + (x / 3)) % count);
    return image;
}

BmpImage MakeColorImage(int32_t width, int32_t height)
{
    BmpImage image;
    image.width = width;
    image.height = height;
    image.colors.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            image.colors[static_cast<size_t>(y) * width + x] = BmpColor{
                static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(y * 53 + 7), static_cast<uint8_t>(x * y + 91)};
    return image;
}

void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value)
{
    if (offset + 2 > bytes.size()) throw std::out_of_range("Put16 past the end");
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    if (offset + 4 > bytes.size()) throw std::out_of_range("Put32 past the end");
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace bmpw
