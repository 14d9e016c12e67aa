#include "effect/render_frame.h"

#include <cstddef>
#include <cstdint>
#include <new>

#include "effect/cpu_features.h"
#include "effect/render_inlines.h"
#include "effect/render_rows.h"

namespace {

// X and Y start 16.5 texture periods out, so that the frame's centre lands on
// the texture's centre and the accumulators stay positive.
constexpr int64_t kBias = 0x108000;

// Below this many pixels between wraps, the divisions that find a run cost
// more than the compares they save.
constexpr int64_t kShortestRun = 16;

#ifdef GYROFOLD_AVX2_ROWS
const RowPath kFastestRowPath = ProcessorHasAvx2() ? RowPath::kAvx2 : RowPath::kRuns;
#else
const RowPath kFastestRowPath = RowPath::kRuns;
#endif
RowPath activeRowPath = kFastestRowPath;

template <typename Pixel>
struct FrameJob;

template <typename Pixel>
using WalkFunction = void (*)(Pixel* out, const FrameJob<Pixel>& job, RowWalk w);

// The blurred rows.
template <typename Pixel>
using BlurFunction = void (*)(Pixel* dst, Pixel* own, const Pixel* const* older, const FrameJob<Pixel>& job,
                              RowWalk w, WalkFunction<Pixel> walk);

// One frame, as every band reads it.
template <typename Pixel>
struct FrameJob {
    const Pixel* texels;
    const int32_t* rowOffsets;
    const void* const* rowStarts;  // texels + rowOffsets[y]
    TexelGrid grid;
    Pixel* surface;
    Surface* target;
    int32_t width;
    int32_t height;
    int32_t stride;
    // Blur only.
    Pixel* const* ring;  // slots + current
    int32_t blurFrames;
    const uint8_t* blendTable;
    // Row 0's walk and accumulators, and what each row adds to them.
    RowWalk start;
    int64_t x, y;
    int32_t rowStepU, rowStepV;
    int32_t bands;
    WalkFunction<Pixel> walk;
    BlurFunction<Pixel> blur;
};

// Each coordinate wraps by the sign of its own step with a single compare; a
// zero step never leaves the range, so it fits either form.
template <bool NegU, bool NegV>
inline void Step(RowWalk& w)
{
    w.u += w.stepU;
    if (NegU) {
        if (w.u < 0) w.u += w.periodU;
    } else {
        if (w.u >= w.periodU) w.u -= w.periodU;
    }
    w.v += w.stepV;
    if (NegV) {
        if (w.v < 0) w.v += w.periodV;
    } else {
        if (w.v >= w.periodV) w.v -= w.periodV;
    }
}

// The plain walk, one wrap test per pixel. Restrict-qualified pointers: an
// 8-bit store may alias anything, and without them every pixel would reload
// the texture and row pointers.
template <typename Pixel, bool NegU, bool NegV>
void WalkSimple(Pixel* __restrict out, const FrameJob<Pixel>& job, RowWalk w)
{
    const Pixel* __restrict tex = job.texels;
    const int32_t* __restrict rows = job.rowOffsets;
    const int32_t width = job.width;
    int32_t c = 0;
    // Each step waits for the previous wrap; two walks over the even and the
    // odd pixels, each with twice the step, halve that chain. A doubled step
    // still below the period wraps with the same single compare and lands on
    // the same coordinate, so the picture is unchanged.
    const int64_t twiceU = int64_t{w.stepU} * 2, twiceV = int64_t{w.stepV} * 2;
    if (twiceU > -w.periodU && twiceU < w.periodU && twiceV > -w.periodV && twiceV < w.periodV) {
        RowWalk odd = w;
        Step<NegU, NegV>(odd);
        RowWalk even = w;
        even.stepU = odd.stepU = static_cast<int32_t>(twiceU);
        even.stepV = odd.stepV = static_cast<int32_t>(twiceV);
        for (; c + 1 < width; c += 2) {
            out[c] = tex[rows[even.v >> 16] + (even.u >> 16)];
            out[c + 1] = tex[rows[odd.v >> 16] + (odd.u >> 16)];
            Step<NegU, NegV>(even);
            Step<NegU, NegV>(odd);
        }
        w.u = even.u;
        w.v = even.v;
    }
    for (; c < width; ++c) {
        out[c] = tex[rows[w.v >> 16] + (w.u >> 16)];
        Step<NegU, NegV>(w);
    }
}

template <typename Pixel>
WalkFunction<Pixel> SimpleWalkFor(const RowWalk& w)
{
    const bool negU = w.stepU < 0, negV = w.stepV < 0;
    if (negU && negV) return WalkSimple<Pixel, true, true>;
    if (negU) return WalkSimple<Pixel, true, false>;
    if (negV) return WalkSimple<Pixel, false, true>;
    return WalkSimple<Pixel, false, false>;
}

// Pixels from coordinate at (step) until the one that would leave [0, period).
inline int32_t PixelsBeforeWrap(int32_t coordinate, int32_t step, int32_t period, int32_t most)
{
    uint32_t n;
    if (step > 0)
        n = static_cast<uint32_t>(period - 1 - coordinate) / static_cast<uint32_t>(step) + 1;
    else if (step < 0)
        n = static_cast<uint32_t>(coordinate) / static_cast<uint32_t>(-step) + 1;
    else
        return most;
    return n < static_cast<uint32_t>(most) ? static_cast<int32_t>(n) : most;
}

// The coordinate n steps on. The run stopped at most one step past the range,
// so a single wrap brings it back.
inline int32_t AfterRun(int32_t coordinate, int32_t step, int32_t period, int32_t n)
{
    const int64_t c = coordinate + int64_t{step} * n;
    return static_cast<int32_t>(c < 0 ? c + period : c >= period ? c - period : c);
}

// Within a row the coordinates wrap only now and then: walk in runs that end
// before the next wrap of u or v. Inside a run, u and v share one 64-bit word
// (u in the high half), so a pixel costs one addition and no compare; neither
// half leaves [0, 2^30) there, so no carry crosses between them.
template <typename Pixel>
void WalkRuns(Pixel* __restrict out, const FrameJob<Pixel>& job, RowWalk w)
{
    const void* const* __restrict rows = job.rowStarts;
    const uint64_t step = (uint64_t{static_cast<uint32_t>(w.stepU)} << 32) + static_cast<uint64_t>(int64_t{w.stepV});
    for (int32_t c = 0; c < job.width;) {
        int32_t n = PixelsBeforeWrap(w.u, w.stepU, w.periodU, job.width - c);
        n = PixelsBeforeWrap(w.v, w.stepV, w.periodV, n);
        uint64_t uv = (uint64_t{static_cast<uint32_t>(w.u)} << 32) | static_cast<uint32_t>(w.v);
        Pixel* __restrict run = out + c;
        int32_t i = 0;
        // Four pixels a turn: the loop's own count and branch would otherwise
        // cost a fifth of each pixel.
        for (; i + 4 <= n; i += 4) {
            for (int32_t k = 0; k < 4; ++k) {
                run[i + k] = static_cast<const Pixel*>(rows[static_cast<uint32_t>(uv) >> 16])[uv >> 48];
                uv += step;
            }
        }
        for (; i < n; ++i) {
            run[i] = static_cast<const Pixel*>(rows[static_cast<uint32_t>(uv) >> 16])[uv >> 48];
            uv += step;
        }
        c += n;
        w.u = AfterRun(w.u, w.stepU, w.periodU, n);
        w.v = AfterRun(w.v, w.stepV, w.periodV, n);
    }
}

// N, the frames folded, is a constant of each instance, so the folds unroll
// and the ring's row pointers stay in registers.
template <typename Pixel, int32_t N>
void FoldRow(Pixel* __restrict dst, Pixel* __restrict own, const Pixel* const* ring, int32_t width, int32_t stride,
             const uint8_t* __restrict table)
{
    const Pixel* __restrict older[N];
    for (int32_t j = 1; j < N; ++j) older[j] = ring[j];
    // A cache line of pixels at a time, asking for the same line of the next
    // row: the blurred rows go from the last row up, through buffers too big
    // for the caches near the core.
    constexpr int32_t kLine = 64 / sizeof(Pixel);
    for (int32_t line = 0; line < width; line += kLine) {
        for (int32_t j = 1; j < N; ++j) PrefetchRowAbove(older[j] + line, width * sizeof(Pixel));
        PrefetchRowAbove(own + line, width * sizeof(Pixel));
        PrefetchRowAbove(dst + line, stride * sizeof(Pixel));
        const int32_t end = width - line < kLine ? width : line + kLine;
        for (int32_t c = line; c < end; ++c) {
            // Oldest stored frame first, the previous frame last: each fold
            // halves what came before, so the previous frame weighs most.
            Pixel acc = own[c];
            for (int32_t j = 1; j < N; ++j) acc = Fold(table, acc, older[j][c]);
            own[c] = acc;
            dst[c] = acc;
        }
    }
}

template <typename Pixel>
void FoldPortable(Pixel* dst, Pixel* own, const Pixel* const* older, int32_t n, int32_t width, int32_t stride,
                  const uint8_t* table)
{
    switch (n) {
    case 2: return FoldRow<Pixel, 2>(dst, own, older, width, stride, table);
    case 3: return FoldRow<Pixel, 3>(dst, own, older, width, stride, table);
    case 4: return FoldRow<Pixel, 4>(dst, own, older, width, stride, table);
    case 5: return FoldRow<Pixel, 5>(dst, own, older, width, stride, table);
    case 6: return FoldRow<Pixel, 6>(dst, own, older, width, stride, table);
    case 7: return FoldRow<Pixel, 7>(dst, own, older, width, stride, table);
    default: return FoldRow<Pixel, kMaxBlurFrames>(dst, own, older, width, stride, table);
    }
}

// The blurred rows: the walk into this frame's buffer, then the folds.
template <typename Pixel>
void BlurPortable(Pixel* dst, Pixel* own, const Pixel* const* older, const FrameJob<Pixel>& job, RowWalk w,
                  WalkFunction<Pixel> walk)
{
    walk(own, job, w);
    FoldPortable(dst, own, older, job.blurFrames, job.width, job.stride, job.blendTable);
}

#ifdef GYROFOLD_AVX2_ROWS
template <typename Pixel>
void WalkAvx2(Pixel* out, const FrameJob<Pixel>& job, RowWalk w)
{
    WalkRowAvx2(out, job.grid, job.width, w);
}

template <typename Pixel>
void BlurAvx2(Pixel* dst, Pixel* own, const Pixel* const* older, const FrameJob<Pixel>& job, RowWalk w,
              WalkFunction<Pixel>)
{
    BlurRowAvx2(dst, own, older, job.blurFrames, job.width, job.stride, job.grid, w, job.blendTable);
}
#endif

// The row forms of this frame, chosen once for all its bands.
template <typename Pixel>
void ChooseRows(FrameJob<Pixel>& job)
{
    const RowWalk& start = job.start;
    job.walk = SimpleWalkFor<Pixel>(start);
    const bool longRuns = int64_t{start.stepU} * kShortestRun < start.periodU &&
                          -int64_t{start.stepU} * kShortestRun < start.periodU &&
                          int64_t{start.stepV} * kShortestRun < start.periodV &&
                          -int64_t{start.stepV} * kShortestRun < start.periodV;
    job.blur = BlurPortable<Pixel>;
    if (activeRowPath == RowPath::kRuns && longRuns && job.rowStarts != nullptr) job.walk = WalkRuns<Pixel>;
#ifdef GYROFOLD_AVX2_ROWS
    if (activeRowPath == RowPath::kAvx2) {
        job.walk = WalkAvx2<Pixel>;
        job.blur = BlurAvx2<Pixel>;
    }
#endif
}

// Draws the band's rows. A band starts from the frame's accumulators plus its
// first row times the row step, in 64 bits: what adding the step row by row
// gives, so the bytes drawn do not depend on how the frame is cut.
template <typename Pixel>
void DrawBand(void* context, int32_t band)
{
    const FrameJob<Pixel>& job = *static_cast<const FrameJob<Pixel>*>(context);
    const int32_t first = static_cast<int32_t>(int64_t{job.height} * band / job.bands);
    const int32_t end = static_cast<int32_t>(int64_t{job.height} * (band + 1) / job.bands);
    int64_t x = job.x + int64_t{job.rowStepU} * first, y = job.y + int64_t{job.rowStepV} * first;
    const int64_t pu = job.start.periodU, pv = job.start.periodV;
    for (int32_t r = first; r < end; ++r) {
        // Restart every row from the accumulators. Within the usual limits they
        // are never negative and this equals the plain remainder; beyond them
        // the floored remainder keeps the tiling continuous instead of fetching
        // outside the texture.
        RowWalk w = job.start;
        w.u = static_cast<int32_t>(FloorMod(x, pu));
        w.v = static_cast<int32_t>(FloorMod(y, pv));
        if (job.blurFrames < 2) {
            job.walk(job.surface + static_cast<std::ptrdiff_t>(r) * job.stride, job, w);
        } else {
            // The blurred rows fill the buffers from the last row up. Walk the
            // texture into this frame's buffer first, then fold: apart, the
            // folds of neighbouring pixels overlap instead of waiting on the
            // walk, and the 5-5-5 folds, plain arithmetic, become vector code.
            const int32_t row = job.height - 1 - r;
            const std::ptrdiff_t base = static_cast<std::ptrdiff_t>(row) * job.width;
            const Pixel* older[kMaxBlurFrames];
            for (int32_t j = 0; j < job.blurFrames; ++j) older[j] = job.ring[j] + base;
            Pixel* own = job.ring[0] + base;
            Pixel* dst = job.surface + static_cast<std::ptrdiff_t>(row) * job.stride;
            job.blur(dst, own, older, job, w, job.walk);
        }
        x += job.rowStepU;
        y += job.rowStepV;
    }
    // The memory rows this band wrote; the blurred rows go from the last up.
    if (job.blurFrames < 2)
        job.target->RowsDrawn(first, end);
    else
        job.target->RowsDrawn(job.height - end, job.height - first);
}

// Below this many pixels a frame is drawn on one thread unless a count was
// asked for: waking the workers would cost more than they save (the
// preview's 320 x 240).
constexpr int64_t kSmallestBandedFrame = 128 * 1024;

// The pointers to the texture's rows, made again only for another texture.
const void* const* TextureRows(FrameBands& bands, const Texture& t, int32_t pixelBytes)
{
    if (bands.rowsTexels != t.pixels || bands.rowsWidth != t.width || bands.rowsPixelBytes != pixelBytes ||
        bands.textureRows.size() != static_cast<size_t>(t.height)) {
        bands.rowsTexels = nullptr;
        try {
            bands.textureRows.resize(static_cast<size_t>(t.height));
        } catch (const std::bad_alloc&) {
            bands.textureRows.clear();
            return nullptr;
        }
        for (int32_t r = 0; r < t.height; ++r)
            bands.textureRows[r] = static_cast<const uint8_t*>(t.pixels) + size_t{1} * t.rowOffsets[r] * pixelBytes;
        bands.rowsTexels = t.pixels;
        bands.rowsWidth = t.width;
        bands.rowsPixelBytes = pixelBytes;
    }
    return bands.textureRows.data();
}

// Cuts the frame into bands, one per thread, and draws them.
template <typename Pixel>
void DrawBands(FrameBands& bands, FrameJob<Pixel>& job)
{
    const int32_t threads = DrawingThreads(bands.threads);
    int32_t count = threads < job.height ? threads : job.height;
    if (bands.threads <= 0 && int64_t{job.width} * job.height < kSmallestBandedFrame) count = 1;
    if (count > 1 && bands.poolAsked != threads) {
        bands.pool.reset();
        bands.poolAsked = threads;
        try {
            bands.pool.reset(new BandPool(threads));
        } catch (const std::bad_alloc&) {
        }
    }
    job.bands = bands.pool != nullptr && count > bands.pool->Threads() ? bands.pool->Threads() : count;
    if (job.bands <= 1 || bands.pool == nullptr) {
        job.bands = 1;
        DrawBand<Pixel>(&job, 0);
    } else {
        bands.pool->Run(job.bands, DrawBand<Pixel>, &job);
    }
}

template <typename Pixel>
void DrawFrame(Scene& scene, const SaverSettings& s, ColourMode mode)
{
    Surface& surface = *scene.currentSurface;
    const int32_t width = surface.Width();
    const int32_t height = surface.Height();
    MotionState& motion = scene.motion[mode];
    FrameHistory& history = scene.history[mode];
    const Texture& t = scene.texture;

    AdvanceMotion(motion, s.Rot1, s.Rot2, s.Zoom1, s.Zoom2);
    const FrameSteps steps = ComputeSteps(motion.turnAngle, motion.zoom, t.width, width, s.XScale, s.YScale, s.Warpy);

    int32_t blurFrames = BlurFrames(s.NumBuf);
    if (blurFrames > scene.historyBuffers) blurFrames = scene.historyBuffers;
    const bool blurred = blurFrames >= 2;

    const bool drawable = t.width > 0 && t.height > 0 && t.width <= kMaxTextureSide && t.height <= kMaxTextureSide &&
                          t.pixels != nullptr && t.rowOffsets != nullptr && surface.pixelMemory != nullptr &&
                          width > 0 && height > 0;
    if (drawable) {
        const int64_t pu = int64_t{t.width} * 65536, pv = int64_t{t.height} * 65536;
        // The blur's own guard: a frame whose column steps reach a period draws
        // nothing, and the previous picture is shown again.
        const bool stepsFit =
            steps.colStepU > -pu && steps.colStepU < pu && steps.colStepV > -pv && steps.colStepV < pv;
        if (!blurred || stepsFit) {
            FrameJob<Pixel> job;
            RowWalk& start = job.start;
            // Plain rows fold a step of a period or more back into one period: the
            // same tiling, reached with a single wrap per pixel.
            start.stepU = static_cast<int32_t>(steps.colStepU % pu);
            start.stepV = static_cast<int32_t>(steps.colStepV % pv);
            start.periodU = static_cast<int32_t>(pu);
            start.periodV = static_cast<int32_t>(pv);
            start.u = start.v = 0;
            job.x = int64_t{t.width} * kBias - int64_t{steps.rowStepU} * (height / 2) -
                    int64_t{steps.colStepU} * (width / 2);
            job.y = int64_t{t.height} * kBias - int64_t{steps.rowStepV} * (height / 2) -
                    int64_t{steps.colStepV} * (width / 2);
            job.rowStepU = steps.rowStepU;
            job.rowStepV = steps.rowStepV;
            job.texels = static_cast<const Pixel*>(t.pixels);
            job.rowOffsets = t.rowOffsets;
            // The runs fetch through row pointers, an addition per pixel less.
            // Without memory for them the simple rows draw the frame.
            job.rowStarts =
                activeRowPath == RowPath::kRuns ? TextureRows(scene.bands, t, sizeof(Pixel)) : nullptr;
            job.grid = TexelGrid{t.pixels, t.width};
            job.surface = static_cast<Pixel*>(surface.pixelMemory);
            job.target = &surface;
            job.width = width;
            job.height = height;
            job.stride = surface.Stride();
            Pixel* ring[kMaxBlurFrames] = {};
            for (int32_t j = 0; j < blurFrames; ++j) ring[j] = static_cast<Pixel*>(history.slots[history.current + j]);
            job.ring = ring;
            job.blurFrames = blurFrames;
            job.blendTable = scene.blendTable;
            ChooseRows(job);
            surface.FramePrepared();
            DrawBands(scene.bands, job);
        }
    }
    if (blurFrames > 1) history.current = (history.current + 1) % blurFrames;
    surface.Present();
}

}  // namespace

void RenderFrame(Scene& scene, const SaverSettings& settings)
{
    if (!scene.sceneReady || scene.currentSurface == nullptr) return;
    if (scene.hiColorActive)
        DrawFrame<uint16_t>(scene, settings, kHiColor);
    else
        DrawFrame<uint8_t>(scene, settings, kPalettised);
}

void RenderFrame() { RenderFrame(TheScene, TheSettings); }

RowPath FastestRowPath() { return kFastestRowPath; }

RowPath UseRowPath(RowPath path)
{
    activeRowPath = path == RowPath::kAvx2 ? kFastestRowPath : path;
    return activeRowPath;
}
