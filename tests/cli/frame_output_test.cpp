// The fixed colours 16-bit frames take in a GIF, and the BMP writer's layout.

#include <gtest/gtest.h>

#include <cmath>

#include "tools/frame_output.h"

namespace {

uint16_t Rgb555(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>((r << 10) | (g << 5) | b); }

TEST(FixedGifPalette, PrimaryColoursMapToTheirExactEntries)
{
    uint8_t p[768];
    FixedGifPalette(p);
    struct Case {
        uint16_t pixel;
        int index;
        uint8_t r, g, b;
    };
    // Index (r x 7 + g) x 6 + b over 6 red, 7 green and 6 blue levels.
    const Case cases[] = {
        {Rgb555(0, 0, 0), 0, 0, 0, 0},          {Rgb555(31, 31, 31), 251, 255, 255, 255},
        {Rgb555(31, 0, 0), 210, 255, 0, 0},     {Rgb555(0, 31, 0), 36, 0, 255, 0},
        {Rgb555(0, 0, 31), 5, 0, 0, 255},       {Rgb555(31, 31, 0), 246, 255, 255, 0},
        {Rgb555(0, 16, 0), 18, 0, 128, 0},       // green level 3 of 0..6
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(FixedGifIndex(c.pixel), c.index);
        EXPECT_EQ(p[3 * c.index], c.r);
        EXPECT_EQ(p[3 * c.index + 1], c.g);
        EXPECT_EQ(p[3 * c.index + 2], c.b);
    }
    for (int i = 252; i < 256; ++i) EXPECT_EQ(p[3 * i] | p[3 * i + 1] | p[3 * i + 2], 0);
}

TEST(FixedGifPalette, EveryPixelGoesToTheNearestLevelOfEachChannel)
{
    uint8_t p[768];
    FixedGifPalette(p);
    for (uint32_t v = 0; v < 0x8000; v += 7) {
        const uint8_t index = FixedGifIndex(static_cast<uint16_t>(v));
        ASSERT_LT(index, 252);
        const uint32_t channels[3] = {(v >> 10) & 31, (v >> 5) & 31, v & 31};
        const int levels[3] = {6, 7, 6};
        for (int c = 0; c < 3; ++c) {
            const double exact = Expand5(channels[c]);
            const double step = 255.0 / (levels[c] - 1);
            // Never more than half a level away (plus the rounding of 5 bits).
            ASSERT_LE(std::abs(p[3 * index + c] - exact), step / 2 + 4.2) << v << " channel " << c;
        }
    }
}

TEST(EncodeBmp, RowsAreBottomUpAndPaddedToFourBytes)
{
    Frame f;
    f.width = 3;
    f.height = 2;
    f.hiColor = true;
    f.screen = {Rgb555(31, 0, 0), 2, 3, 4, 5, 6};  // top row first
    const std::vector<uint8_t> b = EncodeBmp(f);
    ASSERT_EQ(b.size(), 54u + 2 * 8);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[10], 54);                      // pixels follow the headers directly
    EXPECT_EQ(b[22], 2);                       // positive height: bottom-up
    EXPECT_EQ(b[28], 16);
    EXPECT_EQ(b[54], 4);                       // the bottom row comes first
    EXPECT_EQ(b[54 + 8], 0x00);                // then the top row: 0x7C00 little-endian
    EXPECT_EQ(b[54 + 9], 0x7C);
    f.hiColor = false;
    f.palette[3 * 5] = 10;  // red of colour 5
    f.palette[3 * 5 + 2] = 30;
    const std::vector<uint8_t> p = EncodeBmp(f);
    ASSERT_EQ(p.size(), 54u + 1024 + 2 * 4);
    EXPECT_EQ(p[54 + 4 * 5], 30);  // colour table entries are blue, green, red
    EXPECT_EQ(p[54 + 4 * 5 + 2], 10);
    EXPECT_EQ(p[54 + 1024], 4);
}

}  // namespace
