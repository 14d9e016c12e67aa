// The X11 hack's whole frame at 1920 x 1080: draw, convert through the lookup
// tables and put with MIT-SHM, beside the draw alone and the convert-and-put
// alone. Rates are frames per second. Run it on a display of its own:
//   xvfb-run -s "-screen 0 1920x1080x24" build/native/bench/x11_frame_bench

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/surface_x11.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
enum class Part { WholeFrame, DrawOnly, ConvertAndPut };

void Frame(benchmark::State& state, Part part)
{
    X11Target& t = TheX11Target;
    if (t.display == nullptr && (t.display = XOpenDisplay(nullptr)) != nullptr) {
        t.window = XCreateSimpleWindow(t.display, DefaultRootWindow(t.display), 0, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(t.display, t.window);
        t.visual = DefaultVisual(t.display, DefaultScreen(t.display));
        t.depth = DefaultDepth(t.display, DefaultScreen(t.display));
        t.gc = XCreateGC(t.display, t.window, 0, nullptr);
    }
    SaverSettings s;
    std::strcpy(s.IMGFilename, SAMPLE_IMAGE_PATH);
    s.UseHiColor = static_cast<int32_t>(state.range(0));
    s.NumBuf = static_cast<int32_t>(state.range(1));
    s.ScreenWidth = kWidth, s.ScreenHeight = kHeight;
    // A window of no size shows nothing: Present then costs nothing.
    t.width = part == Part::DrawOnly ? 0 : kWidth;
    t.height = part == Part::DrawOnly ? 0 : kHeight;
    auto scene = std::make_unique<Scene>();
    if (t.display != nullptr) SetupScene(*scene, s, t.window, 0);
    if (!scene->sceneReady) return state.SkipWithError("no display, or the sample image did not load");
    for (auto _ : state) part == Part::ConvertAndPut ? scene->currentSurface->Present() : RenderFrame(*scene, s);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    TeardownScene(*scene);
}

void Modes(benchmark::internal::Benchmark* b, std::vector<int64_t> numBufs)
{
    b->ArgsProduct({{0, 1}, numBufs})->ArgNames({"hicolor", "numbuf"})->UseRealTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK_CAPTURE(Frame, WholeFrame, Part::WholeFrame)->Apply([](auto* b) { Modes(b, {1, 3}); });
BENCHMARK_CAPTURE(Frame, DrawOnly, Part::DrawOnly)->Apply([](auto* b) { Modes(b, {1, 3}); });
BENCHMARK_CAPTURE(Frame, ConvertAndPut, Part::ConvertAndPut)->Apply([](auto* b) { Modes(b, {1}); });
BENCHMARK_MAIN();
