// A randomized soak of the renderer over extreme settings, blur counts, frame
// and texture sizes: every form of the row code (the simple rows, the runs
// between wraps, the AVX2 rows where the processor has them), cut into bands
// for 1, 2, 3 and 7 threads, must leave surface and history byte for byte as
// the simple rows on one thread do, and those rows' checkable frames must
// follow the mapper's closed form. Under the sanitizers a fetch outside a
// buffer or a division by zero fails it too. GYROFOLD_SOAK_FRAMES sets how
// many frames to draw (default 3000).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "tests/support/render_fixture.h"

TEST(RenderSoak, EveryRowFormDrawsTheSimpleRowsPicture)
{
    const char* env = std::getenv("GYROFOLD_SOAK_FRAMES");
    const long frameBudget = env != nullptr ? std::atol(env) : 3000;
    std::mt19937_64 rng(77);
    const double inf = std::numeric_limits<double>::infinity();
    const double oddValues[] = {std::nan(""), inf, -inf, 0.0, -0.0, 1e-300, -1e-300, 1e300, -1e300, 1e9, -1e9, 0.05, 10.0};
    auto value = [&](double lo, double hi) {
        if (rng() % 3 == 0) return oddValues[rng() % (sizeof oddValues / sizeof *oddValues)];
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    const int32_t sides[] = {1, 4, 5, 7, 64, 255, 256, 1985, 1986, 4096, 16384};
    const RowPath paths[] = {RowPath::kSimple, RowPath::kSimple, RowPath::kRuns, FastestRowPath()};
    const int32_t threadCounts[] = {1, 2, 3, 7};

    long frames = 0, checked = 0, scenes = 0;
    while (frames < frameBudget) {
        TestScene t[4];
        SaverSettings s;
        s.XScale = value(-8, 8);
        s.YScale = value(-8, 8);
        s.Rot1 = value(-30, 30);
        s.Rot2 = value(-1, 10);
        s.Zoom1 = value(-60, 60);
        s.Zoom2 = value(-1, 10);
        s.Warpy = static_cast<int32_t>(rng() % 2);
        s.NumBuf = rng() % 2 ? 2 + static_cast<int32_t>(rng() % 7) : static_cast<int32_t>(rng() % 106) - 5;
        const int32_t hiColor = static_cast<int32_t>(rng() % 2);
        int32_t tw = sides[rng() % 11], th = sides[rng() % 11];
        if (tw * int64_t{th} > 4096 * 1024) th = 1 + static_cast<int32_t>(rng() % 64);
        if (tw < 4) tw = 4;  // the loaders refuse narrower pictures
        int32_t w, h;
        switch (rng() % 32) {
        case 0: w = h = 0; break;
        case 1: w = 2000; h = 1500; break;
        case 2:
        case 3: w = static_cast<int32_t>(rng() % 3); h = static_cast<int32_t>(rng() % 500); break;
        case 4: w = 1 + static_cast<int32_t>(rng() % 700); h = 1 + static_cast<int32_t>(rng() % 500); break;
        default: w = 1 + static_cast<int32_t>(rng() % 97); h = 1 + static_cast<int32_t>(rng() % 61); break;
        }
        // Texels use all 16 bits, so a lost top bit or a sign extension shows.
        const uint32_t salt = static_cast<uint32_t>(rng());
        const uint32_t mask = hiColor ? 0xFFFF : 0xFF;
        auto texel = [salt, mask](int32_t x, int32_t y) { return ((x * 131u + y * 7919u) ^ salt) & mask; };
        // Half the scenes blend through a table that keeps the running value,
        // so that their blurred 8-bit frames can be checked like plain ones.
        const bool keepRunning = rng() % 2;
        std::vector<uint8_t> table(kBlendTableSize);
        for (int32_t i = 0; i < kBlendTableSize; ++i) table[i] = keepRunning ? uint8_t(i & 255) : uint8_t(rng());
        for (int32_t p = 0; p < 4; ++p) {
            TestScene& scene = t[p];
            scene.scene->bands.threads = p == 0 ? 1 : threadCounts[(scenes + p) % 4];
            scene.settings = s;
            scene.Build(hiColor, w, h, tw, th, texel);
            std::memcpy(scene.scene->blendTable, table.data(), table.size());
        }
        ++scenes;

        const int32_t blur = BlurFrames(s.NumBuf), bytes = hiColor ? 2 : 1;
        const int count = (w * int64_t{h} > 1000000) ? 1 : 1 + static_cast<int>(rng() % 6);
        MotionState m;
        for (int f = 0; f < count; ++f, ++frames) {
            for (int32_t p = 0; p < 4; ++p) {
                UseRowPath(paths[p]);
                t[p].Render();
            }
            UseRowPath(FastestRowPath());
            for (int32_t p = 1; p < 4; ++p) {
                ASSERT_EQ(std::memcmp(t[p].Surface().pixelMemory, t[0].Surface().pixelMemory,
                                      size_t{1} * t[0].Surface().Stride() * h * bytes), 0)
                    << "row form " << p << " threads " << t[p].scene->bands.threads << " scene " << scenes << " frame " << f;
                for (int32_t j = 0; j < (blur > 1 ? blur : 0); ++j)
                    ASSERT_EQ(std::memcmp(t[p].scene->history[hiColor].slots[j], t[0].scene->history[hiColor].slots[j],
                                          size_t{1} * w * h * bytes), 0)
                        << "history " << j << " of row form " << p << " scene " << scenes << " frame " << f;
            }
            AdvanceMotion(m, s.Rot1, s.Rot2, s.Zoom1, s.Zoom2);
            const FrameSteps st = ComputeSteps(m.turnAngle, m.zoom, tw, w, s.XScale, s.YScale, s.Warpy);
            const int64_t pu = int64_t{tw} * 65536, pv = int64_t{th} * 65536;
            const bool skipped = blur >= 2 && !(st.colStepU > -pu && st.colStepU < pu && st.colStepV > -pv && st.colStepV < pv);
            if (skipped || (blur >= 2 && (hiColor || !keepRunning)) || w * int64_t{h} > 100000) continue;
            const int64_t x0 = int64_t{tw} * 0x108000 - int64_t{st.rowStepU} * (h / 2) - int64_t{st.colStepU} * (w / 2);
            const int64_t y0 = int64_t{th} * 0x108000 - int64_t{st.rowStepV} * (h / 2) - int64_t{st.colStepV} * (w / 2);
            for (int32_t r = 0; r < h; ++r)
                for (int32_t c = 0; c < w; ++c) {
                    const int64_t u = ((x0 + r * int64_t{st.rowStepU} + c * int64_t{st.colStepU}) % pu + pu) % pu >> 16;
                    const int64_t v = ((y0 + r * int64_t{st.rowStepV} + c * int64_t{st.colStepV}) % pv + pv) % pv >> 16;
                    const int32_t memoryRow = blur >= 2 ? h - 1 - r : r;
                    ASSERT_EQ(t[0].Pixel(memoryRow, c), texel(int32_t(u), int32_t(v))) << "scene " << scenes << " frame " << f;
                }
            ++checked;
        }
    }
    std::printf("soak: %ld frames over %ld scenes, %ld compared pixel by pixel\n", frames, scenes, checked);
}
