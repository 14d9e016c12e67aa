// The frame renderer at the usual screen sizes, in both colour modes and with
// and without blur, beside pixman drawing the same turned and zoomed tiling
// with nearest sampling, and beside memset of the frame's bytes, which no
// renderer can beat. Rates are megapixels per second.

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "imaging/surface_memory.h"

namespace {

constexpr int32_t kTextureSide = 256;

struct Size {
    int32_t width, height;
};
const Size kSizes[] = {{320, 240}, {1920, 1080}, {3840, 2160}};

// A scene built as setup would build it, without a file: the texture is a
// pattern with detail in every texel, the blend table comes from a palette
// of smooth ramps.
struct BenchScene {
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    SaverSettings settings;

    BenchScene(int32_t hiColor, int32_t numBuf, Size size)
    {
        settings.UseHiColor = hiColor;
        settings.NumBuf = numBuf;
        settings.ScreenWidth = size.width;
        settings.ScreenHeight = size.height;
        Scene& s = *scene;
        s.hiColorActive = hiColor;
        s.currentSurface = CreateSurface(hiColor, 0, Rect32{0, 0, size.width, size.height});
        const size_t bytes = hiColor ? 2 : 1;
        s.texture.width = kTextureSide;
        s.texture.height = kTextureSide;
        s.texture.pixels = std::malloc(size_t{kTextureSide} * kTextureSide * bytes);
        s.texture.rowOffsets = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * kTextureSide));
        for (int32_t y = 0; y < kTextureSide; ++y) {
            s.texture.rowOffsets[y] = y * kTextureSide;
            for (int32_t x = 0; x < kTextureSide; ++x) {
                const size_t i = size_t{static_cast<uint32_t>(y)} * kTextureSide + x;
                if (hiColor)
                    static_cast<uint16_t*>(s.texture.pixels)[i] =
                        static_cast<uint16_t>(((x >> 3) << 10) | ((y >> 3) << 5) | ((x ^ y) & 31));
                else
                    static_cast<uint8_t*>(s.texture.pixels)[i] = static_cast<uint8_t>(x ^ (y * 3));
            }
        }
        if (!hiColor) {
            uint8_t palette[768];
            for (int32_t i = 0; i < 256; ++i) {
                palette[3 * i] = static_cast<uint8_t>(i);
                palette[3 * i + 1] = static_cast<uint8_t>((i * 7) & 255);
                palette[3 * i + 2] = static_cast<uint8_t>(255 - i);
            }
            if (numBuf > 1) BuildBlendTable(palette, s.blendTable, s.blendProgress);
            s.currentSurface->SetPalette(palette);
        }
        const int32_t n = BlurFrames(numBuf);
        if (n > 1) {
            FrameHistory& h = s.history[hiColor ? kHiColor : kPalettised];
            for (int32_t i = 0; i < n; ++i) {
                void* b = std::calloc(size_t{static_cast<uint32_t>(size.width)} * size.height, bytes);
                h.slots[i] = h.slots[n + i] = b;
            }
            h.current = 0;
            s.historyBuffers = n;
        }
        s.sceneReady = 1;
    }

    ~BenchScene() { TeardownScene(*scene); }
};

void SetRate(benchmark::State& state, Size size)
{
    const double pixels = double(size.width) * size.height;
    state.counters["MP/s"] =
        benchmark::Counter(pixels * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_RenderFrame(benchmark::State& state)
{
    const int32_t hiColor = static_cast<int32_t>(state.range(0));
    const int32_t numBuf = static_cast<int32_t>(state.range(1));
    const Size size = kSizes[state.range(2)];
    BenchScene bench(hiColor, numBuf, size);
    for (auto _ : state) {
        RenderFrame(*bench.scene, bench.settings);
        benchmark::DoNotOptimize(bench.scene->currentSurface->pixelMemory);
        benchmark::ClobberMemory();
    }
    SetRate(state, size);
}

// pixman's affine path with the steps of a turned and zoomed frame.
void BM_Pixman(benchmark::State& state)
{
    const int32_t hiColor = static_cast<int32_t>(state.range(0));
    const Size size = kSizes[state.range(1)];
    const int32_t bpp = hiColor ? 2 : 1;
    const pixman_format_code_t format = hiColor ? PIXMAN_x1r5g5b5 : PIXMAN_a8;
    std::vector<uint32_t> texture(size_t{kTextureSide} * kTextureSide * bpp / 4);
    for (size_t i = 0; i < texture.size(); ++i) texture[i] = static_cast<uint32_t>(i * 2654435761u);
    const int32_t destStride = ((size.width * bpp + 3) & ~3);
    std::vector<uint32_t> dest(size_t{static_cast<uint32_t>(destStride)} * size.height / 4 + 1);
    pixman_image_t* src = pixman_image_create_bits(format, kTextureSide, kTextureSide, texture.data(),
                                                   kTextureSide * bpp);
    pixman_image_t* dst = pixman_image_create_bits(format, size.width, size.height, dest.data(), destStride);

    MotionState motion;
    for (int i = 0; i < 40; ++i) AdvanceMotion(motion, 1.0, 1.0, 1.0, 1.0);
    const FrameSteps s = ComputeSteps(motion.turnAngle, motion.zoom, kTextureSide, size.width, 1.0, 1.0, 0);
    const int32_t period = kTextureSide * 65536;
    const int64_t x0 = int64_t{period} / 2 - int64_t{s.rowStepU} * (size.height / 2) - int64_t{s.colStepU} * (size.width / 2);
    const int64_t y0 = int64_t{period} / 2 - int64_t{s.rowStepV} * (size.height / 2) - int64_t{s.colStepV} * (size.width / 2);
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = s.colStepU;
    t.matrix[0][1] = s.rowStepU;
    t.matrix[0][2] = static_cast<pixman_fixed_t>(((x0 % period) + period) % period);
    t.matrix[1][0] = s.colStepV;
    t.matrix[1][1] = s.rowStepV;
    t.matrix[1][2] = static_cast<pixman_fixed_t>(((y0 % period) + period) % period);
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

// Arguments: hiColor, NumBuf, size index.
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"hicolor", "numbuf", "size"})
    ->ArgsProduct({{0, 1}, {1, 3, 5}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);
// Arguments: hiColor, size index.
BENCHMARK(BM_Pixman)->ArgNames({"hicolor", "size"})->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memset)->ArgNames({"hicolor", "size"})->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
