// The BMP decoder's exhaustive tables, once: every form it reads, every file it
// refuses, and the native texture loaders over it. The layers above show with
// one case each that they are joined to it.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/bmp_decoder.h"
#include "imaging/texture.h"
#include "tests/support/bmp_writer.h"

using namespace bmpw;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr BmpCompression kRle4 = BmpCompression::Rle4, kRle8 = BmpCompression::Rle8;

// 5-5-5 written out here rather than borrowed from the decoder.
uint16_t Pack555(BmpColor c)
{
    return static_cast<uint16_t>(((c.red >> 3) << 10) | ((c.green >> 3) << 5) | (c.blue >> 3));
}

template <typename T>
std::vector<T> Texels(const PixelBuffer<T>& p) { return std::vector<T>(p.begin(), p.end()); }

struct Decoded {
    Bitmap8 b8;
    Bitmap16 b16;
};
Decoded Decode(const Bytes& f)
{
    Decoded d;
    std::string e8, e16;
    EXPECT_TRUE(DecodeBmp8(f.data(), f.size(), d.b8, e8) && DecodeBmp16(f.data(), f.size(), d.b16, e16)) << e8 << e16;
    return d;
}

BmpColor PaletteColor(const Bitmap8& b, uint8_t i) { return {b.palette[3 * i], b.palette[3 * i + 1], b.palette[3 * i + 2]}; }

std::vector<BmpColor> DistinctPalette(size_t n)
{
    std::vector<BmpColor> palette;
    for (size_t i = 0; i < n; ++i) palette.push_back({uint8_t(i * 41 + 3), uint8_t(255 - i), uint8_t(i * 13)});
    return palette;
}

BmpForm Fields(uint32_t header, uint16_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0, bool topDown = false)
{
    return Form(header, bits, BmpCompression::Bitfields, topDown, r, g, b, a);
}

// Every form of a 13 x 7 picture decodes cut to 12 columns, top row first:
// paletted files to their own indices and palette, black beyond it; direct
// colour files (fewer than 256 colours) to an exact palette where eight bits
// a channel are stored; and every file to 5-5-5 texels holding the top five
// bits of each channel.
TEST(BmpDecoder, EveryFormDecodesToItsPicture)
{
    const BmpCompression rgb = BmpCompression::Rgb;
    const struct {
        const char* name;
        BmpForm form;
        bool exact;  // eight bits a channel survive into the palette
    } cases[] = {
        {"core 1", Form(Core, 1), true}, {"core 8", Form(Core, 8), true},
        {"info 1 top-down", Form(Info, 1, rgb, true), true}, {"info 4", Form(Info, 4), true},
        {"info 8 top-down", Form(Info, 8, rgb, true), true}, {"V4 8", Form(V4, 8), true},
        {"V5 4", Form(V5, 4), true}, {"RLE4", Form(Info, 4, kRle4), true}, {"RLE8", Form(Info, 8, kRle8), true},
        {"V5 RLE8", Form(V5, 8, kRle8), true}, {"core 24", Form(Core, 24), true},
        {"info 24 top-down", Form(Info, 24, rgb, true), true}, {"info 32", Form(Info, 32), true},
        {"info 16 (5-5-5)", Form(Info, 16), false},
        {"V4 16 fields 5-6-5", Fields(V4, 16, 0xF800, 0x07E0, 0x001F), false},
        {"V5 32 fields with alpha", Fields(V5, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000), true},
        // Files that other readers load: a direct-colour file's unused colour
        // table of any length, and the OS/2 2.x headers of 16 to 64 bytes.
        {"info 24 with a 300-entry table", [] { BmpForm f = Form(Info, 24); f.paletteEntries = 300; return f; }(), true},
        {"OS/2 16-byte header, 24-bit", Form(16, 24), true}, {"OS/2 64-byte header, 8-bit", Form(64, 8), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint16_t bits = c.form.bitsPerPixel;
        // 8-bit files use fewer than 256 entries: the rest must come out black.
        const size_t colors = bits == 8 ? 200 : (bits < 8 ? size_t{1} << bits : 0);
        const BmpImage image = MakePalettedImage(13, 7, DistinctPalette(colors != 0 ? colors : 200));
        const auto [b8, b16] = Decode(WriteBmp(image, c.form));
        ASSERT_EQ(std::tuple(b8.width, b16.height, b8.pixels.size(), b16.pixels.size()),
                  std::tuple(12, 7, size_t{84}, size_t{84}));
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                const BmpColor want = image.ColorAt(x, y);
                ASSERT_EQ(b16.pixels[y * 12 + x], Pack555(want)) << x << "," << y;
                const BmpColor got = PaletteColor(b8, b8.pixels[y * 12 + x]);
                ASSERT_EQ(c.exact ? got : BmpColor{}, c.exact ? want : BmpColor{}) << x << "," << y;
                ASSERT_EQ(Pack555(got), Pack555(want)) << x << "," << y;
                ASSERT_TRUE(colors == 0 || b8.pixels[y * 12 + x] == image.indices[y * 13 + x]) << x << "," << y;
            }
        for (uint32_t i = colors; i < 256 && colors != 0; ++i) ASSERT_EQ(PaletteColor(b8, static_cast<uint8_t>(i)), BmpColor{}) << i;
    }
}

// A hand-made 8-bit file, 4 x 2: the bottom row comes first in the file, and
// colour table entries are blue, green, red, reserved.
TEST(BmpDecoder, TopRowComesFirstAndPaletteTurnsToRedGreenBlue)
{
    const Bitmap8 b8 = Decode({
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,  // file header: size 70, pixels at 62
        40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,  // 40-byte header, 4 x 2, 1 plane, 8 bits
        0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // no compression, 8 bytes of pixels
        2, 0, 0, 0, 0, 0, 0, 0,                          // two colours
        0x10, 0x20, 0x30, 0x00,                          // entry 0: red 0x30, green 0x20, blue 0x10
        0xF8, 0x07, 0xC0, 0x99,                          // entry 1: red 0xC0, green 0x07, blue 0xF8
        1, 1, 0, 1,                                      // bottom row
        0, 0, 1, 0,                                      // top row
    }).b8;
    EXPECT_EQ(Texels(b8.pixels), (Bytes{0, 0, 1, 0, 1, 1, 0, 1}));
    const uint8_t wantPalette[6] = {0x30, 0x20, 0x10, 0xC0, 0x07, 0xF8};
    EXPECT_EQ(std::memcmp(b8.palette, wantPalette, 6), 0);
}

// A channel the plain way, pixel by pixel: its bits cut to the top eight, or
// repeated downwards until eight are filled.
uint8_t ReferenceChannel(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) return 0;
    int low = 0, bits = 0;
    while (!((mask >> low) & 1)) ++low;
    while (low + bits < 32 && ((mask >> (low + bits)) & 1)) ++bits;
    const uint32_t v = (pixel & mask) >> low;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    uint32_t out = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits) out |= shift >= 0 ? v << shift : v >> -shift;
    return static_cast<uint8_t>(out);
}

// Bit fields of every width from 1 to the whole pixel, each channel in turn
// the widest, 16 and 32 bits, both row orders: 200 different pixel values,
// so that the 8-bit palette holds every colour exactly.
TEST(BmpDecoder, BitFieldsOfEveryWidthDecodeAsThePlainPerPixelWay)
{
    uint32_t seed = 12345;
    for (uint16_t bits : {16, 32})
        for (int width = 1; width <= bits; ++width)
            for (int first = 0; first < 3; ++first) {
                uint32_t masks[3] = {};
                for (int k = 0, low = 0; k < 3 && low < bits; ++k) {
                    const int w = std::min(width, bits - low);
                    masks[(first + k) % 3] = static_cast<uint32_t>(((uint64_t{1} << w) - 1) << low);
                    low += w;
                }
                SCOPED_TRACE(std::to_string(bits) + " bits, masks " + std::to_string(masks[0]) + " " +
                             std::to_string(masks[1]) + " " + std::to_string(masks[2]));
                uint32_t values[200];
                for (uint32_t& v : values) v = (seed = seed * 1664525u + 1013904223u) >> (32 - bits);
                BmpForm form = Fields(Info, bits, masks[0], masks[1], masks[2], 0, width % 2 == 1);
                const size_t rowPixels = bits == 16 ? 14 : 13;  // 13 x 5: 16-bit rows padded to 28 bytes
                form.pixelData.emplace();
                for (size_t i = 0; i < rowPixels * 5; ++i)
                    for (int b = 0; b < bits / 8; ++b) form.pixelData->push_back(uint8_t(values[i * 7 % 200] >> (8 * b)));
                const auto [b8, b16] = Decode(WriteBmp(MakePalettedImage(13, 5, {}), form));
                ASSERT_EQ(b16.pixels.size(), 60u);
                for (int32_t y = 0; y < 5; ++y)
                    for (int32_t x = 0; x < 12; ++x) {
                        const size_t fileRow = form.topDown ? size_t(y) : size_t(4 - y);
                        const uint32_t v = values[(fileRow * rowPixels + size_t(x)) * 7 % 200];
                        const BmpColor want{ReferenceChannel(v, masks[0]), ReferenceChannel(v, masks[1]),
                                            ReferenceChannel(v, masks[2])};
                        ASSERT_EQ(b16.pixels[y * 12 + x], Pack555(want)) << x << "," << y;
                        ASSERT_EQ(PaletteColor(b8, b8.pixels[y * 12 + x]), want) << x << "," << y;
                    }
            }
}

TEST(BmpDecoder, ManyColoursQuantiseClosely)
{
    BmpImage image{64, 64, {}, {}, {}};
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            image.colors.push_back({static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4),
                                    static_cast<uint8_t>(((x / 8 + y / 8) % 4) * 85)});
    const Bitmap8 first = Decode(WriteBmp(image, Form(Info, 24))).b8;
    ASSERT_EQ(first.pixels.size(), 4096u);
    double squared = 0;
    int worst = 0;
    for (int32_t i = 0; i < 64 * 64; ++i) {
        const BmpColor c = image.colors[static_cast<size_t>(i)], got = PaletteColor(first, first.pixels[i]);
        for (int d : {got.red - c.red, got.green - c.green, got.blue - c.blue}) {
            squared += d * d;
            worst = std::max(worst, std::abs(d));
        }
    }
    // 4096 colours in 256 entries: cells of 4 x 4 steps of 4 in red and
    // green, so a channel is off by a few steps at most.
    EXPECT_LT(squared / (64 * 64 * 3), 40.0);
    EXPECT_LE(worst, 24);
}

// More than 256 colours in fewer than 256 cells of 5-5-5: the median cut
// halves boxes down to single cells, so each colour becomes its cell's mean,
// rounded, which takes every low bit of every colour into account.
TEST(BmpDecoder, ManyColoursInFewCellsTakeTheirCellsRoundedMean)
{
    BmpImage image{24, 16, {}, {}, {}};
    std::map<int, std::array<int, 4>> cells;  // count, red, green, blue sums
    for (int i = 0; i < 24 * 16; ++i) {
        // 384 colours in 6 cells, whose means round up in every channel somewhere.
        const BmpColor c{uint8_t(8 * (i % 3) + i * 7 / 5 % 8), uint8_t(64 + 8 * (i % 2) + i * 3 / 4 % 8),
                           uint8_t(200 + i / 64)};
        image.colors.push_back(c);
        auto& cell = cells[(c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3];
        cell = {cell[0] + 1, cell[1] + c.red, cell[2] + c.green, cell[3] + c.blue};
    }
    const Bitmap8 b8 = Decode(WriteBmp(image, Form(Info, 24))).b8;
    ASSERT_EQ(b8.pixels.size(), 384u);
    for (int i = 0; i < 24 * 16; ++i) {
        const BmpColor c = image.colors[size_t(i)];
        const auto& [n, r, g, b] = cells[(c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3];
        ASSERT_EQ(PaletteColor(b8, b8.pixels[i]), (BmpColor{uint8_t((r + n / 2) / n), uint8_t((g + n / 2) / n),
                                                            uint8_t((b + n / 2) / n)})) << i;
    }
}

TEST(BmpDecoder, RleEscapesLeaveSkippedTexelsAtIndexZero)
{
    const BmpImage image = MakePalettedImage(8, 3, DistinctPalette(16));
    const struct {
        const char* name;
        BmpCompression compression;
        Bytes data;  // bottom row first
        Bytes want;  // top row first
    } cases[] = {
        {"RLE8 run, literal, end of line, delta", kRle8, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1},
         {0, 0, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 7, 1, 2, 3, 0, 0}},
        // Many encoders close the last row with an end of line before the
        // end of the picture; that is still inside the picture.
        {"RLE8 end of line after the last row", kRle8, {8, 1, 0, 0, 8, 2, 0, 0, 8, 3, 0, 0, 0, 1},
         {3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1}},
        // Runs alternate their two nibbles; literals hold nibbles high first.
        {"RLE4 runs and literals", kRle4, {5, 0x12, 0, 3, 0xAB, 0xC0, 0, 0, 0, 2, 0, 1, 8, 0xFF, 0, 1},
         {15, 15, 15, 15, 15, 15, 15, 15, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 1, 2, 1, 10, 11, 12}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpForm form = Form(Info, c.compression == kRle8 ? 8 : 4, c.compression);
        form.pixelData = c.data;
        const auto [b8, b16] = Decode(WriteBmp(image, form));
        EXPECT_EQ(Texels(b8.pixels), c.want);
        // In 16 bits a skipped texel is the colour of index 0, not black.
        ASSERT_EQ(b16.pixels.size(), c.want.size());
        for (size_t i = 0; i < c.want.size(); ++i)
            ASSERT_EQ(b16.pixels[i], Pack555(image.palette[c.want[i]])) << i;
    }
}

// A file is refused with a one-line reason, and the output keeps what it held.
std::string ExpectRefused(const Bytes& file, const std::string& what)
{
    SCOPED_TRACE(what);
    Bitmap8 b8;
    Bitmap16 b16;
    b8.width = b16.width = 77;
    std::string error, error16;
    EXPECT_FALSE(DecodeBmp8(file.data(), file.size(), b8, error));
    EXPECT_FALSE(DecodeBmp16(file.data(), file.size(), b16, error16));
    EXPECT_TRUE(!error.empty() && error.find('\n') == std::string::npos) << error;
    EXPECT_EQ(error16, error);
    EXPECT_TRUE(b8.width == 77 && b8.pixels.empty() && b16.width == 77 && b16.pixels.empty());
    return error;
}

TEST(BmpDecoder, EveryTruncationIsRefused)
{
    // Widths whose rows need no padding, so that every byte is needed.
    const BmpImage paletted = MakePalettedImage(12, 5, DistinctPalette(16));
    const BmpImage direct = MakePalettedImage(8, 3, DistinctPalette(24));
    const Bytes files[] = {
        WriteBmp(paletted, Form(Core, 8)), WriteBmp(MakePalettedImage(8, 5, DistinctPalette(16)), Form(Info, 4)),
        WriteBmp(direct, Form(Info, 24, BmpCompression::Rgb, true)),
        WriteBmp(direct, Fields(Info, 16, 0xF800, 0x07E0, 0x001F)), WriteBmp(paletted, Form(V5, 8)),
        WriteBmp(paletted, Form(Info, 8, kRle8)), WriteBmp(paletted, Form(Info, 4, kRle4)),
    };
    for (const Bytes& file : files) {
        ASSERT_FALSE(Decode(file).b8.pixels.empty());
        // A copy of exactly the prefix, so that the sanitizers catch a read past it.
        for (size_t length = 0; length < file.size(); ++length)
            ExpectRefused(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)),
                          "header size " + std::to_string(file[14]) + " cut to " + std::to_string(length));
    }
    Bitmap8 b8;
    std::string error;
    EXPECT_FALSE(DecodeBmp8(nullptr, 100, b8, error));
}

TEST(BmpDecoder, HostileHeadersAreRefused)
{
    const BmpImage image = MakePalettedImage(12, 5, DistinctPalette(16));
    const BmpImage direct = MakePalettedImage(8, 3, DistinctPalette(24));
    auto patched = [&](Bytes file, size_t offset, uint32_t value, size_t width = 4) {
        if (width == 2) Put16(file, offset, static_cast<uint16_t>(value));
        else Put32(file, offset, value);
        return file;
    };
    const BmpImage small = MakePalettedImage(8, 3, DistinctPalette(16));
    auto rle = [&](Bytes data) {
        BmpForm form = Form(Info, 8, kRle8);
        form.pixelData = data;
        return WriteBmp(small, form);
    };
    const Bytes plain = WriteBmp(image, Form(Info, 8)), plain4 = WriteBmp(image, Form(Info, 4));
    const Bytes rle8 = WriteBmp(image, Form(Info, 8, kRle8));
    const Bytes masks565 = WriteBmp(direct, Fields(Info, 16, 0xF800, 0x07E0, 0x001F));
    const std::pair<const char*, Bytes> cases[] = {
        {"wrong magic", patched(plain, 0, 0x4142, 2)},
        {"header size 15", WriteBmp(image, Form(15, 8))}, {"header size 65", WriteBmp(image, Form(65, 8))},
        {"OS/2 header with compression 1", WriteBmp(image, Form(64, 8, kRle8))},
        {"width 3 rounds to 0", patched(plain, kWidthAt, 3)},
        {"negative width", patched(plain, kWidthAt, static_cast<uint32_t>(-12))},
        {"height 0", patched(plain, kHeightAt, 0)}, {"most negative height", patched(plain, kHeightAt, 0x80000000u)},
        {"planes 0", patched(plain, kPlanesAt, 0, 2)}, {"bit depth 2", patched(plain, kBitCountAt, 2, 2)},
        {"core 16 bits", WriteBmp(direct, Form(Core, 16))},
        {"JPEG compression", patched(plain, kCompressionAt, 4)},
        {"RLE8 with 4 bits", patched(plain4, kCompressionAt, 1)},
        {"RLE4 with 8 bits", patched(plain, kCompressionAt, 2)},
        {"bit fields with 24 bits", WriteBmp(direct, Fields(Info, 24, 0xFF0000, 0xFF00, 0xFF))},
        {"top-down RLE8", patched(rle8, kHeightAt, static_cast<uint32_t>(-5))},
        {"masks all zero", patched(patched(patched(masks565, 54, 0), 58, 0), 62, 0)},
        {"mask not one run", WriteBmp(direct, Fields(Info, 16, 0xF00F, 0x07E0, 0x0010))},
        {"masks overlap", WriteBmp(direct, Fields(Info, 16, 0xF800, 0x0FE0, 0x001F))},
        {"mask past 16 bits", WriteBmp(direct, Fields(V4, 16, 0x1F0000, 0x07E0, 0x001F))},
        {"pixel offset one past the end", patched(plain, kPixelOffsetAt, static_cast<uint32_t>(plain.size() + 1))},
        {"pixel offset inside the header", patched(plain, kPixelOffsetAt, 20)},
        {"pixel offset inside the palette", patched(plain, kPixelOffsetAt, 54 + 4 * 8)},
        {"palette count 17 at 4 bits", patched(plain4, kColorsUsedAt, 17)},
        {"24-bit table past the end of the file", patched(WriteBmp(direct, Form(Info, 24)), kColorsUsedAt, 0xFFFFFFFFu)},
        {"RLE: runs add up past the row", rle({5, 1, 4, 1, 0, 1})},
        {"RLE: literal past the row", rle({4, 1, 0, 5, 1, 2, 3, 4, 5, 0, 0, 1})},
        {"RLE: rows past the top", rle({0, 0, 0, 0, 0, 0, 1, 1, 0, 1})},
        {"RLE: end of line past the top", rle({0, 0, 0, 0, 0, 0, 0, 0, 0, 1})},
        {"RLE: delta past the right edge", rle({0, 2, 9, 0, 0, 1})},
        {"RLE: delta past the top", rle({0, 2, 0, 4, 0, 1})},
        {"RLE: no end of picture", rle({8, 1, 0, 0, 8, 2, 0, 0, 8, 3})},
        {"RLE: literal padding missing", rle({0, 3, 1, 2, 3})}, {"RLE: delta cut short", rle({0, 2, 1})},
    };
    for (const auto& [name, file] : cases) ExpectRefused(file, name);

    // Two run-length bytes may declare the largest picture allowed; more
    // texels than that is the same refusal as a side past the limit.
    BmpForm tiny = Form(Info, 8, kRle8);
    tiny.pixelData = Bytes{0, 1};
    const Bytes tinyFile = WriteBmp(image, tiny);
    const auto [b8, b16] = Decode(patched(patched(tinyFile, kWidthAt, 8192), kHeightAt, 8192));
    EXPECT_EQ(b8.pixels.size(), size_t{8192} * 8192);
    ASSERT_EQ(b16.pixels.size(), size_t{8192} * 8192);
    EXPECT_EQ(b16.pixels[size_t{8192} * 8192 - 1], Pack555(image.palette[0]));
    const std::string tooLong = ExpectRefused(patched(tinyFile, kWidthAt, 16385), "side 16385");
    for (const auto& [w, h] : {std::pair{8192u, 8193u}, std::pair{16384u, 4097u}, std::pair{16384u, 16384u}}) {
        const Bytes file = patched(patched(tinyFile, kWidthAt, w), kHeightAt, h);
        EXPECT_LT(file.size(), 1100u);
        EXPECT_EQ(ExpectRefused(file, std::to_string(w) + " x " + std::to_string(h)), tooLong);
    }
}

// A file read from disk (uncompressed ones row by row, in blocks of a
// megabyte) decodes exactly as its bytes in memory do, refusals too.
TEST(BmpDecoder, FilesDecodeAsTheirBytesInMemory)
{
    const BmpImage small = MakePalettedImage(13, 7, DistinctPalette(200));
    // 16384 x 20 at 32 bits: 64 KiB rows, 16 to a block, so two blocks.
    const BmpImage wide = MakePalettedImage(16384, 20, DistinctPalette(200));
    std::vector<std::pair<std::string, Bytes>> files = {
        {"info 24", WriteBmp(small, Form(Info, 24))}, {"RLE8", WriteBmp(small, Form(Info, 8, kRle8))},
        {"V5 16 fields", WriteBmp(small, Fields(V5, 16, 0xF800, 0x07E0, 0x001F))},
        {"two blocks", WriteBmp(wide, Form(Info, 32))},
        {"two blocks top-down", WriteBmp(wide, Form(Info, 32, BmpCompression::Rgb, true))},
    };
    for (size_t i = 0, n = files.size(); i < n; ++i) {
        const Bytes f = files[i].second;
        for (size_t cut : {size_t{10}, size_t{40}, size_t{100}, f.size() / 2, f.size() - 3, f.size() - 1})
            if (cut < f.size()) files.push_back({files[i].first + " cut to " + std::to_string(cut), Bytes(f.begin(), f.begin() + cut)});
    }
    files.push_back({"empty", {}});
    const std::string path = ::testing::TempDir() + "gyrofold_file_rows.bmp";
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        SaveFile(path, bytes);
        Decoded memory, file;
        std::string e[4];
        const bool ok[4] = {DecodeBmp8(bytes.data(), bytes.size(), memory.b8, e[0]),
                            DecodeBmp16(bytes.data(), bytes.size(), memory.b16, e[1]),
                            LoadBmpFile8(path.c_str(), file.b8, e[2]), LoadBmpFile16(path.c_str(), file.b16, e[3])};
        EXPECT_EQ(std::tuple(ok[0], ok[1], e[0], e[1]), std::tuple(ok[2], ok[3], e[2], e[3]));
        EXPECT_EQ(std::tuple(memory.b8.width, memory.b8.height, memory.b16.width, memory.b16.height),
                  std::tuple(file.b8.width, file.b8.height, file.b16.width, file.b16.height));
        EXPECT_EQ(Texels(memory.b8.pixels), Texels(file.b8.pixels));
        EXPECT_EQ(Texels(memory.b16.pixels), Texels(file.b16.pixels));
        EXPECT_EQ(std::memcmp(memory.b8.palette, file.b8.palette, 768), 0);
    }
    std::remove(path.c_str());
}

// The native texture loaders refuse what the decoder refuses with their
// outputs untouched; what they load, scene setup shows.
TEST(TextureLoaderNative, RefusalsLeaveTheOutputsUntouched)
{
    int32_t width = -5, height = -5;
    uint8_t *palette = nullptr, *pixels = nullptr;
    uint16_t* texels = nullptr;
    for (const std::string& bad : {std::string(), ::testing::TempDir(), ::testing::TempDir() + "absent.bmp"}) {
        EXPECT_EQ(LoadTexture8(bad.c_str(), &width, &height, &palette, &pixels), -1) << bad;
        EXPECT_EQ(LoadTexture16(bad.c_str(), &width, &height, &texels), -1) << bad;
    }
    EXPECT_TRUE(width == -5 && height == -5 && !palette && !pixels && !texels);
}

}  // namespace
