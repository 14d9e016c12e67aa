// The GDI texture loaders: joined to the same results as the portable decoder
// (whose tables cover the file forms), and their own refusals.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/bmp_decoder.h"
#include "imaging/texture.h"
#include "tests/support/bmp_writer.h"

using namespace bmpw;

namespace {

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = ::testing::TempDir() + "gyrofold_loader_" + name + ".bmp";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

BmpForm Form(uint16_t bits, BmpCompression compression = BmpCompression::Rgb)
{
    BmpForm f;
    f.bitsPerPixel = bits, f.compression = compression;
    return f;
}

std::vector<BmpColor> Palette()
{
    std::vector<BmpColor> p(256);
    for (size_t i = 0; i < 256; ++i) p[i] = {uint8_t(i * 37 + 5), uint8_t(255 - i * 11), uint8_t(i * 3)};
    return p;
}

// An 8-bit file 257 wide loads as 256 wide, top row first, with the same
// texels and palette as the decoder gives, and the same 5-5-5 texels.
TEST(TextureLoader, GivesTheDecodersTexels)
{
    const std::vector<uint8_t> paletted = WriteBmp(MakePalettedImage(257, 9, Palette()), Form(8));
    Bitmap8 d8;
    Bitmap16 d16;
    std::string error;
    ASSERT_TRUE(DecodeBmp8(paletted.data(), paletted.size(), d8, error)) << error;
    ASSERT_TRUE(DecodeBmp16(paletted.data(), paletted.size(), d16, error)) << error;

    const std::string path = WriteFile("paletted", paletted);
    int32_t width = 0, height = 0;
    uint8_t *palette = nullptr, *pixels = nullptr;
    uint16_t* texels = nullptr;
    ASSERT_EQ(LoadTexture8(path.c_str(), &width, &height, &palette, &pixels), 0);
    EXPECT_EQ(width * 100 + height, 25609);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 256 * 9), std::vector<uint8_t>(d8.pixels.begin(), d8.pixels.end()));
    EXPECT_EQ(std::vector<uint8_t>(palette, palette + 768), std::vector<uint8_t>(d8.palette, d8.palette + 768));
    ASSERT_EQ(LoadTexture16(path.c_str(), &width, &height, &texels), 0);
    EXPECT_EQ(std::vector<uint16_t>(texels, texels + 256 * 9), std::vector<uint16_t>(d16.pixels.begin(), d16.pixels.end()));
    for (void* p : {static_cast<void*>(pixels), static_cast<void*>(palette), static_cast<void*>(texels)}) std::free(p);
    std::remove(path.c_str());
}

// Sizes the mapper cannot use or that would cost too much memory are refused
// with the outputs untouched, as are files the platform cannot read.
TEST(TextureLoader, RefusalsLeaveOutputsUntouched)
{
    BmpForm huge = Form(8, BmpCompression::Rle8);
    huge.pixelData = std::vector<uint8_t>{0, 1};
    std::vector<uint8_t> hugeFile = WriteBmp(MakePalettedImage(8, 3, Palette()), huge);
    Put32(hugeFile, kWidthAt, 8192);
    Put32(hugeFile, kHeightAt, 8193);  // a few bytes declaring more than 64 Mi texels
    BmpForm oneBit = Form(1);
    oneBit.paletteEntries = 2;
    const std::string paths[] = {
        WriteFile("narrow3", WriteBmp(MakePalettedImage(3, 10, Palette()), Form(8))),
        WriteFile("too_wide", WriteBmp(MakePalettedImage(kMaxBitmapSide + 4, 1, Palette()), oneBit)),
        WriteFile("too_many", hugeFile), "", "Z:\\no\\such\\file.bmp", "C:\\windows\\win.ini",
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        int32_t w = -7, h = -7;
        uint8_t *palette = nullptr, *pixels = nullptr;
        uint16_t* pixels16 = nullptr;
        EXPECT_EQ(LoadTexture8(path.c_str(), &w, &h, &palette, &pixels), -1);
        EXPECT_EQ(LoadTexture16(path.c_str(), &w, &h, &pixels16), -1);
        EXPECT_EQ(w * 10 + h, -77);
        EXPECT_TRUE(palette == nullptr && pixels == nullptr && pixels16 == nullptr);
        if (!path.empty()) std::remove(path.c_str());
    }
}

}  // namespace
