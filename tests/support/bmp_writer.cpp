#include "tests/support/bmp_writer.h"

#include <fstream>

namespace bmpw {

namespace {

void Append(std::vector<uint8_t>& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An 8-bit channel in a mask: its top bits when the mask is narrower, the
// value repeated downwards when it is wider.
uint32_t PlaceChannel(uint32_t value, uint32_t mask)
{
    if (mask == 0) return 0;
    int low = 0, bits = 0;
    while (((mask >> low) & 1u) == 0) ++low;
    while (low + bits < 32 && ((mask >> (low + bits)) & 1u) != 0) ++bits;
    uint64_t repeated = 0;
    for (int filled = 0; filled < bits; filled += 8) repeated = (repeated << 8) | value;
    const int have = 8 * ((bits + 7) / 8);
    return static_cast<uint32_t>(repeated >> (have - bits)) << low;
}

// One RLE row of 3 to 255 texels as a single literal stretch, padded to 16
// bits; runs are the hand-written streams' to show.
void EncodeRow(const uint8_t* row, int32_t width, bool four, std::vector<uint8_t>& out)
{
    auto pair = [&](int32_t x) { return four ? uint8_t((row[x] & 15) << 4 | (x + 1 < width ? row[x + 1] & 15 : 0)) : row[x]; };
    out.insert(out.end(), {0, static_cast<uint8_t>(width)});
    const int32_t bytes = four ? (width + 1) / 2 : width;
    for (int32_t i = 0; i < bytes; ++i) out.push_back(pair(four ? 2 * i : i));
    if (bytes & 1) out.push_back(0);
}

std::vector<uint8_t> EncodePixels(const BmpImage& image, const BmpForm& form, const uint32_t masks[3])
{
    if (form.pixelData) return *form.pixelData;
    const int32_t w = image.width, h = image.height, bits = form.bitsPerPixel;
    std::vector<uint8_t> out;
    if (form.compression == BmpCompression::Rle8 || form.compression == BmpCompression::Rle4) {
        for (int32_t y = h - 1; y >= 0; --y) {
            EncodeRow(&image.indices[static_cast<size_t>(y) * w], w, form.compression == BmpCompression::Rle4, out);
            out.insert(out.end(), {0, static_cast<uint8_t>(y == 0 ? 1 : 0)});
        }
        return out;
    }
    for (int32_t fileRow = 0; fileRow < h; ++fileRow) {
        const int32_t y = form.topDown ? fileRow : h - 1 - fileRow;
        std::vector<uint8_t> row((static_cast<size_t>(w) * bits + 31) / 32 * 4, 0);
        for (int32_t x = 0; x < w; ++x) {
            const BmpColor c = image.ColorAt(x, y);
            if (bits <= 8) {
                const size_t bit = static_cast<size_t>(x) * bits;
                const uint32_t index = image.indices[static_cast<size_t>(y) * w + x] & ((1u << bits) - 1);
                row[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
            } else if (bits == 24) {
                row[3 * x] = c.blue, row[3 * x + 1] = c.green, row[3 * x + 2] = c.red;
            } else {
                const uint32_t v = PlaceChannel(c.red, masks[0]) | PlaceChannel(c.green, masks[1]) |
                                   PlaceChannel(c.blue, masks[2]) | form.alphaMask;
                for (int i = 0; i < bits / 8; ++i) row[bits / 8 * x + i] = static_cast<uint8_t>(v >> (8 * i));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

BmpColor BmpImage::ColorAt(int32_t x, int32_t y) const
{
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    if (!colors.empty()) return colors.at(i);
    return indices.at(i) < palette.size() ? palette[indices[i]] : BmpColor{};
}

std::vector<uint8_t> WriteBmp(const BmpImage& image, const BmpForm& form)
{
    const bool core = form.header == Core, paletted = form.bitsPerPixel <= 8;
    const bool fields = form.compression == BmpCompression::Bitfields;
    uint32_t masks[3] = {0x7C00u, 0x03E0u, 0x001Fu};
    if ((form.redMask | form.greenMask | form.blueMask) != 0) masks[0] = form.redMask, masks[1] = form.greenMask, masks[2] = form.blueMask;
    else if (form.bitsPerPixel == 32) masks[0] = 0xFF0000u, masks[1] = 0xFF00u, masks[2] = 0xFFu;
    uint32_t entries = !paletted ? 0 : core ? 1u << form.bitsPerPixel : static_cast<uint32_t>(image.palette.size());
    entries = form.paletteEntries.value_or(entries);
    const std::vector<uint8_t> pixels = EncodePixels(image, form, masks);

    std::vector<uint8_t> header;
    Append(header, form.header, 4);
    const int32_t height = form.topDown ? -image.height : image.height;
    const int fieldBytes = core ? 2 : 4;
    Append(header, static_cast<uint32_t>(image.width), fieldBytes);
    Append(header, static_cast<uint32_t>(height), fieldBytes);
    Append(header, 1, 2);
    Append(header, form.bitsPerPixel, 2);
    if (!core) {
        // Compression, pixel bytes, 72 dots per inch both ways, colours, all important.
        const uint32_t used = paletted && entries == 1u << form.bitsPerPixel ? 0 : entries;
        for (uint32_t v : {static_cast<uint32_t>(form.compression), static_cast<uint32_t>(pixels.size()), 2835u, 2835u, used, 0u})
            Append(header, v, 4);
        // Masks sit in the header from V4 on, after it in a 40-byte one.
        if (fields || form.header > Info)
            for (uint32_t m : {masks[0], masks[1], masks[2], form.alphaMask}) Append(header, fields ? m : 0, 4);
        if (form.header == Info && fields) header.resize(header.size() - 4);
        if (form.header != Info || !fields) header.resize(form.header, 0);
    }
    for (uint32_t i = 0; i < entries; ++i) {
        const BmpColor c = i < image.palette.size() ? image.palette[i] : BmpColor{};
        header.insert(header.end(), {c.blue, c.green, c.red});
        if (!core) header.push_back(0);
    }
    std::vector<uint8_t> out = {'B', 'M'};
    const uint32_t offset = static_cast<uint32_t>(14 + header.size());
    for (uint32_t v : {offset + static_cast<uint32_t>(pixels.size()), 0u, offset}) Append(out, v, 4);
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

BmpForm Form(uint32_t header, uint16_t bits, BmpCompression compression, bool topDown, uint32_t red, uint32_t green,
             uint32_t blue, uint32_t alpha)
{
    if ((red | green | blue) != 0) compression = BmpCompression::Bitfields;
    return {header, bits, compression, topDown, red, green, blue, alpha, {}, {}};
}

BmpImage MakePalettedImage(int32_t width, int32_t height, std::vector<BmpColor> palette)
{
    BmpImage image{width, height, {}, {}, std::move(palette)};
    const size_t count = image.palette.empty() ? 1 : image.palette.size();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) image.indices.push_back(static_cast<uint8_t>((x * 7 + y * 3 + x / 3) % count));
    return image;
}

void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value)
{
    bytes.at(offset) = static_cast<uint8_t>(value), bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    Put16(bytes, offset, static_cast<uint16_t>(value));
    Put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

std::string SaveFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

}  // namespace bmpw
