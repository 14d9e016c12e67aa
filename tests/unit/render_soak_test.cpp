// A randomized soak of the renderer over extreme settings, blur counts, frame
// and texture sizes. Run under the sanitizers, every fetch outside a texture
// or history buffer and every division by zero fails it; the pictures of
// frames that can be checked are compared with the mapper's closed form.
// GYROFOLD_SOAK_FRAMES sets how many frames to draw (default 1500).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "render_fixture.h"

namespace {

int64_t FloorMod(int64_t a, int64_t m)
{
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

}  // namespace

TEST(RenderSoak, ExtremeSettingsNeverLeaveTheTexture)
{
    const char* env = std::getenv("GYROFOLD_SOAK_FRAMES");
    const long frameBudget = env != nullptr ? std::atol(env) : 1500;
    std::mt19937_64 rng(77);
    const double inf = std::numeric_limits<double>::infinity();
    const double specials[] = {std::nan(""), inf, -inf, 0.0, -0.0, 1e-300, -1e-300, 1e300, -1e300, 1e9, -1e9, 0.05, 10.0};
    auto value = [&](double lo, double hi) {
        if (rng() % 3 == 0) return specials[rng() % (sizeof specials / sizeof *specials)];
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    const int32_t sides[] = {1, 4, 5, 7, 64, 255, 256, 1985, 1986, 4096};

    long frames = 0, checked = 0, scenes = 0;
    while (frames < frameBudget) {
        TestScene t;
        t.settings.XScale = value(-8, 8);
        t.settings.YScale = value(-8, 8);
        t.settings.Rot1 = value(-30, 30);
        t.settings.Rot2 = value(-1, 10);
        t.settings.Zoom1 = value(-60, 60);
        t.settings.Zoom2 = value(-1, 10);
        t.settings.Warpy = static_cast<int32_t>(rng() % 2);
        t.settings.NumBuf = static_cast<int32_t>(rng() % 106) - 5;
        const int32_t hiColor = static_cast<int32_t>(rng() % 2);
        int32_t tw = sides[rng() % 10], th = sides[rng() % 10];
        if (tw * int64_t{th} > 4096 * 1024) th = 1 + static_cast<int32_t>(rng() % 64);
        if (tw < 4) tw = 4;  // the loaders refuse narrower pictures
        int32_t w, h;
        switch (rng() % 32) {
        case 0: w = h = 0; break;
        case 1: w = 4000; h = 3000; break;
        case 2:
        case 3: w = static_cast<int32_t>(rng() % 3); h = static_cast<int32_t>(rng() % 500); break;
        case 4: w = 1 + static_cast<int32_t>(rng() % 700); h = 1 + static_cast<int32_t>(rng() % 500); break;
        default: w = 1 + static_cast<int32_t>(rng() % 97); h = 1 + static_cast<int32_t>(rng() % 61); break;
        }
        auto texel = [](int32_t x, int32_t y) { return static_cast<uint32_t>((x * 131 + y * 7919) & 0x7FFF); };
        auto texel8 = [](int32_t x, int32_t y) { return static_cast<uint32_t>((x * 131 + y * 7919) & 0xFF); };
        if (hiColor)
            t.Build(1, w, h, tw, th, texel);
        else
            t.Build(0, w, h, tw, th, texel8);
        // A blend table that keeps the running value lets blurred 8-bit frames
        // be checked like plain ones.
        for (int32_t a = 0; a < 256; ++a)
            for (int32_t b = 0; b < 256; ++b) t.scene->blendTable[a + 256 * b] = static_cast<uint8_t>(a);
        ++scenes;

        const int blur = BlurFrames(t.settings.NumBuf);
        const int count = (w * int64_t{h} > 1000000) ? 1 : 1 + static_cast<int>(rng() % 6);
        MotionState m;
        for (int f = 0; f < count; ++f, ++frames) {
            t.Render();
            AdvanceMotion(m, t.settings.Rot1, t.settings.Rot2, t.settings.Zoom1, t.settings.Zoom2);
            const FrameSteps s =
                ComputeSteps(m.turnAngle, m.zoom, tw, w, t.settings.XScale, t.settings.YScale, t.settings.Warpy);
            const int64_t pu = int64_t{tw} * 65536, pv = int64_t{th} * 65536;
            const bool skipped = blur >= 2 && !(s.colStepU > -pu && s.colStepU < pu && s.colStepV > -pv && s.colStepV < pv);
            if (skipped || (hiColor && blur >= 2) || w * int64_t{h} > 100000) continue;
            const int64_t x0 = int64_t{tw} * 0x108000 - int64_t{s.rowStepU} * (h / 2) - int64_t{s.colStepU} * (w / 2);
            const int64_t y0 = int64_t{th} * 0x108000 - int64_t{s.rowStepV} * (h / 2) - int64_t{s.colStepV} * (w / 2);
            for (int32_t r = 0; r < h; ++r)
                for (int32_t c = 0; c < w; ++c) {
                    const int64_t u = FloorMod(x0 + r * int64_t{s.rowStepU} + c * int64_t{s.colStepU}, pu) >> 16;
                    const int64_t v = FloorMod(y0 + r * int64_t{s.rowStepV} + c * int64_t{s.colStepV}, pv) >> 16;
                    const uint32_t want = hiColor ? texel(int32_t(u), int32_t(v)) : texel8(int32_t(u), int32_t(v));
                    const int32_t memoryRow = blur >= 2 ? h - 1 - r : r;
                    ASSERT_EQ(t.Pixel(memoryRow, c), want) << "scene " << scenes << " frame " << f;
                }
            ++checked;
        }
    }
    std::printf("soak: %ld frames over %ld scenes, %ld compared pixel by pixel\n", frames, scenes, checked);
}
