// PNG and JPEG pictures against BMP files of the same pixels: the texels (and
// so every frame) must be the same bytes in both colour modes. JPEG's pixels
// are the ones libjpeg-turbo's own djpeg writes. Refusals are the renderer's
// table (tests/cli), where exit code, message and memory are seen as well.

#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/picture_decoder.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/picture_writer.h"

using namespace bmpw;

namespace {

using Bytes = std::vector<uint8_t>;

// Both forms of both files, compared byte for byte.
void ExpectSameTexels(const Bytes& bmp, bool (*decode8)(const PictureSource&, Bitmap8&, std::string&),
                      bool (*decode16)(const PictureSource&, Bitmap16&, std::string&), const Bytes& file)
{
    PictureSource source;
    source.data = file.data();
    source.size = file.size();
    Bitmap8 want8, got8;
    Bitmap16 want16, got16;
    std::string error;
    ASSERT_TRUE(DecodeBmp8(bmp.data(), bmp.size(), want8, error) && DecodeBmp16(bmp.data(), bmp.size(), want16, error));
    ASSERT_TRUE(decode8(source, got8, error)) << error;
    ASSERT_TRUE(decode16(source, got16, error)) << error;
    EXPECT_EQ(got8.width, want8.width);
    EXPECT_EQ(got8.height, want8.height);
    EXPECT_EQ(got16.width, want16.width);
    EXPECT_EQ(Bytes(got8.pixels.begin(), got8.pixels.end()), Bytes(want8.pixels.begin(), want8.pixels.end()));
    EXPECT_EQ(Bytes(got8.palette, got8.palette + 768), Bytes(want8.palette, want8.palette + 768));
    EXPECT_EQ(std::vector<uint16_t>(got16.pixels.begin(), got16.pixels.end()),
              std::vector<uint16_t>(want16.pixels.begin(), want16.pixels.end()));
}

// A sample of depth bits at (x, y) for channel c; 16-bit samples sit up to
// 100 either side of v x 257, which rounds to v but does not truncate to it.
uint16_t Sample(int32_t x, int32_t y, int c, int depth)
{
    const uint32_t v = static_cast<uint32_t>(x * 5 + y * 11 + c * 71 + x * y * 3) * 37;
    if (depth < 16) return static_cast<uint16_t>(v % (1u << depth));
    const int32_t wide = static_cast<int32_t>(v % 256) * 257 + (x % 3 - 1) * 100;
    return static_cast<uint16_t>(wide < 0 ? 0 : wide > 65535 ? 65535 : wide);
}

uint8_t To8(uint16_t v, int depth) { return depth == 16 ? static_cast<uint8_t>((v + 128) / 257) : static_cast<uint8_t>(v * 255 / ((1 << depth) - 1)); }

struct PngCase {
    const char* name;
    int colorType, depth;
    bool interlaced, transparency;
};

// Every colour type at every depth PNG allows, interlaced, with alpha and
// with tRNS. Transparency goes over black: c x alpha / 255, rounded. A palette
// picture without transparency is an 8-bit BMP with that palette.
TEST(PictureDecoder, PngOfEveryFormGivesTheTexelsOfItsBmp)
{
    const int32_t w = 37, h = 29;  // the width is cut to 36; more than 256 colours
    const PngCase cases[] = {
        {"grey1", 0, 1, false, false},      {"grey2", 0, 2, false, false},    {"grey4", 0, 4, true, false},
        {"grey8", 0, 8, false, false},      {"grey16", 0, 16, true, false},   {"grey8-trns", 0, 8, false, true},
        {"rgb8", 2, 8, false, false},       {"rgb16", 2, 16, false, false},   {"rgb8-adam7", 2, 8, true, false},
        {"rgb16-trns", 2, 16, false, true}, {"palette1", 3, 1, false, false}, {"palette2", 3, 2, true, false},
        {"palette4", 3, 4, false, false},   {"palette8", 3, 8, false, false}, {"palette8-trns", 3, 8, true, true},
        {"grey-alpha8", 4, 8, false, false}, {"grey-alpha16", 4, 16, true, false},
        {"rgba8", 6, 8, false, false},      {"rgba16", 6, 16, false, false},  {"rgba8-adam7", 6, 8, true, false},
    };
    for (const PngCase& k : cases) {
        SCOPED_TRACE(k.name);
        picw::PngPicture p;
        p.width = w, p.height = h, p.colorType = k.colorType, p.bitDepth = k.depth, p.interlaced = k.interlaced;
        const bool palette = k.colorType == PNG_COLOR_TYPE_PALETTE, alpha = (k.colorType & 4) != 0;
        const int channels = palette ? 1 : (k.colorType & 2 ? 3 : 1) + (alpha ? 1 : 0);
        if (palette)
            for (int i = 0; i < (1 << k.depth); ++i)
                p.palette.push_back({uint8_t(i * 41 + 3), uint8_t(255 - i * 7), uint8_t(i * 13)});
        if (palette && k.transparency)
            for (int i = 0; i < 200; ++i) p.paletteAlpha.push_back(uint8_t(i * 53));
        // The colour of pixel (1, 0) becomes transparent.
        if (!palette && k.transparency) p.transparent = {{Sample(1, 0, 0, k.depth), Sample(1, 0, 1, k.depth), Sample(1, 0, 2, k.depth)}};

        BmpImage bmp;
        bmp.width = w, bmp.height = h;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                uint16_t s[4];
                for (int c = 0; c < channels; ++c) s[c] = Sample(x, y, c, k.depth), p.samples.push_back(s[c]);
                if (palette) {
                    const uint8_t i = static_cast<uint8_t>(s[0]);
                    bmp.indices.push_back(i);
                    const BmpColor e = p.palette[i];
                    const uint32_t a = i < p.paletteAlpha.size() ? p.paletteAlpha[i] : 255;
                    bmp.colors.push_back({uint8_t((e.red * a + 127) / 255), uint8_t((e.green * a + 127) / 255),
                                          uint8_t((e.blue * a + 127) / 255)});
                    continue;
                }
                const bool grey = channels < 3;
                uint32_t rgb[3] = {To8(s[0], k.depth), To8(s[grey ? 0 : 1], k.depth), To8(s[grey ? 0 : 2], k.depth)};
                uint32_t a = alpha ? To8(s[channels - 1], k.depth) : 255;
                if (p.transparent && s[0] == (*p.transparent)[0] && (grey || (s[1] == (*p.transparent)[1] && s[2] == (*p.transparent)[2])))
                    a = 0;
                bmp.colors.push_back({uint8_t((rgb[0] * a + 127) / 255), uint8_t((rgb[1] * a + 127) / 255),
                                      uint8_t((rgb[2] * a + 127) / 255)});
            }
        if (palette && !k.transparency) {
            bmp.palette = p.palette;
            bmp.colors.clear();
        }
        const Bytes bmpFile = WriteBmp(bmp, palette && !k.transparency ? Form(Info, 8) : Form(Info, 24));
        ExpectSameTexels(bmpFile, DecodePng8, DecodePng16, picw::WritePng(p));
    }
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Baseline, progressive and arithmetic-coded, colour and grey, against the
// RGB BMP that djpeg writes from the same file.
TEST(PictureDecoder, JpegGivesTheTexelsOfWhatDjpegWrites)
{
    const int32_t w = 43, h = 21;
    Bytes rgb;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<uint8_t>(Sample(x, y, c, 8) ^ (x * 9)));
    const std::pair<const char*, picw::JpegForm> cases[] = {
        {"baseline", {}},
        {"progressive", {false, true}},
        {"arithmetic", {false, false, true}},
        {"progressive-arithmetic-444", {false, true, true, false, true}},
        {"grey", {true}},
        {"grey-progressive", {true, true}},
    };
    const std::string dir = ::testing::TempDir() + "gyrofold-jpeg-" + std::to_string(getpid());
    for (const auto& [name, form] : cases) {
        SCOPED_TRACE(name);
        const Bytes jpeg = picw::WriteJpeg(w, h, rgb, form);
        const std::string in = dir + "-" + name + ".jpg", out = dir + "-" + name + ".bmp";
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        ASSERT_EQ(std::system(("djpeg -rgb -bmp -outfile '" + out + "' '" + in + "'").c_str()), 0);
        ExpectSameTexels(ReadFile(out), DecodeJpeg8, DecodeJpeg16, jpeg);
        std::remove(in.c_str());
        std::remove(out.c_str());
    }
}

}  // namespace
