#pragma once
// Writes the bytes of BMP files in every form the decoders meet: core, info,
// V4 and V5 headers; 1, 4, 8, 16, 24 and 32 bits per pixel with or without
// bit-field masks; RLE4 and RLE8; bottom-up and top-down; with any palette
// count. Tests build their pictures here instead of keeping binary files, and
// may override single header fields to make hostile files.

#include <cstdint>
#include <optional>
#include <vector>

namespace bmpw {

// The size of the header that follows the 14-byte file header.
enum class BmpHeader : uint32_t { Core = 12, Info = 40, V4 = 108, V5 = 124 };

enum class BmpCompression : uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3 };

struct BmpColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const BmpColor& o) const { return red == o.red && green == o.green && blue == o.blue; }
    bool operator!=(const BmpColor& o) const { return !(*this == o); }
};

// A picture, row 0 at the top. Paletted forms (1, 4, 8 bits) store indices;
// direct forms (16, 24, 32 bits) store colors, or, when colors is empty,
// the palette colours of the indices.
struct BmpImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> indices;   // width x height
    std::vector<BmpColor> colors;   // width x height
    std::vector<BmpColor> palette;  // the colour table written to the file

    BmpColor ColorAt(int32_t x, int32_t y) const;
};

// How the picture is stored. The optional fields replace what the writer
// would otherwise put in the file, for files that lie about themselves.
struct BmpForm {
    BmpHeader header = BmpHeader::Info;
    uint16_t bitsPerPixel = 24;
    BmpCompression compression = BmpCompression::Rgb;
    bool topDown = false;  // negative height; the core header has no such form

    // Bit-field masks for BmpCompression::Bitfields (16 and 32 bits). Zero
    // means the usual masks: 5-5-5 for 16 bits, 8-8-8 for 32 bits.
    uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;

    // Colour table entries written; by default the palette's size (2^bits
    // for the core header, which has no colour count).
    std::optional<uint32_t> paletteEntries;
    // The colour count field (biClrUsed); by default 0 when the table holds
    // 2^bits entries, else the number of entries written.
    std::optional<uint32_t> colorsUsed;
    std::optional<uint32_t> pixelOffset;     // bfOffBits
    std::optional<uint32_t> fileSize;        // bfSize
    std::optional<uint32_t> imageSize;       // biSizeImage
    std::optional<int32_t> widthField;       // biWidth as written
    std::optional<int32_t> heightField;      // biHeight as written (sign included)
    std::optional<uint16_t> planes;          // biPlanes
    std::optional<uint32_t> compressionField;
    std::optional<std::vector<uint8_t>> pixelData;  // replaces the encoded pixels
};

std::vector<uint8_t> WriteBmp(const BmpImage& image, const BmpForm& form);

// The encoded pixel bytes alone, as WriteBmp would store them.
std::vector<uint8_t> EncodePixels(const BmpImage& image, const BmpForm& form);

// Helpers for tests that build images.
BmpImage MakePalettedImage(int32_t width, int32_t height, std::vector<BmpColor> palette);
BmpImage MakeColorImage(int32_t width, int32_t height);

// Little-endian field access for tests that patch written files.
void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

// Offsets of fields in a file with a 40-byte or larger header.
constexpr size_t kFileSizeAt = 2;
constexpr size_t kPixelOffsetAt = 10;
constexpr size_t kHeaderSizeAt = 14;
constexpr size_t kWidthAt = 18;
constexpr size_t kHeightAt = 22;
constexpr size_t kBitCountAt = 28;
constexpr size_t kCompressionAt = 30;
constexpr size_t kColorsUsedAt = 46;

}  // namespace bmpw
