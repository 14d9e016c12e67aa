#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "render_fixture.h"

namespace {

struct Sample {
    const char* where;
    int32_t row;  // computed row
    int32_t col;
    int32_t texelCol;
    int32_t texelRow;
};

// The texel a pixel shows by the closed form of the mapper: the accumulators'
// unwrapped coordinate, floored into one period. Within the usual limits the
// renderer's stepping reaches exactly this; beyond them it must still do so.
std::pair<int64_t, int64_t> ExpectedTexel(const FrameSteps& s, int64_t tw, int64_t th, int64_t w, int64_t h,
                                          int64_t r, int64_t c)
{
    const int64_t pu = tw * 65536, pv = th * 65536;
    const int64_t x = tw * 0x108000 - int64_t{s.rowStepU} * (h / 2) - int64_t{s.colStepU} * (w / 2);
    const int64_t y = th * 0x108000 - int64_t{s.rowStepV} * (h / 2) - int64_t{s.colStepV} * (w / 2);
    int64_t u = (x + r * s.rowStepU + c * int64_t{s.colStepU}) % pu;
    int64_t v = (y + r * s.rowStepV + c * int64_t{s.colStepV}) % pv;
    if (u < 0) u += pu;
    if (v < 0) v += pv;
    return {u >> 16, v >> 16};
}

FrameSteps StepsOfFrame(const SaverSettings& s, int frames, int32_t tw, int32_t w)
{
    MotionState m;
    for (int i = 0; i < frames; ++i) AdvanceMotion(m, s.Rot1, s.Rot2, s.Zoom1, s.Zoom2);
    return ComputeSteps(m.turnAngle, m.zoom, tw, w, s.XScale, s.YScale, s.Warpy);
}

}  // namespace

TEST(TextureMapper, FirstFrameOfDefaultSettingsSamplesTheDocumentedTexels)
{
    TestScene t;
    t.settings.NumBuf = 1;
    t.Build(1, 320, 240, 256, 256, ColumnRowTexel);
    t.Render();
    const Sample samples[] = {
        {"first pixel of the first row", 0, 0, 22, 247},
        {"second pixel", 0, 1, 21, 247},
        {"third pixel", 0, 2, 20, 247},
        {"last pixel of the first row", 0, 319, 228, 238},
        {"first pixel of the second row", 1, 0, 22, 246},
        {"centre", 120, 160, 128, 128},
        {"last pixel of the frame", 239, 319, 234, 9},
    };
    // Plain 16-bit rows: computed row r is memory row r, the top line first.
    for (const auto& s : samples) {
        const uint32_t texel = t.Pixel(s.row, s.col);
        EXPECT_EQ(texel & 0xFF, static_cast<uint32_t>(s.texelCol)) << s.where;
        EXPECT_EQ(texel >> 8, static_cast<uint32_t>(s.texelRow)) << s.where;
    }
    EXPECT_EQ(t.Surface().framesPresented, 1u);
}

TEST(TextureMapper, EveryPixelOfTheFirstTwoFramesFollowsTheClosedForm)
{
    TestScene t;
    t.settings.NumBuf = 0;
    t.Build(1, 320, 240, 256, 256, ColumnRowTexel);
    for (int frame = 1; frame <= 2; ++frame) {
        t.Render();
        const FrameSteps steps = StepsOfFrame(t.settings, frame, 256, 320);
        for (int32_t r = 0; r < 240; ++r)
            for (int32_t c = 0; c < 320; ++c) {
                const auto e = ExpectedTexel(steps, 256, 256, 320, 240, r, c);
                ASSERT_EQ(t.Pixel(r, c), static_cast<uint32_t>((e.second << 8) | e.first))
                    << "frame " << frame << " row " << r << " col " << c;
            }
    }
}

TEST(TextureMapper, PlainEightBitFrameSharesTheSixteenBitRowOrderInMemory)
{
    // The 8-bit surface is bottom-up, so the same memory order puts the first
    // computed row at the bottom of the picture.
    TestScene columns, rows;
    columns.settings.NumBuf = rows.settings.NumBuf = 1;
    columns.Build(0, 320, 240, 256, 256, [](int32_t x, int32_t) { return x; });
    rows.Build(0, 320, 240, 256, 256, [](int32_t, int32_t y) { return y; });
    columns.Render();
    rows.Render();
    EXPECT_EQ(columns.Pixel(0, 0), 22u);
    EXPECT_EQ(rows.Pixel(0, 0), 247u);
    EXPECT_EQ(rows.Pixel(239, 319), 9u);
    EXPECT_EQ(columns.Surface().PictureRow(239), static_cast<const uint8_t*>(columns.Surface().pixelMemory));
}

TEST(TextureMapper, NotReadyDoesNothing)
{
    TestScene t;
    t.settings.NumBuf = 1;
    t.Build(1, 32, 32, 256, 256, ColumnRowTexel);
    t.scene->sceneReady = 0;
    t.Render();
    EXPECT_EQ(t.scene->motion[kHiColor].turnAngle, 0.0);
    EXPECT_EQ(t.scene->motion[kHiColor].rotPhase, 1.0);
    EXPECT_EQ(t.Surface().framesPresented, 0u);
    EXPECT_EQ(t.Pixel(0, 0), 0u);
}

TEST(TextureMapper, EmptyFramesStillAdvanceTheRingAndPresent)
{
    const int32_t sizes[][2] = {{320, 0}, {0, 240}, {0, 0}};
    for (const auto& size : sizes) {
        TestScene t;
        t.settings.NumBuf = 3;
        t.Build(1, size[0], size[1], 256, 256, ColumnRowTexel);
        t.Render();
        t.Render();
        EXPECT_EQ(t.scene->history[kHiColor].current, 2) << size[0] << "x" << size[1];
        EXPECT_EQ(t.Surface().framesPresented, 2u);
        EXPECT_NE(t.scene->motion[kHiColor].turnAngle, 0.0);
    }
}

TEST(TextureMapper, OddHeightUsesTheTruncatedHalf)
{
    TestScene t;
    t.settings.NumBuf = 1;
    t.Build(1, 320, 241, 256, 256, ColumnRowTexel);
    t.Render();
    // Row 120 (= 241 / 2) still passes through the texture's centre.
    EXPECT_EQ(t.Pixel(120, 160), (128u << 8) | 128u);
}

TEST(TextureMapper, XScaleZeroShowsOneColumnEverywhere)
{
    TestScene t;
    t.settings.NumBuf = 1;
    t.settings.XScale = 0.0;
    t.settings.Warpy = 1;
    t.Build(1, 64, 48, 256, 128, ColumnRowTexel);
    t.Render();
    for (int32_t r = 0; r < 48; ++r)
        for (int32_t c = 0; c < 64; ++c) ASSERT_EQ(t.Pixel(r, c) & 0xFF, 128u);
}

TEST(TextureMapper, AllStepsZeroShowTheCentreTexel)
{
    TestScene t;
    t.settings.NumBuf = 1;
    t.settings.Rot2 = -1.0;  // the phase turns NaN and the steps become 0
    t.Build(1, 40, 30, 100, 61, ColumnRowTexel);
    for (int i = 0; i < 3; ++i) t.Render();
    for (int32_t r = 0; r < 30; ++r)
        for (int32_t c = 0; c < 40; ++c) ASSERT_EQ(t.Pixel(r, c), (30u << 8) | 50u);
}

TEST(TextureMapper, RowsAreAddressedAtTheSurfaceStride)
{
    for (int32_t width : {318, 321, 1, 3}) {
        TestScene t;
        t.settings.NumBuf = 1;
        t.Build(1, width, 20, 256, 256, ColumnRowTexel);
        t.Render();
        const FrameSteps steps = StepsOfFrame(t.settings, 1, 256, width);
        EXPECT_EQ(t.Surface().Stride(), SurfaceStride(width));
        for (int32_t r = 0; r < 20; ++r)
            for (int32_t c = 0; c < width; ++c) {
                const auto e = ExpectedTexel(steps, 256, 256, width, 20, r, c);
                ASSERT_EQ(t.Pixel(r, c), static_cast<uint32_t>((e.second << 8) | e.first))
                    << "width " << width << " row " << r << " col " << c;
            }
    }
}

TEST(TextureMapper, CoordinatesWrapExactlyAtThePeriod)
{
    // Rot1 = 0 keeps the angle at 0 and Zoom2 = 0 the zoom at -Zoom1 - 0.2 =
    // -1, so colStepU = 65536 x (8 / 16) / XScale x -1: a whole texel per pixel
    // for XScale -0.5 and 0.5. The row starts half a period in, at column 4.
    SaverSettings still;
    still.NumBuf = 1;
    still.Rot1 = 0.0;
    still.Zoom2 = 0.0;
    still.Zoom1 = 0.8;
    const struct {
        double xScale;
        int32_t step;
        uint32_t columns[16];
    } cases[] = {
        // Reaching the period exactly wraps to 0 in that step.
        {-0.5, 65536, {4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3}},
        // Reaching 0 exactly stays 0; only going below it wraps.
        {0.5, -65536, {4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5}},
    };
    for (const auto& c : cases) {
        TestScene t;
        t.settings = still;
        t.settings.XScale = c.xScale;
        t.Build(1, 16, 1, 8, 4, ColumnRowTexel);
        ASSERT_EQ(StepsOfFrame(t.settings, 1, 8, 16).colStepU, c.step);
        t.Render();
        for (int32_t col = 0; col < 16; ++col)
            EXPECT_EQ(t.Pixel(0, col) & 0xFF, c.columns[col]) << "step " << c.step << " column " << col;
    }
}

// Frames beyond the mapper's usual limits: steps of a period or more, negative
// accumulators, and textures too big for the 32-bit bias. The texture buffers
// are exactly as big as their texels, so under AddressSanitizer any fetch
// outside them fails the test; the picture must still be the tiled one.
TEST(TextureMapper, RandomExtremeFramesStayInsideTheTextureAndTileCorrectly)
{
    std::mt19937 rng(20261207);
    const double specials[] = {0.0, -0.0, 1e-9, -1e-9, 1e9, -1e9, 1e300, -1e300,
                               std::numeric_limits<double>::infinity(), std::nan(""), 0.05, 10.0, -3.0};
    const int32_t textureSides[] = {4, 5, 8, 255, 1985, 1986, 2560, 4096};
    auto pick = [&](double lo, double hi) {
        if (rng() % 4 == 0) return specials[rng() % (sizeof specials / sizeof *specials)];
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    for (int run = 0; run < 120; ++run) {
        TestScene t;
        t.settings.NumBuf = 1;
        t.settings.XScale = pick(-4, 4);
        t.settings.YScale = pick(-4, 4);
        t.settings.Rot1 = pick(-20, 20);
        t.settings.Rot2 = pick(0, 10);
        t.settings.Zoom1 = pick(-50, 50);
        t.settings.Zoom2 = pick(0, 10);
        t.settings.Warpy = static_cast<int32_t>(rng() % 2);
        const int32_t tw = textureSides[rng() % 8], th = (run % 3 == 0) ? 1 + rng() % 7 : textureSides[rng() % 8];
        const int32_t w = 1 + rng() % 37, h = 1 + rng() % 23;
        // Texels carry a hash of their position so a wrong fetch shows.
        auto texel = [](int32_t x, int32_t y) { return static_cast<uint32_t>((x * 131 + y * 7919) & 0x7FFF); };
        t.Build(1, w, h, tw, th, texel);
        MotionState m;
        for (int frame = 1; frame <= 3; ++frame) {
            t.Render();
            AdvanceMotion(m, t.settings.Rot1, t.settings.Rot2, t.settings.Zoom1, t.settings.Zoom2);
            const FrameSteps steps =
                ComputeSteps(m.turnAngle, m.zoom, tw, w, t.settings.XScale, t.settings.YScale, t.settings.Warpy);
            for (int32_t r = 0; r < h; ++r)
                for (int32_t c = 0; c < w; ++c) {
                    const auto e = ExpectedTexel(steps, tw, th, w, h, r, c);
                    ASSERT_EQ(t.Pixel(r, c), texel(static_cast<int32_t>(e.first), static_cast<int32_t>(e.second)))
                        << "run " << run << " frame " << frame << " texture " << tw << "x" << th << " steps "
                        << steps.colStepU << "," << steps.colStepV << "," << steps.rowStepU << "," << steps.rowStepV;
                }
        }
    }
}

TEST(TextureMapper, LargePhotoTexturesRenderTheTiledPicture)
{
    for (const auto& side : {std::pair<int32_t, int32_t>{2560, 1440}, {4096, 4096}}) {
        TestScene t;
        t.settings.NumBuf = 1;
        auto texel = [](int32_t x, int32_t y) { return static_cast<uint32_t>((x ^ (y * 3)) & 0x7FFF); };
        t.Build(1, 64, 48, side.first, side.second, texel);
        t.Render();
        const FrameSteps steps = StepsOfFrame(t.settings, 1, side.first, 64);
        for (int32_t r = 0; r < 48; ++r)
            for (int32_t c = 0; c < 64; ++c) {
                const auto e = ExpectedTexel(steps, side.first, side.second, 64, 48, r, c);
                ASSERT_EQ(t.Pixel(r, c), texel(static_cast<int32_t>(e.first), static_cast<int32_t>(e.second)));
            }
        // The frame's centre still shows the texture's centre.
        EXPECT_EQ(t.Pixel(24, 32), texel(side.first / 2, side.second / 2));
    }
}

TEST(TextureMapper, TexturesWithoutTexelsDrawNothing)
{
    for (const auto& side : {std::pair<int32_t, int32_t>{0, 16}, {16, 0}}) {
        TestScene t;
        t.settings.NumBuf = 1;
        t.Build(1, 16, 16, side.first, side.second, ColumnRowTexel);
        t.Render();
        EXPECT_EQ(t.Surface().framesPresented, 1u);
        EXPECT_EQ(t.Pixel(0, 0), 0u);
    }
}
