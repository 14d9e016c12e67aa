// The fixed colours 16-bit frames take in a GIF.

#include <gtest/gtest.h>

#include <cmath>

#include "tools/frame_output.h"

namespace {

// Index (r x 7 + g) x 6 + b over 6 red, 7 green and 6 blue levels, entries
// 252 to 255 black; every pixel goes to the nearest level of each channel.
TEST(FixedGifPalette, EveryPixelGoesToTheNearestLevelOfEachChannel)
{
    uint8_t p[768];
    FixedGifPalette(p);
    EXPECT_EQ(FixedGifIndex(0x7C00), 210);  // full red: (5 x 7 + 0) x 6 + 0
    EXPECT_EQ(FixedGifIndex(0x0200), 18);   // green 16 of 31: level 3 of 0..6
    for (int i = 252; i < 256; ++i) EXPECT_EQ(p[3 * i] | p[3 * i + 1] | p[3 * i + 2], 0);
    for (uint32_t v = 0; v < 0x8000; v += 7) {
        const uint8_t index = FixedGifIndex(static_cast<uint16_t>(v));
        ASSERT_LT(index, 252);
        const uint32_t channels[3] = {(v >> 10) & 31, (v >> 5) & 31, v & 31};
        const int levels[3] = {6, 7, 6};
        for (int c = 0; c < 3; ++c) {
            const double step = 255.0 / (levels[c] - 1);
            // Never more than half a level away (plus the rounding of 5 bits).
            ASSERT_LE(std::abs(p[3 * index + c] - Expand5(channels[c])), step / 2 + 4.2) << v << " channel " << c;
        }
    }
}

}  // namespace
