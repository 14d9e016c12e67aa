// The GDI texture loaders against the portable decoder, file form by file form,
// and the loaders' own refusals.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/bmp_decoder.h"
#include "imaging/texture.h"
#include "tests/support/bmp_writer.h"

using namespace bmpw;

namespace {

std::string TempPath(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "gyrofold_loader_" + name + ".bmp";
}

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = TempPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

std::vector<BmpColor> Palette(size_t n)
{
    std::vector<BmpColor> p(n);
    for (size_t i = 0; i < n; ++i)
        p[i] = BmpColor{static_cast<uint8_t>(i * 37 + 5), static_cast<uint8_t>(255 - i * 11), static_cast<uint8_t>(i * 3)};
    return p;
}

struct Loaded8 {
    int32_t status = -1, width = 0, height = 0;
    std::vector<uint8_t> pixels, palette;
};
struct Loaded16 {
    int32_t status = -1, width = 0, height = 0;
    std::vector<uint16_t> pixels;
};

Loaded8 Gdi8(const std::string& path)
{
    Loaded8 r;
    uint8_t* palette = nullptr;
    uint8_t* pixels = nullptr;
    r.status = LoadTexture8(path.c_str(), &r.width, &r.height, &palette, &pixels);
    if (r.status == 0) {
        r.pixels.assign(pixels, pixels + static_cast<size_t>(r.width) * r.height);
        r.palette.assign(palette, palette + 768);
        std::free(pixels);
        std::free(palette);
    }
    return r;
}

Loaded16 Gdi16(const std::string& path)
{
    Loaded16 r;
    uint16_t* pixels = nullptr;
    r.status = LoadTexture16(path.c_str(), &r.width, &r.height, &pixels);
    if (r.status == 0) {
        r.pixels.assign(pixels, pixels + static_cast<size_t>(r.width) * r.height);
        std::free(pixels);
    }
    return r;
}

// How the GDI result relates to the decoder's for one file in one mode.
enum class Match {
    Identical,       // same size, same texels (and palette, 8-bit)
    SameIndices,     // same texels and the file's own colours; the palette
                     // entries the file does not define may differ
    SameSize,        // both load at the same size; the conversion differs
};

struct FormCase {
    const char* name;
    BmpForm form;
    int32_t width, height;
    size_t paletteSize;  // 0: a direct-colour picture
    Match mode8, mode16;
};

BmpForm Form(BmpHeader header, uint16_t bits, BmpCompression compression = BmpCompression::Rgb, bool topDown = false)
{
    BmpForm f;
    f.header = header;
    f.bitsPerPixel = bits;
    f.compression = compression;
    f.topDown = topDown;
    return f;
}

BmpForm Masks(uint16_t bits, uint32_t r, uint32_t g, uint32_t b)
{
    BmpForm f = Form(BmpHeader::Info, bits, BmpCompression::Bitfields);
    f.redMask = r;
    f.greenMask = g;
    f.blueMask = b;
    return f;
}

class LoaderComparison : public ::testing::TestWithParam<FormCase> {};

TEST_P(LoaderComparison, GdiAgainstDecoder)
{
    const FormCase& c = GetParam();
    BmpImage image = c.paletteSize ? MakePalettedImage(c.width, c.height, Palette(c.paletteSize))
                                   : MakeColorImage(c.width, c.height);
    const std::vector<uint8_t> bytes = WriteBmp(image, c.form);
    const std::string path = WriteFile(c.name, bytes);

    Bitmap8 d8;
    Bitmap16 d16;
    std::string error;
    ASSERT_TRUE(DecodeBmp8(bytes.data(), bytes.size(), d8, error)) << error;
    ASSERT_TRUE(DecodeBmp16(bytes.data(), bytes.size(), d16, error)) << error;
    const Loaded8 g8 = Gdi8(path);
    const Loaded16 g16 = Gdi16(path);
    ASSERT_EQ(g8.status, 0);
    ASSERT_EQ(g16.status, 0);

    // The size rule holds for every form: width rounded down to 4.
    EXPECT_EQ(g8.width, c.width & ~3);
    EXPECT_EQ(g8.height, c.height);
    EXPECT_EQ(g8.width, d8.width);
    EXPECT_EQ(g8.height, d8.height);
    EXPECT_EQ(g16.width, d16.width);
    EXPECT_EQ(g16.height, d16.height);

    const std::vector<uint8_t> decoderPalette(d8.palette, d8.palette + 768);
    switch (c.mode8) {
    case Match::Identical:
        EXPECT_EQ(g8.pixels, d8.pixels);
        EXPECT_EQ(g8.palette, decoderPalette);
        break;
    case Match::SameIndices:
        EXPECT_EQ(g8.pixels, d8.pixels);
        EXPECT_EQ(std::vector<uint8_t>(g8.palette.begin(), g8.palette.begin() + 3 * c.paletteSize),
                  std::vector<uint8_t>(decoderPalette.begin(), decoderPalette.begin() + 3 * c.paletteSize));
        break;
    case Match::SameSize:
        break;
    }
    if (c.mode16 == Match::Identical) {
        EXPECT_EQ(g16.pixels, d16.pixels);
    }
    // Every 5-5-5 texel keeps bit 15 clear in both.
    for (uint16_t t : d16.pixels) ASSERT_EQ(t & 0x8000, 0);
    std::remove(path.c_str());
}

const FormCase kForms[] = {
    {"info8_full", Form(BmpHeader::Info, 8), 260, 33, 256, Match::Identical, Match::Identical},
    {"info8_width257", Form(BmpHeader::Info, 8), 257, 9, 256, Match::Identical, Match::Identical},
    // Expected difference: wine's file loader reads the three-byte colour
    // table of a 12-byte header differently from the decoder (entry 1 comes
    // back as 0,0,3 for a file entry of 42,244,3), so colours differ in
    // both modes; the sizes agree.
    {"core8_full", Form(BmpHeader::Core, 8), 64, 20, 256, Match::SameSize, Match::SameSize},
    {"v5_8_full", Form(BmpHeader::V5, 8), 64, 20, 256, Match::Identical, Match::Identical},
    {"rle8_full", Form(BmpHeader::Info, 8, BmpCompression::Rle8), 64, 20, 256, Match::Identical, Match::Identical},
    {"info8_short_table", Form(BmpHeader::Info, 8), 64, 20, 40, Match::SameIndices, Match::Identical},
    // Expected difference: a 1- or 4-bit file asked for as 8 bits comes back
    // from the platform in its own default 256-colour palette, with indices
    // into that palette; the decoder keeps the file's indices and colours.
    // In 16-bit mode the colours agree exactly.
    {"info4", Form(BmpHeader::Info, 4), 64, 20, 16, Match::SameSize, Match::Identical},
    {"rle4", Form(BmpHeader::Info, 4, BmpCompression::Rle4), 64, 20, 16, Match::SameSize, Match::Identical},
    {"info1", Form(BmpHeader::Info, 1), 64, 20, 2, Match::SameSize, Match::Identical},
    // Expected difference: direct-colour files in 8-bit mode. The platform
    // maps them onto its default palette, the decoder quantises them with a
    // median cut of their own colours.
    {"info24", Form(BmpHeader::Info, 24), 66, 21, 0, Match::SameSize, Match::Identical},
    {"info16_555", Form(BmpHeader::Info, 16), 64, 20, 0, Match::SameSize, Match::Identical},
    {"info16_565", Masks(16, 0xF800, 0x07E0, 0x001F), 64, 20, 0, Match::SameSize, Match::Identical},
    {"info32", Form(BmpHeader::Info, 32), 64, 20, 0, Match::SameSize, Match::Identical},
    {"info32_masks", Masks(32, 0x00FF0000, 0x0000FF00, 0x000000FF), 64, 20, 0, Match::SameSize, Match::Identical},
    {"v4_24", Form(BmpHeader::V4, 24), 64, 20, 0, Match::SameSize, Match::Identical},
};

INSTANTIATE_TEST_SUITE_P(Forms, LoaderComparison, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST(TextureLoader, TopRowOfTheFileIsRowZero)
{
    // Picture row 0 is index 1 everywhere, the rest index 2.
    BmpImage image = MakePalettedImage(8, 4, Palette(256));
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 4; ++y) image.indices[static_cast<size_t>(y) * 8 + x] = y == 0 ? 1 : 2;
    const std::string path = WriteFile("toprow", WriteBmp(image, Form(BmpHeader::Info, 8)));
    const Loaded8 g8 = Gdi8(path);
    ASSERT_EQ(g8.status, 0);
    EXPECT_EQ(g8.pixels[0], 1);
    EXPECT_EQ(g8.pixels[7], 1);
    EXPECT_EQ(g8.pixels[8], 2);
    // Palette entry 1 converted from blue-green-red-reserved to red-green-blue.
    const BmpColor one = Palette(256)[1];
    EXPECT_EQ(g8.palette[3], one.red);
    EXPECT_EQ(g8.palette[4], one.green);
    EXPECT_EQ(g8.palette[5], one.blue);
    const Loaded16 g16 = Gdi16(path);
    ASSERT_EQ(g16.status, 0);
    const uint16_t expectTop = static_cast<uint16_t>(((one.red >> 3) << 10) | ((one.green >> 3) << 5) | (one.blue >> 3));
    EXPECT_EQ(g16.pixels[0], expectTop);
    std::remove(path.c_str());
}

TEST(TextureLoader, RefusalsLeaveOutputsUntouched)
{
    struct Refusal {
        const char* name;
        int32_t width, height;
    } refusals[] = {{"narrow3", 3, 10}, {"narrow1", 1, 1}, {"too_wide", kMaxBitmapSide + 4, 1},
                    {"too_tall", 4, kMaxBitmapSide + 1}};
    for (const Refusal& r : refusals) {
        BmpImage image = MakePalettedImage(r.width, r.height, Palette(2));
        const std::string path = WriteFile(r.name, WriteBmp(image, Form(BmpHeader::Info, 1)));
        int32_t w = -7, h = -7;
        uint8_t* palette = reinterpret_cast<uint8_t*>(0x1);
        uint8_t* pixels = reinterpret_cast<uint8_t*>(0x2);
        EXPECT_EQ(LoadTexture8(path.c_str(), &w, &h, &palette, &pixels), -1) << r.name;
        uint16_t* pixels16 = reinterpret_cast<uint16_t*>(0x3);
        EXPECT_EQ(LoadTexture16(path.c_str(), &w, &h, &pixels16), -1) << r.name;
        EXPECT_EQ(w, -7);
        EXPECT_EQ(h, -7);
        EXPECT_EQ(palette, reinterpret_cast<uint8_t*>(0x1));
        EXPECT_EQ(pixels, reinterpret_cast<uint8_t*>(0x2));
        EXPECT_EQ(pixels16, reinterpret_cast<uint16_t*>(0x3));
        std::remove(path.c_str());
    }
    for (const char* bad : {"", "Z:\\no\\such\\file.bmp", "C:\\windows\\win.ini"}) {
        int32_t w = -7, h = -7;
        uint8_t* palette = nullptr;
        uint8_t* pixels = nullptr;
        uint16_t* pixels16 = nullptr;
        EXPECT_EQ(LoadTexture8(bad, &w, &h, &palette, &pixels), -1) << bad;
        EXPECT_EQ(LoadTexture16(bad, &w, &h, &pixels16), -1) << bad;
        EXPECT_EQ(w, -7);
        EXPECT_EQ(pixels, nullptr);
        EXPECT_EQ(pixels16, nullptr);
    }
    // Exactly four texels wide is a texture.
    BmpImage four = MakePalettedImage(4, 1, Palette(256));
    const std::string path = WriteFile("four", WriteBmp(four, Form(BmpHeader::Info, 8)));
    const Loaded8 g8 = Gdi8(path);
    EXPECT_EQ(g8.status, 0);
    EXPECT_EQ(g8.width, 4);
    EXPECT_EQ(g8.height, 1);
    std::remove(path.c_str());
}

}  // namespace
