#pragma once
// BMP files of every form the decoders meet, built in tests instead of kept as
// binary files: 12-byte core headers and 16- to 124-byte headers of the 40-byte
// layout, 1 to 32 bits, bit fields, RLE4/RLE8, either row order. Hostile files
// patch single fields (Put16, Put32).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bmpw {

// The size of the header that follows the 14-byte file header.
enum BmpHeader : uint32_t { Core = 12, Info = 40, V4 = 108, V5 = 124 };

enum class BmpCompression : uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3 };

struct BmpColor {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const BmpColor& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

// A picture, row 0 at the top. Paletted forms (1, 4, 8 bits) store indices;
// direct forms store colors, or, when colors is empty, the indices' colours.
struct BmpImage {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> indices;   // width x height
    std::vector<BmpColor> colors;   // width x height
    std::vector<BmpColor> palette;  // the colour table written to the file

    BmpColor ColorAt(int32_t x, int32_t y) const;
};

struct BmpForm {
    uint32_t header = Info;  // any size from 16 up is the 40-byte layout, cut or padded with zeros
    uint16_t bitsPerPixel = 24;
    BmpCompression compression = BmpCompression::Rgb;
    bool topDown = false;
    // Masks for BmpCompression::Bitfields; all zero means 5-5-5 or 8-8-8.
    uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
    // Colour table entries written; by default the palette's size (2^bits for
    // the core header, none for direct colour). The count field says 0 for
    // 2^bits, else the entries.
    std::optional<uint32_t> paletteEntries;
    std::optional<std::vector<uint8_t>> pixelData;  // replaces the encoded pixels
};

std::vector<uint8_t> WriteBmp(const BmpImage& image, const BmpForm& form);

// Writes a file of these bytes; gives the path back.
std::string SaveFile(const std::string& path, const std::vector<uint8_t>& bytes);

// A form with masks when any is given (compression bit fields).
BmpForm Form(uint32_t header, uint16_t bits, BmpCompression compression = BmpCompression::Rgb, bool topDown = false,
             uint32_t red = 0, uint32_t green = 0, uint32_t blue = 0, uint32_t alpha = 0);

// Index (7x + 3y + x / 3) mod the palette size at (x, y).
BmpImage MakePalettedImage(int32_t width, int32_t height, std::vector<BmpColor> palette);

// Little-endian field patches; the offsets hold for the 40-byte layout.
void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
constexpr size_t kPixelOffsetAt = 10, kHeaderSizeAt = 14, kWidthAt = 18, kHeightAt = 22, kPlanesAt = 26,
                 kBitCountAt = 28, kCompressionAt = 30, kColorsUsedAt = 46;

}  // namespace bmpw
