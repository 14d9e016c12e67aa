#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/render_fixture.h"

namespace {

struct Sample {
    const char* where;
    int32_t row;  // computed row
    int32_t col;
    int32_t texelCol;
    int32_t texelRow;
};

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

TEST(TextureMapper, CoordinatesWrapExactlyAtThePeriodInEveryRowForm)
{
    // Rot1 = 0 keeps the angle at 0 and Zoom2 = 0 the zoom at -Zoom1 - 0.2 =
    // -1, so colStepU = 65536 x (24 / 28) / XScale x -1: a whole texel per
    // pixel for XScale -/+24/28. The row starts at 16.5 periods less 14
    // texels: column 22 or 2. Pixel 26 wraps, after the last group of eight.
    SaverSettings still;
    still.NumBuf = 1;
    still.Rot1 = 0.0;
    still.Zoom2 = 0.0;
    still.Zoom1 = 0.8;
    const struct {
        double xScale;
        int32_t step;
        uint32_t columns[28];
    } cases[] = {
        // Reaching the period exactly wraps to 0 in that step.
        {-24.0 / 28, 65536, {22, 23, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 0, 1}},
        // Reaching 0 exactly stays 0; only going below it wraps.
        {24.0 / 28, -65536, {2, 1, 0, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 23}},
    };
    for (const RowPath path : {RowPath::kSimple, RowPath::kRuns, FastestRowPath()})
        for (const auto& c : cases) {
            TestScene t;
            t.settings = still;
            t.settings.XScale = c.xScale;
            t.Build(1, 28, 1, 24, 4, ColumnRowTexel);
            ASSERT_EQ(StepsOfFrame(t.settings, 1, 24, 28).colStepU, c.step);
            UseRowPath(path);
            t.Render();
            UseRowPath(FastestRowPath());
            // Every pixel in texel row 66 mod 4 = 2.
            for (int32_t col = 0; col < 28; ++col)
                EXPECT_EQ(t.Pixel(0, col), (2u << 8) | c.columns[col]) << "step " << c.step << " column " << col;
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
