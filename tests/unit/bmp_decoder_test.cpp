#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/bmp_decoder.h"
#include "imaging/texture.h"
#include "tests/support/bmp_writer.h"

using bmpw::BmpColor;
using bmpw::BmpCompression;
using bmpw::BmpForm;
using bmpw::BmpHeader;
using bmpw::BmpImage;

namespace {

// 5-5-5 from 8-bit channels, written out here rather than borrowed from the
// decoder: bit 15 zero, the top five bits of red, green and blue.
uint16_t Pack555(BmpColor c)
{
    return static_cast<uint16_t>(((c.red >> 3) << 10) | ((c.green >> 3) << 5) | (c.blue >> 3));
}

std::vector<BmpColor> DistinctPalette(size_t n)
{
    std::vector<BmpColor> palette;
    for (size_t i = 0; i < n; ++i)
        palette.push_back({static_cast<uint8_t>(i * 41 + 3), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 13)});
    return palette;
}

// Rows of runs and of single texels, so that the RLE encoders use both their
// encoded runs and their literal stretches.
BmpImage RunsImage(int32_t width, int32_t height, size_t colors)
{
    BmpImage image = bmpw::MakePalettedImage(width, height, DistinctPalette(colors));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            image.indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(
                (x < width / 2 ? (x / 5 + y) : (x * 3 + y * 7)) % colors);
    return image;
}

BmpForm Form(BmpHeader header, uint16_t bits, BmpCompression compression = BmpCompression::Rgb, bool topDown = false)
{
    BmpForm form;
    form.header = header;
    form.bitsPerPixel = bits;
    form.compression = compression;
    form.topDown = topDown;
    return form;
}

BmpForm Fields(BmpHeader header, uint16_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0, bool topDown = false)
{
    BmpForm form = Form(header, bits, BmpCompression::Bitfields, topDown);
    form.redMask = r;
    form.greenMask = g;
    form.blueMask = b;
    form.alphaMask = a;
    return form;
}

struct PalettedCase {
    const char* name;
    BmpForm form;
};

// Every paletted form of a 13 x 7 picture decodes to its own indices, cut to
// 12 columns, top row first, with the file's palette in red, green, blue order
// and black beyond it; the 16-bit form maps every index through that palette.
TEST(BmpDecoder, PalettedFormsDecodeToTheirIndicesAndPalette)
{
    const PalettedCase cases[] = {
        {"core 1", Form(BmpHeader::Core, 1)},
        {"core 4", Form(BmpHeader::Core, 4)},
        {"core 8", Form(BmpHeader::Core, 8)},
        {"info 1", Form(BmpHeader::Info, 1)},
        {"info 4", Form(BmpHeader::Info, 4)},
        {"info 8", Form(BmpHeader::Info, 8)},
        {"info 1 top-down", Form(BmpHeader::Info, 1, BmpCompression::Rgb, true)},
        {"info 4 top-down", Form(BmpHeader::Info, 4, BmpCompression::Rgb, true)},
        {"info 8 top-down", Form(BmpHeader::Info, 8, BmpCompression::Rgb, true)},
        {"V4 8", Form(BmpHeader::V4, 8)},
        {"V5 4", Form(BmpHeader::V5, 4)},
        {"V5 8 top-down", Form(BmpHeader::V5, 8, BmpCompression::Rgb, true)},
        {"RLE4", Form(BmpHeader::Info, 4, BmpCompression::Rle4)},
        {"RLE8", Form(BmpHeader::Info, 8, BmpCompression::Rle8)},
        {"V5 RLE8", Form(BmpHeader::V5, 8, BmpCompression::Rle8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint16_t bits = c.form.bitsPerPixel;
        // 8-bit files use fewer than 256 entries, so the entries past the
        // table must come out black.
        const size_t colors = bits == 8 ? 200 : (size_t{1} << bits);
        const BmpImage image = RunsImage(13, 7, colors);
        const std::vector<uint8_t> file = bmpw::WriteBmp(image, c.form);

        Bitmap8 b8;
        std::string error;
        ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), b8, error)) << error;
        ASSERT_EQ(b8.width, 12);
        ASSERT_EQ(b8.height, 7);
        ASSERT_EQ(b8.pixels.size(), 12u * 7u);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 12; ++x)
                ASSERT_EQ(b8.pixels[y * 12 + x], image.indices[y * 13 + x]) << "texel " << x << "," << y;
        for (size_t i = 0; i < 256; ++i) {
            const BmpColor want = i < colors ? image.palette[i] : BmpColor{};
            ASSERT_EQ(b8.palette[3 * i], want.red) << "entry " << i;
            ASSERT_EQ(b8.palette[3 * i + 1], want.green) << "entry " << i;
            ASSERT_EQ(b8.palette[3 * i + 2], want.blue) << "entry " << i;
        }

        Bitmap16 b16;
        ASSERT_TRUE(DecodeBmp16(file.data(), file.size(), b16, error)) << error;
        ASSERT_EQ(b16.width, 12);
        ASSERT_EQ(b16.height, 7);
        ASSERT_EQ(b16.pixels.size(), 12u * 7u);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 12; ++x)
                ASSERT_EQ(b16.pixels[y * 12 + x], Pack555(image.ColorAt(x, y))) << "texel " << x << "," << y;
    }
}

struct DirectCase {
    const char* name;
    BmpForm form;
    bool exactColors;  // 24 and 32-bit files keep all eight bits of a channel
};

// Every direct-colour form decodes to 5-5-5 texels holding the top five bits
// of each channel, and, having fewer than 256 colours, to an exact palette.
TEST(BmpDecoder, DirectColourFormsDecodeToTheirColours)
{
    const DirectCase cases[] = {
        {"core 24", Form(BmpHeader::Core, 24), true},
        {"info 24", Form(BmpHeader::Info, 24), true},
        {"info 24 top-down", Form(BmpHeader::Info, 24, BmpCompression::Rgb, true), true},
        {"info 32", Form(BmpHeader::Info, 32), true},
        {"info 32 top-down", Form(BmpHeader::Info, 32, BmpCompression::Rgb, true), true},
        {"info 16 (5-5-5)", Form(BmpHeader::Info, 16), false},
        {"info 16 top-down", Form(BmpHeader::Info, 16, BmpCompression::Rgb, true), false},
        {"info 16 fields 5-5-5", Fields(BmpHeader::Info, 16, 0x7C00, 0x03E0, 0x001F), false},
        {"info 16 fields 5-6-5", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F), false},
        {"info 16 fields 5-6-5 top-down", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F, 0, true), false},
        {"info 32 fields blue high", Fields(BmpHeader::Info, 32, 0x000000FF, 0x0000FF00, 0x00FF0000), true},
        {"info 32 fields 10-10-10", Fields(BmpHeader::Info, 32, 0x3FF00000, 0x000FFC00, 0x000003FF), true},
        {"V4 16 fields 5-6-5", Fields(BmpHeader::V4, 16, 0xF800, 0x07E0, 0x001F), false},
        {"V4 24", Form(BmpHeader::V4, 24), true},
        {"V5 32 fields with alpha", Fields(BmpHeader::V5, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000), true},
        {"V5 32 fields top-down", Fields(BmpHeader::V5, 32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0, true), true},
        {"V5 16 fields 4-4-4", Fields(BmpHeader::V5, 16, 0x0F00, 0x00F0, 0x000F), false},
    };
    const BmpImage image = bmpw::MakeColorImage(13, 7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> file = bmpw::WriteBmp(image, c.form);
        const bool fourBits = c.form.redMask == 0x0F00;

        Bitmap16 b16;
        std::string error;
        ASSERT_TRUE(DecodeBmp16(file.data(), file.size(), b16, error)) << error;
        ASSERT_EQ(b16.width, 12);
        ASSERT_EQ(b16.height, 7);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                BmpColor want = image.ColorAt(x, y);
                if (fourBits) {
                    // Four stored bits, repeated downwards: 0xA_ becomes 0xAA.
                    want = {static_cast<uint8_t>((want.red & 0xF0) | (want.red >> 4)),
                            static_cast<uint8_t>((want.green & 0xF0) | (want.green >> 4)),
                            static_cast<uint8_t>((want.blue & 0xF0) | (want.blue >> 4))};
                }
                ASSERT_EQ(b16.pixels[y * 12 + x], Pack555(want)) << "texel " << x << "," << y;
            }

        Bitmap8 b8;
        ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), b8, error)) << error;
        ASSERT_EQ(b8.width, 12);
        ASSERT_EQ(b8.height, 7);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                const uint8_t i = b8.pixels[y * 12 + x];
                const BmpColor got{b8.palette[3 * i], b8.palette[3 * i + 1], b8.palette[3 * i + 2]};
                if (c.exactColors) {
                    ASSERT_EQ(got, image.ColorAt(x, y)) << "texel " << x << "," << y;
                } else if (!fourBits) {
                    ASSERT_EQ(Pack555(got), Pack555(image.ColorAt(x, y))) << "texel " << x << "," << y;
                }
            }
    }
}

// A hand-made 8-bit file, 4 x 2, written byte by byte: the bottom row comes
// first in the file, and colour table entries are blue, green, red, reserved.
std::vector<uint8_t> HandMadeFile()
{
    std::vector<uint8_t> f = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,  // file header: size 70, pixels at 62
        40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,  // 40-byte header, 4 x 2, 1 plane, 8 bits
        0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // no compression, 8 bytes of pixels
        2, 0, 0, 0, 0, 0, 0, 0,                          // two colours
        0x10, 0x20, 0x30, 0x00,                          // entry 0: red 0x30, green 0x20, blue 0x10
        0xF8, 0x07, 0xC0, 0x99,                          // entry 1: red 0xC0, green 0x07, blue 0xF8
        1, 1, 0, 1,                                      // bottom row
        0, 0, 1, 0,                                      // top row
    };
    return f;
}

TEST(BmpDecoder, TopRowComesFirstAndPaletteTurnsToRedGreenBlue)
{
    const std::vector<uint8_t> f = HandMadeFile();
    Bitmap8 b8;
    std::string error;
    ASSERT_TRUE(DecodeBmp8(f.data(), f.size(), b8, error)) << error;
    EXPECT_EQ(b8.width, 4);
    EXPECT_EQ(b8.height, 2);
    EXPECT_EQ(b8.pixels, (std::vector<uint8_t>{0, 0, 1, 0, 1, 1, 0, 1}));
    const uint8_t wantPalette[6] = {0x30, 0x20, 0x10, 0xC0, 0x07, 0xF8};
    EXPECT_EQ(std::memcmp(b8.palette, wantPalette, 6), 0);
    for (int i = 6; i < 768; ++i) ASSERT_EQ(b8.palette[i], 0) << "byte " << i;

    Bitmap16 b16;
    ASSERT_TRUE(DecodeBmp16(f.data(), f.size(), b16, error)) << error;
    // 0x30,0x20,0x10 -> 6,4,2 -> 0x1882; 0xC0,0x07,0xF8 -> 24,0,31 -> 0x601F
    EXPECT_EQ(b16.pixels, (std::vector<uint16_t>{0x1882, 0x1882, 0x601F, 0x1882, 0x601F, 0x601F, 0x1882, 0x601F}));

    // The same rows stored top-down (negative height) give the same picture.
    std::vector<uint8_t> topDown = f;
    bmpw::Put32(topDown, bmpw::kHeightAt, static_cast<uint32_t>(-2));
    std::swap_ranges(topDown.begin() + 62, topDown.begin() + 66, topDown.begin() + 66);
    Bitmap8 t8;
    ASSERT_TRUE(DecodeBmp8(topDown.data(), topDown.size(), t8, error)) << error;
    EXPECT_EQ(t8.pixels, b8.pixels);
}

TEST(BmpDecoder, HiColorKeepsTheTopFiveBitsOfEveryChannel)
{
    struct Case {
        const char* name;
        BmpForm form;
        std::vector<uint8_t> pixel;  // one texel's bytes, repeated over a 4 x 1 picture
        uint16_t want;
    };
    const Case cases[] = {
        {"24: ff 80 07", Form(BmpHeader::Info, 24), {0x07, 0x80, 0xFF}, 0x7E00},
        {"24: 07 f8 84", Form(BmpHeader::Info, 24), {0x84, 0xF8, 0x07}, 0x03F0},
        {"32: 0x00123456", Form(BmpHeader::Info, 32), {0x56, 0x34, 0x12, 0x00}, 0x08CA},
        {"5-5-5 stays as stored", Form(BmpHeader::Info, 16), {0x5A, 0x2D}, 0x2D5A},
        {"5-5-5 drops bit 15", Form(BmpHeader::Info, 16), {0xFF, 0xFF}, 0x7FFF},
        {"5-6-5 white", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F), {0xFF, 0xFF}, 0x7FFF},
        {"5-6-5 full green", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F), {0xE0, 0x07}, 0x03E0},
        {"5-6-5 lowest green bit dropped", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F), {0x20, 0x00}, 0x0000},
        {"5-6-5 green 0b100001", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F), {0x20, 0x04}, 0x0200},
        {"5-6-5 red and blue", Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F), {0x11, 0x88}, 0x4411},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpImage image = bmpw::MakeColorImage(4, 1);
        BmpForm form = c.form;
        std::vector<uint8_t> data;
        for (int i = 0; i < 4; ++i) data.insert(data.end(), c.pixel.begin(), c.pixel.end());
        form.pixelData = data;
        const std::vector<uint8_t> file = bmpw::WriteBmp(image, form);
        Bitmap16 b16;
        std::string error;
        ASSERT_TRUE(DecodeBmp16(file.data(), file.size(), b16, error)) << error;
        EXPECT_EQ(b16.pixels, std::vector<uint16_t>(4, c.want));
    }
}

TEST(BmpDecoder, WidthRoundsDownToAMultipleOfFourDroppingTheRightmostColumns)
{
    for (int32_t width : {256, 257, 258, 259, 260, 4, 7}) {
        SCOPED_TRACE(width);
        const int32_t want = width / 4 * 4;
        BmpImage image = bmpw::MakePalettedImage(width, 3, DistinctPalette(250));
        // The columns past the rounded width use a colour nothing else uses.
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < width; ++x)
                image.indices[static_cast<size_t>(y) * width + x] = x >= want ? 249 : static_cast<uint8_t>((x + y) % 249);
        for (const BmpForm& form : {Form(BmpHeader::Info, 8), Form(BmpHeader::Info, 24), Form(BmpHeader::Info, 8, BmpCompression::Rle8)}) {
            const std::vector<uint8_t> file = bmpw::WriteBmp(image, form);
            Bitmap8 b8;
            Bitmap16 b16;
            std::string error;
            ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), b8, error)) << error;
            ASSERT_TRUE(DecodeBmp16(file.data(), file.size(), b16, error)) << error;
            ASSERT_EQ(b8.width, want);
            ASSERT_EQ(b16.width, want);
            ASSERT_EQ(b8.pixels.size(), static_cast<size_t>(want) * 3);
            ASSERT_EQ(b16.pixels.size(), static_cast<size_t>(want) * 3);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < want; ++x) {
                    const BmpColor want8 = image.ColorAt(x, y);
                    const uint8_t i = b8.pixels[y * want + x];
                    ASSERT_EQ((BmpColor{b8.palette[3 * i], b8.palette[3 * i + 1], b8.palette[3 * i + 2]}), want8);
                    ASSERT_EQ(b16.pixels[y * want + x], Pack555(want8));
                }
        }
    }
}

TEST(BmpDecoder, ManyColoursQuantiseCloselyAndDeterministically)
{
    // 64 x 64 with 4096 colours: a smooth red-green plane with blue stripes.
    BmpImage image;
    image.width = 64;
    image.height = 64;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            image.colors.push_back({static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4),
                                    static_cast<uint8_t>(((x / 8 + y / 8) % 4) * 85)});
    const std::vector<uint8_t> file = bmpw::WriteBmp(image, Form(BmpHeader::Info, 24));
    Bitmap8 first, second;
    std::string error;
    ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), first, error)) << error;
    ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), second, error)) << error;
    EXPECT_EQ(first.pixels, second.pixels);
    EXPECT_EQ(std::memcmp(first.palette, second.palette, 768), 0);

    double squared = 0;
    int worst = 0;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const BmpColor c = image.ColorAt(x, y);
            const uint8_t i = first.pixels[y * 64 + x];
            const int d[3] = {first.palette[3 * i] - c.red, first.palette[3 * i + 1] - c.green,
                              first.palette[3 * i + 2] - c.blue};
            for (int k : d) {
                squared += k * k;
                worst = std::max(worst, std::abs(k));
            }
        }
    // 4096 colours in 256 entries: about 16 per entry, cells of 4 x 4 steps of
    // 4 in red and green, so a channel is off by a few steps at most.
    EXPECT_LT(squared / (64 * 64 * 3), 40.0);
    EXPECT_LE(worst, 24);
}

TEST(BmpDecoder, RleEscapesLeaveSkippedTexelsAtIndexZero)
{
    // A hand-written RLE8 stream for an 8 x 3 picture (bottom row first).
    const std::vector<uint8_t> rle8 = {
        3, 7, 0, 3, 1, 2, 3, 0,  // bottom row: 7 7 7 1 2 3, then a padded literal
        0, 0,                    // end of line: the rest of the bottom row stays 0
        0, 2, 2, 1,              // delta: right 2, up 1 (middle row skipped to the top row)
        2, 9,                    // top row from x = 2: 9 9
        0, 1,                    // end of picture
    };
    BmpImage image = bmpw::MakePalettedImage(8, 3, DistinctPalette(16));
    BmpForm form = Form(BmpHeader::Info, 8, BmpCompression::Rle8);
    form.pixelData = rle8;
    std::vector<uint8_t> file = bmpw::WriteBmp(image, form);
    Bitmap8 b8;
    std::string error;
    ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), b8, error)) << error;
    EXPECT_EQ(b8.pixels, (std::vector<uint8_t>{0, 0, 9, 9, 0, 0, 0, 0,  //
                                               0, 0, 0, 0, 0, 0, 0, 0,  //
                                               7, 7, 7, 1, 2, 3, 0, 0}));

    // Many encoders close the last row with an end of line before the end of
    // the picture; that is still inside the picture.
    form.pixelData = std::vector<uint8_t>{8, 1, 0, 0, 8, 2, 0, 0, 8, 3, 0, 0, 0, 1};
    file = bmpw::WriteBmp(image, form);
    ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), b8, error)) << error;
    EXPECT_EQ(b8.pixels, (std::vector<uint8_t>{3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1}));

    // RLE4: runs alternate their two nibbles; literals hold nibbles high first.
    const std::vector<uint8_t> rle4 = {
        5, 0x12, 0, 3, 0xAB, 0xC0,  // bottom row: 1 2 1 2 1 A B C
        0, 0,                       //
        0, 2, 0, 1,                 // delta up 1 from x = 0: the middle row stays 0
        8, 0xFF,                    // top row all 15
        0, 1,
    };
    form = Form(BmpHeader::Info, 4, BmpCompression::Rle4);
    form.pixelData = rle4;
    file = bmpw::WriteBmp(image, form);
    ASSERT_TRUE(DecodeBmp8(file.data(), file.size(), b8, error)) << error;
    EXPECT_EQ(b8.pixels, (std::vector<uint8_t>{15, 15, 15, 15, 15, 15, 15, 15,  //
                                               0, 0, 0, 0, 0, 0, 0, 0,          //
                                               1, 2, 1, 2, 1, 10, 11, 12}));
}

// A file is refused, with a reason, and the output keeps what it held.
void ExpectRefused(const std::vector<uint8_t>& file, const std::string& what)
{
    SCOPED_TRACE(what);
    Bitmap8 b8;
    b8.width = 77;
    Bitmap16 b16;
    b16.width = 77;
    std::string error;
    EXPECT_FALSE(DecodeBmp8(file.data(), file.size(), b8, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(b8.width, 77);
    EXPECT_TRUE(b8.pixels.empty());
    error.clear();
    EXPECT_FALSE(DecodeBmp16(file.data(), file.size(), b16, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(b16.width, 77);
    EXPECT_TRUE(b16.pixels.empty());
}

TEST(BmpDecoder, EveryTruncationIsRefused)
{
    // Widths whose rows need no padding, so that every byte is needed.
    const BmpImage paletted = RunsImage(12, 5, 16);
    const BmpImage direct = bmpw::MakeColorImage(8, 3);
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    const Case cases[] = {
        {"core 8", bmpw::WriteBmp(paletted, Form(BmpHeader::Core, 8))},
        {"core 24", bmpw::WriteBmp(direct, Form(BmpHeader::Core, 24))},
        {"info 4", bmpw::WriteBmp(RunsImage(8, 5, 16), Form(BmpHeader::Info, 4))},
        {"info 8", bmpw::WriteBmp(paletted, Form(BmpHeader::Info, 8))},
        {"info 24 top-down", bmpw::WriteBmp(direct, Form(BmpHeader::Info, 24, BmpCompression::Rgb, true))},
        {"info 16 fields", bmpw::WriteBmp(direct, Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F))},
        {"V4 32 fields", bmpw::WriteBmp(direct, Fields(BmpHeader::V4, 32, 0xFF0000, 0xFF00, 0xFF))},
        {"V5 8", bmpw::WriteBmp(paletted, Form(BmpHeader::V5, 8))},
        {"RLE8", bmpw::WriteBmp(paletted, Form(BmpHeader::Info, 8, BmpCompression::Rle8))},
        {"RLE4", bmpw::WriteBmp(paletted, Form(BmpHeader::Info, 4, BmpCompression::Rle4))},
    };
    for (const auto& c : cases) {
        Bitmap8 whole;
        std::string error;
        ASSERT_TRUE(DecodeBmp8(c.file.data(), c.file.size(), whole, error)) << c.name << ": " << error;
        for (size_t length = 0; length < c.file.size(); ++length) {
            // A copy of exactly the prefix, so that a read past it is caught
            // by the sanitizers.
            const std::vector<uint8_t> prefix(c.file.begin(), c.file.begin() + static_cast<std::ptrdiff_t>(length));
            ExpectRefused(prefix, std::string(c.name) + " cut to " + std::to_string(length) + " bytes");
        }
    }
    ExpectRefused({}, "no bytes at all");
    Bitmap8 b8;
    std::string error;
    EXPECT_FALSE(DecodeBmp8(nullptr, 100, b8, error));
}

TEST(BmpDecoder, HostileHeadersAreRefused)
{
    const BmpImage image = RunsImage(12, 5, 16);
    const BmpImage direct = bmpw::MakeColorImage(8, 3);
    const BmpForm info8 = Form(BmpHeader::Info, 8);
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    auto with = [&](BmpForm form, auto change) {
        change(form);
        return bmpw::WriteBmp(image, form);
    };
    auto patched = [&](BmpForm form, size_t offset, uint32_t value, size_t width = 4) {
        std::vector<uint8_t> file = bmpw::WriteBmp(image, form);
        if (width == 2)
            bmpw::Put16(file, offset, static_cast<uint16_t>(value));
        else
            bmpw::Put32(file, offset, value);
        return file;
    };
    const Case cases[] = {
        {"wrong magic", patched(info8, 0, 0x4142, 2)},
        {"header size 0", patched(info8, bmpw::kHeaderSizeAt, 0)},
        {"header size 64", patched(info8, bmpw::kHeaderSizeAt, 64)},
        {"header size huge", patched(info8, bmpw::kHeaderSizeAt, 0xFFFFFFF0u)},
        {"width 0", with(info8, [](BmpForm& f) { f.widthField = 0; })},
        {"width 3 rounds to 0", with(info8, [](BmpForm& f) { f.widthField = 3; })},
        {"negative width", with(info8, [](BmpForm& f) { f.widthField = -12; })},
        {"height 0", with(info8, [](BmpForm& f) { f.heightField = 0; })},
        {"width above the limit", with(info8, [](BmpForm& f) { f.widthField = kMaxBitmapSide + 1; })},
        {"height above the limit", with(info8, [](BmpForm& f) { f.heightField = kMaxBitmapSide + 1; })},
        {"top-down height above the limit", with(info8, [](BmpForm& f) { f.heightField = -(kMaxBitmapSide + 1); })},
        {"most negative height", with(info8, [](BmpForm& f) { f.heightField = INT32_MIN; })},
        {"largest width", with(info8, [](BmpForm& f) { f.widthField = INT32_MAX; })},
        {"core width above the limit", with(Form(BmpHeader::Core, 8), [](BmpForm& f) { f.widthField = 65535; })},
        // The largest accepted sides with a few bytes of pixels: the product
        // is refused before anything is allocated.
        {"16384 squared at 32 bits", bmpw::WriteBmp(direct, [] {
             BmpForm f = Form(BmpHeader::Info, 32);
             f.widthField = kMaxBitmapSide;
             f.heightField = kMaxBitmapSide;
             return f;
         }())},
        {"16384 squared at 1 bit", with(Form(BmpHeader::Info, 1), [](BmpForm& f) {
             f.widthField = kMaxBitmapSide;
             f.heightField = -kMaxBitmapSide;
         })},
        {"planes 0", with(info8, [](BmpForm& f) { f.planes = 0; })},
        {"bit depth 0", patched(info8, bmpw::kBitCountAt, 0, 2)},
        {"bit depth 2", patched(info8, bmpw::kBitCountAt, 2, 2)},
        {"bit depth 64", patched(info8, bmpw::kBitCountAt, 64, 2)},
        {"core 16 bits", bmpw::WriteBmp(direct, Form(BmpHeader::Core, 16))},
        {"JPEG compression", with(info8, [](BmpForm& f) { f.compressionField = 4; })},
        {"PNG compression", with(info8, [](BmpForm& f) { f.compressionField = 5; })},
        {"alpha bit fields", with(info8, [](BmpForm& f) { f.compressionField = 6; })},
        {"compression huge", with(info8, [](BmpForm& f) { f.compressionField = 0x80000001u; })},
        {"RLE8 with 4 bits", with(Form(BmpHeader::Info, 4), [](BmpForm& f) { f.compressionField = 1; })},
        {"RLE4 with 8 bits", with(info8, [](BmpForm& f) { f.compressionField = 2; })},
        {"bit fields with 24 bits", bmpw::WriteBmp(direct, Fields(BmpHeader::Info, 24, 0xFF0000, 0xFF00, 0xFF))},
        {"bit fields with 8 bits", with(info8, [](BmpForm& f) { f.compressionField = 3; })},
        {"top-down RLE8", with(Form(BmpHeader::Info, 8, BmpCompression::Rle8), [](BmpForm& f) { f.heightField = -5; })},
        {"masks all zero", [&] {
             std::vector<uint8_t> f = bmpw::WriteBmp(direct, Fields(BmpHeader::Info, 16, 0xF800, 0x07E0, 0x001F));
             for (size_t at = 54; at < 66; at += 4) bmpw::Put32(f, at, 0);  // the three masks after the header
             return f;
         }()},
        {"mask not one run", bmpw::WriteBmp(direct, Fields(BmpHeader::Info, 16, 0xF00F, 0x07E0, 0x0010))},
        {"masks overlap", bmpw::WriteBmp(direct, Fields(BmpHeader::Info, 16, 0xF800, 0x0FE0, 0x001F))},
        {"mask past 16 bits", bmpw::WriteBmp(direct, Fields(BmpHeader::V4, 16, 0x1F0000, 0x07E0, 0x001F))},
        {"pixel offset past the end", with(info8, [](BmpForm& f) { f.pixelOffset = 0xFFFFFFF0u; })},
        {"pixel offset one past the end", [&] {
             std::vector<uint8_t> f = bmpw::WriteBmp(image, info8);
             bmpw::Put32(f, bmpw::kPixelOffsetAt, static_cast<uint32_t>(f.size() + 1));
             return f;
         }()},
        {"pixel offset inside the header", with(info8, [](BmpForm& f) { f.pixelOffset = 20; })},
        {"pixel offset inside the palette", with(info8, [](BmpForm& f) { f.pixelOffset = 54 + 4 * 8; })},
        {"pixel offset leaves too few pixels", patched(info8, bmpw::kPixelOffsetAt, 54 + 4 * 16 + 4)},
        {"palette count 257", with(info8, [](BmpForm& f) { f.colorsUsed = 257; })},
        {"palette count huge", with(info8, [](BmpForm& f) { f.colorsUsed = 0xFFFFFFFFu; })},
        {"palette count 17 at 4 bits", with(Form(BmpHeader::Info, 4), [](BmpForm& f) { f.colorsUsed = 17; })},
        {"palette count 3 at 1 bit", with(Form(BmpHeader::Info, 1), [](BmpForm& f) { f.colorsUsed = 3; })},
        {"palette count 300 at 24 bits", [&] {
             BmpForm f = Form(BmpHeader::Info, 24);
             f.colorsUsed = 300;
             f.paletteEntries = 300;  // the table is really there: only the count is wrong
             return bmpw::WriteBmp(direct, f);
         }()},
        {"palette past the end of the file", with(info8, [](BmpForm& f) {
             f.colorsUsed = 256;
             f.pixelData = std::vector<uint8_t>{};
         })},
        {"palette overlaps the pixels", with(info8, [](BmpForm& f) { f.colorsUsed = 200; })},
    };
    for (const auto& c : cases) ExpectRefused(c.file, c.name);
}

TEST(BmpDecoder, HostileRleStreamsAreRefused)
{
    const BmpImage image = bmpw::MakePalettedImage(8, 3, DistinctPalette(16));
    struct Case {
        const char* name;
        BmpCompression compression;
        std::vector<uint8_t> data;
    };
    const BmpCompression r8 = BmpCompression::Rle8;
    const BmpCompression r4 = BmpCompression::Rle4;
    const Case cases[] = {
        {"run past the row", r8, {9, 1, 0, 1}},
        {"runs add up past the row", r8, {5, 1, 4, 1, 0, 1}},
        {"literal past the row", r8, {4, 1, 0, 5, 1, 2, 3, 4, 5, 0, 0, 1}},
        {"rows past the top", r8, {0, 0, 0, 0, 0, 0, 1, 1, 0, 1}},
        {"end of line past the top", r8, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"delta past the right edge", r8, {0, 2, 9, 0, 0, 1}},
        {"delta past the top", r8, {0, 2, 0, 4, 0, 1}},
        {"delta to the top then a run", r8, {0, 2, 0, 3, 1, 1, 0, 1}},
        {"no end of picture", r8, {8, 1, 0, 0, 8, 2, 0, 0, 8, 3}},
        {"empty stream", r8, {}},
        {"odd last byte", r8, {8, 1, 0}},
        {"literal cut short", r8, {0, 6, 1, 2, 3}},
        {"literal padding missing", r8, {0, 3, 1, 2, 3}},
        {"delta cut short", r8, {0, 2, 1}},
        {"RLE4 run past the row", r4, {9, 0x12, 0, 1}},
        {"RLE4 literal past the row", r4, {6, 0x12, 0, 3, 0x12, 0x30, 0, 1}},
        {"RLE4 literal cut short", r4, {0, 7, 0x12, 0x34}},
        {"RLE4 literal padding missing", r4, {0, 3, 0x12, 0x30, 0, 0, 0}},
        {"RLE4 no end of picture", r4, {8, 0x11}},
    };
    for (const auto& c : cases) {
        BmpForm form = Form(BmpHeader::Info, c.compression == r8 ? 8 : 4, c.compression);
        form.pixelData = c.data;
        ExpectRefused(bmpw::WriteBmp(image, form), c.name);
    }
}

std::string TempPath(const char* name)
{
    return ::testing::TempDir() + "gyrofold_bmp_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
}

TEST(BmpFileLoading, ReadsAWholeFileAndNamesWhyItCannot)
{
    const std::string path = TempPath("ok.bmp");
    WriteFile(path, HandMadeFile());
    Bitmap8 b8;
    Bitmap16 b16;
    std::string error;
    ASSERT_TRUE(LoadBmpFile8(path.c_str(), b8, error)) << error;
    EXPECT_EQ(b8.pixels, (std::vector<uint8_t>{0, 0, 1, 0, 1, 1, 0, 1}));
    ASSERT_TRUE(LoadBmpFile16(path.c_str(), b16, error)) << error;
    EXPECT_EQ(b16.pixels.size(), 8u);
    std::remove(path.c_str());

    struct Case {
        const char* name;
        std::string path;
    };
    const std::string garbage = TempPath("garbage.bmp");
    WriteFile(garbage, std::vector<uint8_t>(100, 'x'));
    const Case cases[] = {
        {"empty path", ""},
        {"missing file", TempPath("missing.bmp")},
        {"a directory", ::testing::TempDir()},
        {"not a bitmap", garbage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        error.clear();
        Bitmap8 keep;
        keep.width = 77;
        EXPECT_FALSE(LoadBmpFile8(c.path.c_str(), keep, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(keep.width, 77);
        error.clear();
        EXPECT_FALSE(LoadBmpFile16(c.path.c_str(), b16, error));
        EXPECT_FALSE(error.empty());
    }
    error.clear();
    EXPECT_FALSE(LoadBmpFile8(nullptr, b8, error));
    EXPECT_FALSE(error.empty());
    std::remove(garbage.c_str());
}

// The native texture loaders over the decoder: 0 with heap buffers on
// success, -1 with the outputs untouched on failure.
TEST(BmpFileLoading, TextureLoadersReturnZeroOrMinusOne)
{
    const std::string path = TempPath("texture.bmp");
    WriteFile(path, HandMadeFile());
    int32_t width = -5, height = -5;
    uint8_t* palette = nullptr;
    uint8_t* pixels = nullptr;
    ASSERT_EQ(LoadTexture8(path.c_str(), &width, &height, &palette, &pixels), 0);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 2);
    ASSERT_NE(pixels, nullptr);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(pixels[2], 1);
    EXPECT_EQ(pixels[4], 1);
    EXPECT_EQ(palette[3], 0xC0);
    std::free(pixels);
    std::free(palette);
    uint16_t* texels = nullptr;
    ASSERT_EQ(LoadTexture16(path.c_str(), &width, &height, &texels), 0);
    ASSERT_NE(texels, nullptr);
    EXPECT_EQ(texels[0], 0x1882);
    std::free(texels);
    std::remove(path.c_str());

    width = height = -5;
    palette = pixels = nullptr;
    texels = nullptr;
    EXPECT_EQ(LoadTexture8("", &width, &height, &palette, &pixels), -1);
    EXPECT_EQ(LoadTexture16(TempPath("absent.bmp").c_str(), &width, &height, &texels), -1);
    EXPECT_EQ(width, -5);
    EXPECT_EQ(height, -5);
    EXPECT_EQ(palette, nullptr);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(texels, nullptr);
}

}  // namespace
