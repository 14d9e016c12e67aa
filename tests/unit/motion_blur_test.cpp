#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "effect/render_inlines.h"
#include "tests/support/render_fixture.h"

namespace {

uint16_t* Buffer16(TestScene& t, int32_t slot) { return static_cast<uint16_t*>(t.scene->history[kHiColor].slots[slot]); }

SaverSettings StillCamera(int32_t numBuf)
{
    // No turn and a constant zoom of -1: every frame samples the same texels.
    SaverSettings s;
    s.NumBuf = numBuf;
    s.Rot1 = 0.0;
    s.Zoom2 = 0.0;
    s.Zoom1 = 0.8;
    return s;
}

}  // namespace

// A fold halves each channel, dropping its low bit (0x7FFF and 0 give 0x3DEF):
// NumBuf 2 settles at 0x77BD from the fifth frame on, NumBuf 3 at 0x6739.
TEST(MotionBlur, StillWhitePixelSettlesDarkerThanWhite)
{
    for (const int32_t numBuf : {2, 3}) {
        TestScene t;
        t.settings.NumBuf = numBuf;
        t.Build(1, 16, 8, 16, 16, [](int32_t, int32_t) { return 0x7FFF; });
        std::vector<uint16_t> seen;
        for (int frame = 1; frame <= 30; ++frame) {
            t.Render();
            seen.push_back(static_cast<uint16_t>(t.Pixel(3, 5)));
            // Every pixel of the frame is the same still texel.
            for (int32_t r = 0; r < 8; ++r)
                for (int32_t col = 0; col < 16; ++col) ASSERT_EQ(t.Pixel(r, col), seen.back());
        }
        const std::vector<uint16_t> firstFour(seen.begin(), seen.begin() + 4);
        if (numBuf == 2) EXPECT_EQ(firstFour, (std::vector<uint16_t>{0x3DEF, 0x5AD6, 0x6B5A, 0x739C}));
        else EXPECT_NE(seen[7], 0x6739);  // not yet settled by the eighth frame
        for (size_t i = numBuf == 2 ? 4 : 9; i < seen.size(); ++i)
            EXPECT_EQ(seen[i], numBuf == 2 ? 0x77BD : 0x6739) << "NumBuf " << numBuf << " frame " << i + 1;
    }
}

TEST(MotionBlur, RingFoldsOldestFrameFirstAndPreviousLast)
{
    TestScene t;
    t.settings = StillCamera(3);
    t.Build(1, 4, 2, 8, 8, [](int32_t, int32_t) { return 0x7FFF; });
    const size_t n = 4 * 2;
    std::fill(Buffer16(t, 1), Buffer16(t, 1) + n, uint16_t{0x0000});
    std::fill(Buffer16(t, 2), Buffer16(t, 2) + n, uint16_t{0x7FFF});

    // current 0: writes buffer 0, folds buffer 1 and then buffer 2.
    t.Render();
    const uint16_t first = Fold16(Fold16(0x7FFF, 0x0000), 0x7FFF);
    ASSERT_NE(first, Fold16(Fold16(0x7FFF, 0x7FFF), 0x0000));
    EXPECT_EQ(t.Pixel(0, 0), first);
    EXPECT_EQ(Buffer16(t, 0)[0], first);
    EXPECT_EQ(t.scene->history[kHiColor].current, 1);

    // current 1: writes buffer 1, folds buffer 2 and then buffer 0.
    t.Render();
    EXPECT_EQ(t.Pixel(0, 0), Fold16(Fold16(0x7FFF, 0x7FFF), first));
    EXPECT_EQ(Buffer16(t, 1)[5], Fold16(Fold16(0x7FFF, 0x7FFF), first));
}

TEST(MotionBlur, ColumnStepOfAWholePeriodSkipsTheFrame)
{
    // An 8 x 8 texture on an 8-pixel frame: a scale of 1/8 makes the column
    // step a whole period of 8 texels, along u, or along v turned 90 degrees.
    const double sin90 = std::sin(90.0 * kDegreesToRadians);
    const struct {
        double scale;  // of the turned axis
        bool alongV, draws;
    } cases[] = {
        {-0.125, false, false}, {0.125, false, false}, {-0.125 * sin90, true, false}, {0.125 * sin90, true, false},
        // One period less one: 65536 / 524287.5 truncates to 524287.
        {-65536 / 524287.5, false, true}, {-65536 / 524287.5 * sin90, true, true},
    };
    for (const auto& c : cases) {
        TestScene t;
        t.settings = StillCamera(2);
        (c.alongV ? t.settings.YScale : t.settings.XScale) = c.scale;
        t.Build(1, 8, 4, 8, 8, ColumnRowTexel);
        t.scene->motion[kHiColor].turnAngle = c.alongV ? 90.0 : 0.0;
        const FrameSteps steps = ComputeSteps(c.alongV ? 90.0 : 0.0, -1.0, 8, 8, t.settings.XScale, t.settings.YScale, 0);
        ASSERT_EQ(std::abs(c.alongV ? steps.colStepV : steps.colStepU), c.draws ? 524287 : 524288) << c.scale;
        std::fill(static_cast<uint16_t*>(t.Surface().pixelMemory), static_cast<uint16_t*>(t.Surface().pixelMemory) + 32,
                  uint16_t{0x1234});
        t.Render();
        EXPECT_EQ(t.Pixel(2, 3) != 0x1234u, c.draws) << "scale " << c.scale << (c.alongV ? " along v" : " along u");
        EXPECT_EQ(t.scene->history[kHiColor].current, 1);
        EXPECT_EQ(t.Surface().framesPresented, 1u);
    }
}
