// The frame renderer beside pixman's general affine path and memset of the
// frame's bytes, the floor; with the X11 frames, the X11 saver's whole frame
// and its convert-and-put alone, on the display $DISPLAY names (a screen of
// 3840 x 2160 fits every size; without a display those cases are skipped).
// What each argument means and how to run it: the README's benchmark section.

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <vector>

#include "effect/band_pool.h"
#include "tests/support/render_fixture.h"

#ifdef GYROFOLD_X11_FRAMES
#include "imaging/surface_x11.h"
#endif

namespace {

struct Size {
    int32_t width, height;
};
const Size kSizes[] = {{320, 240}, {1920, 1080}, {3840, 2160}};
const Size kTextures[] = {{256, 256}, {1920, 1080}};

// Detail in every texel; 5-5-5 texels take the top bit clear.
uint32_t PatternTexel(int32_t x, int32_t y)
{
    return static_cast<uint32_t>(((x >> 3) << 10) | ((y >> 3) << 5) | ((x ^ y) & 31)) & 0x7FFF;
}

void SetRate(benchmark::State& state, Size size)
{
    const double pixels = double(size.width) * size.height;
    state.counters["MP/s"] = benchmark::Counter(pixels * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// Threads as the threads argument gives them: 0 for one per core.
void SetThreads(benchmark::State& state, Scene& scene, int64_t threads)
{
    scene.bands.threads = static_cast<int32_t>(threads);
    state.counters["threads"] = DrawingThreads(scene.bands.threads);
}

void BM_RenderFrame(benchmark::State& state)
{
    const int32_t hiColor = static_cast<int32_t>(state.range(0));
    const Size size = kSizes[state.range(2)], texture = kTextures[state.range(3)];
    const RowPath path = UseRowPath(state.range(4) ? RowPath::kRuns : FastestRowPath());
    if (state.range(4) == 0 && path != RowPath::kAvx2) state.SetLabel("no AVX2: portable rows");
    TestScene bench;
    bench.settings.NumBuf = static_cast<int32_t>(state.range(1));
    bench.Build(hiColor, size.width, size.height, texture.width, texture.height, PatternTexel);
    SetThreads(state, *bench.scene, state.range(5));
    if (!hiColor && bench.settings.NumBuf > 1) {
        // A palette of smooth ramps.
        uint8_t palette[768];
        for (int32_t i = 0; i < 256; ++i) {
            palette[3 * i] = static_cast<uint8_t>(i);
            palette[3 * i + 1] = static_cast<uint8_t>((i * 7) & 255);
            palette[3 * i + 2] = static_cast<uint8_t>(255 - i);
        }
        BuildBlendTable(palette, bench.scene->blendTable, bench.scene->blendProgress);
    }
    for (auto _ : state) {
        bench.Render();
        benchmark::DoNotOptimize(bench.scene->currentSurface->pixelMemory);
        benchmark::ClobberMemory();
    }
    UseRowPath(FastestRowPath());
    SetRate(state, size);
}

// pixman's affine path with the steps of a turned and zoomed frame.
void BM_Pixman(benchmark::State& state)
{
    const int32_t hiColor = static_cast<int32_t>(state.range(0));
    const Size size = kSizes[state.range(1)], texture = kTextures[state.range(2)];
    const int32_t bpp = hiColor ? 2 : 1;
    const pixman_format_code_t format = hiColor ? PIXMAN_x1r5g5b5 : PIXMAN_a8;
    std::vector<uint32_t> texels(size_t{static_cast<uint32_t>(texture.width)} * texture.height * bpp / 4);
    for (size_t i = 0; i < texels.size(); ++i) texels[i] = static_cast<uint32_t>(i * 2654435761u);
    const int32_t destStride = ((size.width * bpp + 3) & ~3);
    std::vector<uint32_t> dest(size_t{static_cast<uint32_t>(destStride)} * size.height / 4 + 1);
    pixman_image_t* src =
        pixman_image_create_bits(format, texture.width, texture.height, texels.data(), texture.width * bpp);
    pixman_image_t* dst = pixman_image_create_bits(format, size.width, size.height, dest.data(), destStride);

    MotionState motion;
    for (int i = 0; i < 40; ++i) AdvanceMotion(motion, 1.0, 1.0, 1.0, 1.0);
    const FrameSteps s = ComputeSteps(motion.turnAngle, motion.zoom, texture.width, size.width, 1.0, 1.0, 0);
    const int64_t pu = int64_t{texture.width} * 65536, pv = int64_t{texture.height} * 65536;
    const int64_t x0 = pu / 2 - int64_t{s.rowStepU} * (size.height / 2) - int64_t{s.colStepU} * (size.width / 2);
    const int64_t y0 = pv / 2 - int64_t{s.rowStepV} * (size.height / 2) - int64_t{s.colStepV} * (size.width / 2);
    const pixman_transform_t t = {{{s.colStepU, s.rowStepU, static_cast<pixman_fixed_t>((x0 % pu + pu) % pu)},
                                   {s.colStepV, s.rowStepV, static_cast<pixman_fixed_t>((y0 % pv + pv) % pv)},
                                   {0, 0, pixman_fixed_1}}};
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_NORMAL);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, size.width, size.height);
        benchmark::DoNotOptimize(dest.data());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    SetRate(state, size);
}

void BM_Memset(benchmark::State& state)
{
    const int32_t bpp = state.range(0) ? 2 : 1;
    const Size size = kSizes[state.range(1)];
    std::vector<uint8_t> frame(size_t{static_cast<uint32_t>(SurfaceStride(size.width))} * size.height * bpp);
    uint8_t value = 0;
    for (auto _ : state) {
        std::memset(frame.data(), value++, frame.size());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    SetRate(state, size);
}

BENCHMARK(BM_RenderFrame)
    ->ArgNames({"hicolor", "numbuf", "size", "texture", "portable", "threads"})
    ->ArgsProduct({{0, 1}, {1, 3, 5}, {0, 1, 2}, {0, 1}, {0, 1}, {1, 0}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pixman)
    ->ArgNames({"hicolor", "size", "texture"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memset)->ArgNames({"hicolor", "size"})->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);

#ifdef GYROFOLD_X11_FRAMES
// A window on the display, or a TrueColor stand-in without one: the draw-only
// cases above then make X11 surfaces that show nothing (a target of no size).
bool OpenX11Target()
{
    static Visual standIn = {};
    X11Target& t = TheX11Target;
    Display* display = XOpenDisplay(nullptr);
    if (display != nullptr) {
        const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 3840, 2160, 0, 0, 0);
        XMapWindow(display, window);
        std::string reason;
        if (AttachX11Target(display, window, X11OutputOptions{}, reason)) {
            t.gc = XCreateGC(display, window, 0, nullptr);
            t.width = t.height = 0;
            return true;
        }
    }
    standIn.c_class = TrueColor;
    standIn.red_mask = 0xFF0000, standIn.green_mask = 0xFF00, standIn.blue_mask = 0xFF;
    t.visual = &standIn;
    t.depth = 24;
    return false;
}
const bool kHaveDisplay = OpenX11Target();

// The X11 saver's frame from the sample picture, at the window's size.
void BM_X11Frame(benchmark::State& state)
{
    if (!kHaveDisplay) return state.SkipWithError("no X display");
    X11Target& t = TheX11Target;
    const Size size = kSizes[state.range(2)];
    SaverSettings s;
    std::strcpy(s.IMGFilename, SAMPLE_IMAGE_PATH);
    s.UseHiColor = static_cast<int32_t>(state.range(0));
    s.NumBuf = static_cast<int32_t>(state.range(1));
    s.ScreenWidth = t.width = size.width;
    s.ScreenHeight = t.height = size.height;
    auto scene = std::make_unique<Scene>();
    SetThreads(state, *scene, state.range(3));
    SetupScene(*scene, s, t.window, 0);
    if (!scene->sceneReady) return state.SkipWithError("the sample picture did not load");
    RenderFrame(*scene, s);
    for (auto _ : state) state.range(4) ? scene->currentSurface->Present() : RenderFrame(*scene, s);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    TeardownScene(*scene);
    t.width = t.height = 0;
}

BENCHMARK(BM_X11Frame)
    ->ArgNames({"hicolor", "numbuf", "size", "threads", "putonly"})
    ->ArgsProduct({{0, 1}, {1, 3, 5}, {1, 2}, {1, 0}, {0}})
    ->Args({0, 1, 2, 1, 1})
    ->Args({1, 1, 2, 1, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
