#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/render_fixture.h"

TEST(TextureMapper, FirstFrameOfDefaultSettingsSamplesTheDocumentedTexels)
{
    TestScene t;
    t.settings.NumBuf = 1;
    t.Build(1, 320, 240, 256, 256, ColumnRowTexel);
    t.Render();
    // Where, computed row and column, texel column and row.
    const std::tuple<const char*, int32_t, int32_t, uint32_t, uint32_t> samples[] = {
        {"first pixel of the first row", 0, 0, 22, 247},
        {"second pixel", 0, 1, 21, 247},
        {"third pixel", 0, 2, 20, 247},
        {"last pixel of the first row", 0, 319, 228, 238},
        {"first pixel of the second row", 1, 0, 22, 246},
        {"centre", 120, 160, 128, 128},
        {"last pixel of the frame", 239, 319, 234, 9},
    };
    // Plain 16-bit rows: computed row r is memory row r, the top line first.
    for (const auto& [where, row, col, texelCol, texelRow] : samples)
        EXPECT_EQ(t.Pixel(row, col), texelRow << 8 | texelCol) << where;
}

// A scene not ready does nothing. An empty frame, or a texture without
// texels, draws nothing, but the camera and the blur ring still move on and
// the frame is still presented.
TEST(TextureMapper, OnlyAReadySceneMovesOnAndPresentsEvenWhenItDrawsNothing)
{
    const int32_t cases[][6] = {  // frame width and height, texture width and height, NumBuf, ready
        {320, 0, 256, 256, 3, 1}, {0, 240, 256, 256, 3, 1}, {0, 0, 256, 256, 3, 1},
        {16, 16, 0, 16, 1, 1},    {16, 16, 16, 0, 1, 1},    {32, 32, 256, 256, 3, 0}};
    for (const auto& [w, h, texW, texH, numBuf, ready] : cases) {
        TestScene t;
        t.settings.NumBuf = numBuf;
        t.Build(1, w, h, texW, texH, ColumnRowTexel);
        t.scene->sceneReady = ready;
        t.Render();
        t.Render();
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + ", texture width " + std::to_string(texW));
        EXPECT_EQ(t.scene->history[kHiColor].current, ready && numBuf == 3 ? 2 : 0);
        EXPECT_EQ(t.Surface().framesPresented, ready ? 2u : 0u);
        EXPECT_EQ(t.scene->motion[kHiColor].turnAngle != 0.0, ready != 0);
        EXPECT_TRUE(w == 0 || h == 0 || t.Pixel(0, 0) == 0u);
    }
}

TEST(TextureMapper, CoordinatesWrapExactlyAtThePeriodInEveryRowForm)
{
    // Rot1 = 0 keeps the angle and Zoom2 = 0 the zoom at -Zoom1 - 0.2 = -1,
    // so a scale of -/+(24 / width) steps a whole texel per pixel. The row
    // starts 16.5 periods less width / 2 texels out: at 22 for 28 pixels, at
    // 16 for 40, where the eight-pixel lanes land on 24 at their first
    // advance. Turned 90 degrees, the column step moves v instead of u.
    SaverSettings still;
    still.NumBuf = 1;
    still.Rot1 = 0.0;
    still.Zoom2 = 0.0;
    still.Zoom1 = 0.8;
    const double sin90 = std::sin(90.0 * kDegreesToRadians);
    const struct {
        int32_t width, step;
        bool alongV;
        uint32_t first;  // coordinate of pixel 0; each pixel goes one step on, mod 24
    } cases[] = {
        // Reaching the period exactly wraps to 0 in that step; reaching 0
        // exactly stays 0, only going below it wraps.
        {28, 65536, false, 22}, {28, -65536, false, 2}, {40, 65536, false, 16}, {40, -65536, false, 8},
        {28, 65536, true, 22}, {28, -65536, true, 2},
    };
    // Three rows, so that 3 and 7 threads cut the frame into bands of one row:
    // each row starts from the accumulators. The middle row is the frame's
    // centre row; the other coordinate stays at 16.5 periods of 4 there
    // (texel 2) and moves one row step a row.
    for (const RowPath path : {RowPath::kSimple, RowPath::kRuns, FastestRowPath()})
        for (const int32_t threads : {1, 2, 3, 7})
            for (const auto& c : cases) {
                TestScene t;
                t.settings = still;
                t.scene->bands.threads = threads;
                // Just over a whole texel, which the conversion truncates to one.
                const int32_t texW = c.alongV ? 4 : 24;
                const double scale = -65536.0 * texW / c.width / (c.step / 65536.0 * 65536.25);
                (c.alongV ? t.settings.YScale : t.settings.XScale) = c.alongV ? scale * sin90 : scale;
                t.Build(1, c.width, 3, texW, c.alongV ? 24 : 4, ColumnRowTexel);
                t.scene->motion[kHiColor].turnAngle = c.alongV ? 90.0 : 0.0;
                const FrameSteps steps = ComputeSteps(t.scene->motion[kHiColor].turnAngle, -1.0, texW, c.width,
                                                      t.settings.XScale, t.settings.YScale, 0);
                ASSERT_EQ(std::pair(steps.colStepU, steps.colStepV), c.alongV ? std::pair(0, c.step) : std::pair(c.step, 0));
                UseRowPath(path);
                t.Render();
                UseRowPath(FastestRowPath());
                for (int32_t row = 0; row < 3; ++row) {
                    const int64_t rowStep = c.alongV ? steps.rowStepU : steps.rowStepV;
                    const uint32_t other = uint32_t(((4 * 0x108000 + rowStep * (row - 1)) % (4 * 65536)) >> 16);
                    for (int32_t col = 0; col < c.width; ++col) {
                        const uint32_t at = (c.first + 24 * 4 + (c.step > 0 ? col : -col)) % 24;
                        EXPECT_EQ(t.Pixel(row, col), c.alongV ? at << 8 | other : other << 8 | at)
                            << "path " << int(path) << " threads " << threads << " step " << c.step << " width "
                            << c.width << " row " << row << " column " << col;
                    }
                }
            }
}

namespace {

// A surface that checks, as each band is handed on, that its picture rows are
// already those of the frame drawn on one thread.
struct BandWatcher : MemorySurface {
    using MemorySurface::MemorySurface;
    const MemorySurface* reference = nullptr;
    std::vector<int32_t> handedOn;
    std::atomic<int32_t> unfinished{0};

    void PictureRowsDrawn(int32_t firstRow, int32_t endRow) override
    {
        const size_t bytes = size_t{1} * Width() * BytesPerPixel();
        for (int32_t r = firstRow; r < endRow; ++r) {
            ++handedOn[r];
            if (std::memcmp(PictureRow(r), reference->PictureRow(r), bytes) != 0) ++unfinished;
        }
    }
};

}  // namespace

TEST(TextureMapper, EachBandIsHandedOnOnceWhenDrawnInScreenOrder)
{
    // Two bands would each hand on the other's rows when both orders are
    // mixed up: one of them always finishes drawing after the other hands on.
    for (const int32_t hiColor : {0, 1})
        for (const int32_t numBuf : {1, 3}) {
            TestScene one, banded;
            for (TestScene* t : {&one, &banded}) {
                t->settings.NumBuf = numBuf;
                t->Build(hiColor, 61, 47, 64, 64, ColumnRowTexel);
                for (int32_t i = 0; i < kBlendTableSize; ++i) t->scene->blendTable[i] = uint8_t(i * 7 + (i >> 8));
            }
            one.scene->bands.threads = 1;
            banded.scene->bands.threads = 2;
            banded.scene->currentSurface->Release();
            delete banded.scene->currentSurface;
            auto* watcher = new BandWatcher(hiColor, Rect32{0, 0, 61, 47});
            banded.scene->currentSurface = watcher;
            watcher->reference = &one.Surface();
            for (int frame = 0; frame < 4; ++frame) {
                one.Render();
                watcher->handedOn.assign(47, 0);
                banded.Render();
                EXPECT_EQ(watcher->handedOn, std::vector<int32_t>(47, 1)) << hiColor << numBuf << frame;
                EXPECT_EQ(watcher->unfinished, 0) << "hiColor " << hiColor << " NumBuf " << numBuf << " frame " << frame;
            }
        }
}

TEST(TextureMapper, SceneRebuiltUnderItsThreadsDrawsTheNewScene)
{
    // The runs fetch through row pointers kept from frame to frame: a scene
    // rebuilt with another texture, its threads still waiting, needs new ones.
    UseRowPath(RowPath::kRuns);
    TestScene banded, one;
    banded.scene->bands.threads = 3;
    one.scene->bands.threads = 1;
    banded.settings.NumBuf = one.settings.NumBuf = 1;
    banded.Build(1, 64, 48, 64, 64, ColumnRowTexel);
    banded.Render();
    // Teardown as scene setup's own, but the threads and row pointers kept.
    FrameBands kept = std::move(banded.scene->bands);
    banded.scene->texture.pixels = nullptr;
    TeardownScene(*banded.scene);
    munmap(banded.guarded, banded.guardedBytes);
    banded.scene->bands = std::move(kept);
    banded.scene->motion[kHiColor] = MotionState{};
    banded.Build(1, 80, 40, 32, 128, ColumnRowTexel);
    one.Build(1, 80, 40, 32, 128, ColumnRowTexel);
    banded.Render();
    one.Render();
    UseRowPath(FastestRowPath());
    EXPECT_EQ(std::memcmp(banded.Surface().pixelMemory, one.Surface().pixelMemory, size_t{80} * 40 * 2), 0);
}
