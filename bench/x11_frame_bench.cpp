// The X11 hack's whole frame at 1920 x 1080 on a private Xvfb display: draw,
// convert through the lookup tables and put with MIT-SHM, beside the draw
// alone and the convert-and-put alone. Rates are frames per second.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "imaging/surface_x11.h"
#include "tests/x11/x11_session.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

XvfbSession& Server()
{
    static XvfbSession server;
    if (server.display == nullptr && server.Start(kWidth, kHeight)) {
        X11Target& t = TheX11Target;
        t.display = server.display;
        t.window = XCreateSimpleWindow(t.display, DefaultRootWindow(t.display), 0, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(t.display, t.window);
        XWindowAttributes a;
        XGetWindowAttributes(t.display, t.window, &a);
        t.visual = a.visual;
        t.depth = a.depth;
        t.gc = XCreateGC(t.display, t.window, 0, nullptr);
    }
    return server;
}

enum class Part { WholeFrame, DrawOnly, ConvertAndPut };

void Frame(benchmark::State& state, Part part)
{
    if (Server().display == nullptr) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    SaverSettings s;
    std::strcpy(s.IMGFilename, SAMPLE_IMAGE_PATH);
    s.UseHiColor = static_cast<int32_t>(state.range(0));
    s.NumBuf = static_cast<int32_t>(state.range(1));
    s.ScreenWidth = kWidth;
    s.ScreenHeight = kHeight;
    // A window of no size shows nothing: Present then costs nothing.
    TheX11Target.width = part == Part::DrawOnly ? 0 : kWidth;
    TheX11Target.height = part == Part::DrawOnly ? 0 : kHeight;
    auto scene = std::make_unique<Scene>();
    SetupScene(*scene, s, TheX11Target.window, 0);
    if (!scene->sceneReady) {
        state.SkipWithError("the sample image did not load");
        return;
    }
    for (auto _ : state) {
        if (part == Part::ConvertAndPut)
            scene->currentSurface->Present();
        else
            RenderFrame(*scene, s);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    TeardownScene(*scene);
}


}  // namespace

void Modes(benchmark::internal::Benchmark* b, std::vector<int64_t> numBufs)
{
    b->ArgsProduct({{0, 1}, numBufs})->ArgNames({"hicolor", "numbuf"})->UseRealTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(Frame, WholeFrame, Part::WholeFrame)->Apply([](auto* b) { Modes(b, {1, 3}); });
BENCHMARK_CAPTURE(Frame, DrawOnly, Part::DrawOnly)->Apply([](auto* b) { Modes(b, {1, 3}); });
BENCHMARK_CAPTURE(Frame, ConvertAndPut, Part::ConvertAndPut)->Apply([](auto* b) { Modes(b, {1}); });

BENCHMARK_MAIN();
