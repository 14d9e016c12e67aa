// PNG and JPEG pictures against BMP files of the same pixels: the texels (and
// so every frame) must be the same bytes in both colour modes. JPEG's pixels
// are the ones libjpeg-turbo's own djpeg writes. Refusals are the renderer's
// table (tests/cli), where exit code, message and memory are seen as well.

#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/picture_decoder.h"
#include "tests/support/picture_writer.h"

using namespace bmpw;

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
std::vector<T> Texels(const PixelBuffer<T>& p) { return std::vector<T>(p.begin(), p.end()); }

template <typename Decode8, typename Decode16>
void ExpectSameTexels(const Bytes& bmp, Decode8 decode8, Decode16 decode16, const Bytes& file)
{
    PictureSource source;
    source.data = file.data(), source.size = file.size();
    Bitmap8 want8, got8;
    Bitmap16 want16, got16;
    std::string e;
    ASSERT_TRUE(DecodeBmp8(bmp.data(), bmp.size(), want8, e) && DecodeBmp16(bmp.data(), bmp.size(), want16, e));
    ASSERT_TRUE(decode8(source, got8, e) && decode16(source, got16, e)) << e;
    EXPECT_EQ(std::make_pair(got8.width, got8.height), std::make_pair(want8.width, want8.height));
    EXPECT_EQ(Texels(got8.pixels), Texels(want8.pixels));
    EXPECT_EQ(Bytes(got8.palette, got8.palette + 768), Bytes(want8.palette, want8.palette + 768));
    EXPECT_EQ(Texels(got16.pixels), Texels(want16.pixels));
}

// A sample of depth bits at (x, y) for channel c; 16-bit samples sit up to
// 100 either side of v x 257, which rounds to v but does not truncate to it.
uint16_t Sample(int32_t x, int32_t y, int c, int depth)
{
    const uint32_t v = static_cast<uint32_t>(x * 5 + y * 11 + c * 71 + x * y * 3) * 37;
    if (depth < 16) return static_cast<uint16_t>(v % (1u << depth));
    return static_cast<uint16_t>(std::clamp(static_cast<int32_t>(v % 256) * 257 + (x % 3 - 1) * 100, 0, 65535));
}

uint8_t To8(uint16_t v, int depth) { return uint8_t(depth == 16 ? (v + 128) / 257 : v * 255 / ((1 << depth) - 1)); }

// A colour over black at alpha a, rounded.
BmpColor Over(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return {uint8_t((r * a + 127) / 255), uint8_t((g * a + 127) / 255), uint8_t((b * a + 127) / 255)};
}

// Every colour type at the depths PNG allows (1 bit left to 2: libpng widens
// both in the same call), interlaced, with alpha and with tRNS (over black). A
// palette picture without transparency is an 8-bit BMP with that palette.
TEST(PictureDecoder, PngOfEveryFormGivesTheTexelsOfItsBmp)
{
    const int32_t w = 37, h = 29;  // the width is cut to 36; more than 256 colours
    const struct { const char* name; int colorType, depth; bool interlaced, transparency; } cases[] = {
        {"grey2", 0, 2, false, false},      {"grey4", 0, 4, true, false},     {"grey8", 0, 8, false, false},
        {"grey16", 0, 16, true, false},     {"grey8-trns", 0, 8, false, true}, {"rgb8", 2, 8, false, false},
        {"rgb16", 2, 16, false, false},     {"rgb16-trns", 2, 16, false, true}, {"palette2", 3, 2, true, false},
        {"palette4", 3, 4, false, false},   {"palette8", 3, 8, false, false}, {"palette8-trns", 3, 8, true, true},
        {"grey-alpha8", 4, 8, false, false}, {"grey-alpha16", 4, 16, true, false},
        {"rgba8", 6, 8, false, false},      {"rgba16", 6, 16, false, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        picw::PngPicture p;
        p.width = w, p.height = h, p.colorType = k.colorType, p.bitDepth = k.depth, p.interlaced = k.interlaced;
        const bool palette = k.colorType == PNG_COLOR_TYPE_PALETTE, alpha = (k.colorType & 4) != 0;
        const bool grey = !palette && (k.colorType & 2) == 0;
        const int channels = palette ? 1 : (grey ? 1 : 3) + (alpha ? 1 : 0);
        for (int i = 0; palette && i < (1 << k.depth); ++i) p.palette.push_back({uint8_t(i * 41 + 3), uint8_t(255 - i * 7), uint8_t(i * 13)});
        for (int i = 0; palette && k.transparency && i < 200; ++i) p.paletteAlpha.push_back(uint8_t(i * 53));
        // The colour of pixel (1, 0) becomes transparent.
        if (!palette && k.transparency) p.transparent = {{Sample(1, 0, 0, k.depth), Sample(1, 0, 1, k.depth), Sample(1, 0, 2, k.depth)}};
        BmpImage bmp;
        bmp.width = w, bmp.height = h;
        for (int32_t i = 0; i < w * h; ++i) {
            uint16_t s[4];
            for (int c = 0; c < channels; ++c) p.samples.push_back(s[c] = Sample(i % w, i / w, c, k.depth));
            if (palette) {
                const BmpColor e = p.palette[s[0]];
                bmp.indices.push_back(uint8_t(s[0]));
                bmp.colors.push_back(Over(e.red, e.green, e.blue, s[0] < p.paletteAlpha.size() ? p.paletteAlpha[s[0]] : 255));
                continue;
            }
            const bool clear = p.transparent && s[0] == (*p.transparent)[0] &&
                               (grey || (s[1] == (*p.transparent)[1] && s[2] == (*p.transparent)[2]));
            const uint8_t r = To8(s[0], k.depth), g = grey ? r : To8(s[1], k.depth), b = grey ? r : To8(s[2], k.depth);
            bmp.colors.push_back(Over(r, g, b, clear ? 0 : alpha ? To8(s[channels - 1], k.depth) : 255));
        }
        const bool asPalette = palette && !k.transparency;
        if (asPalette) bmp.palette = p.palette, bmp.colors.clear();
        ExpectSameTexels(WriteBmp(bmp, Form(Info, asPalette ? 8 : 24)), DecodePng8, DecodePng16, picw::WritePng(p));
    }
}

// Baseline, progressive and arithmetic-coded, colour and grey, against the
// RGB BMP that djpeg writes from the same file.
TEST(PictureDecoder, JpegGivesTheTexelsOfWhatDjpegWrites)
{
    const int32_t w = 43, h = 21;
    Bytes rgb;
    for (int32_t i = 0; i < w * h * 3; ++i) rgb.push_back(uint8_t(Sample(i / 3 % w, i / 3 / w, i % 3, 8) ^ (i / 3 % w * 9)));
    const std::pair<const char*, picw::JpegForm> cases[] = {
        {"baseline", {}}, {"progressive", {false, true}}, {"arithmetic", {false, false, true}},
        {"progressive-arithmetic-444", {false, true, true, false, true}}, {"grey", {true}}, {"grey-progressive", {true, true}},
    };
    const std::string dir = ::testing::TempDir() + "gyrofold-jpeg-" + std::to_string(getpid());
    for (const auto& [name, form] : cases) {
        SCOPED_TRACE(name);
        const Bytes jpeg = picw::WriteJpeg(w, h, rgb, form);
        const std::string in = dir + "-" + name + ".jpg", out = dir + "-" + name + ".bmp";
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        ASSERT_EQ(std::system(("djpeg -rgb -bmp -outfile '" + out + "' '" + in + "'").c_str()), 0);
        std::ifstream written(out, std::ios::binary);
        ExpectSameTexels(Bytes(std::istreambuf_iterator<char>(written), {}), DecodeJpeg8, DecodeJpeg16, jpeg);
        std::remove(in.c_str()), std::remove(out.c_str());
    }
}

}  // namespace
