#include "effect/render_frame.h"

#include <cstddef>

namespace {

// X and Y start 16.5 texture periods out, so that the frame's centre lands on
// the texture's centre and the accumulators stay positive.
constexpr int64_t kBias = 0x108000;

inline uint8_t Fold(const uint8_t* blendTable, uint8_t a, uint8_t b) { return Fold8(blendTable, a, b); }
inline uint16_t Fold(const uint8_t*, uint16_t a, uint16_t b) { return Fold16(a, b); }

// The coordinates of one row walk. Each wraps by the sign of its own step with a
// single compare; a zero step never leaves the range, so it fits either form.
struct Walk {
    int32_t u, v;
    int32_t stepU, stepV;
    int32_t periodU, periodV;
};

template <bool NegU, bool NegV>
inline void Step(Walk& w)
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

template <typename Pixel>
struct FrameJob {
    const Pixel* texels;
    const int32_t* rowOffsets;
    Pixel* surface;
    int32_t width;
    int32_t height;
    int32_t stride;
    // Blur only.
    Pixel* const* ring;  // slots + current
    int32_t blurFrames;
    const uint8_t* blendTable;
};

// Writes the texels of one row walk to out.
template <typename Pixel, bool NegU, bool NegV>
inline void WalkRow(Pixel* __restrict out, const Pixel* __restrict tex, const int32_t* __restrict rows, int32_t width,
                    Walk w)
{
    int32_t c = 0;
    // Each step waits for the previous wrap; two walks over the even and the
    // odd pixels, each with twice the step, halve that chain. A doubled step
    // still below the period wraps with the same single compare and lands on
    // the same coordinate, so the picture is unchanged.
    const int64_t twiceU = int64_t{w.stepU} * 2, twiceV = int64_t{w.stepV} * 2;
    if (twiceU > -w.periodU && twiceU < w.periodU && twiceV > -w.periodV && twiceV < w.periodV) {
        Walk odd = w;
        Step<NegU, NegV>(odd);
        Walk even = w;
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

template <typename Pixel, bool NegU, bool NegV>
void PlainRow(const FrameJob<Pixel>& job, int32_t r, Walk w)
{
    // Restrict-qualified pointers: an 8-bit store may alias anything, and
    // without them every pixel would reload the texture and row pointers.
    WalkRow<Pixel, NegU, NegV>(job.surface + static_cast<std::ptrdiff_t>(r) * job.stride, job.texels, job.rowOffsets,
                               job.width, w);
}

// N, the frames folded, is a constant of each instance, so the folds unroll
// and the ring's row pointers stay in registers.
template <typename Pixel, bool NegU, bool NegV, int32_t N>
void BlurredRow(const FrameJob<Pixel>& job, int32_t r, Walk w)
{
    // The blurred rows fill the buffers from the last row up.
    const int32_t row = job.height - 1 - r;
    const std::ptrdiff_t base = static_cast<std::ptrdiff_t>(row) * job.width;
    Pixel* __restrict dst = job.surface + static_cast<std::ptrdiff_t>(row) * job.stride;
    Pixel* __restrict own = job.ring[0] + base;
    const Pixel* __restrict older[N];
    for (int32_t j = 1; j < N; ++j) older[j] = job.ring[j] + base;
    const Pixel* __restrict tex = job.texels;
    const int32_t* __restrict rows = job.rowOffsets;
    const uint8_t* __restrict table = job.blendTable;
    const int32_t width = job.width;
    // Walk the texture into this frame's buffer first, then fold. Apart, the
    // folds of neighbouring pixels overlap instead of waiting on the walk, and
    // the 5-5-5 folds, plain arithmetic, become vector code.
    WalkRow<Pixel, NegU, NegV>(own, tex, rows, width, w);
    for (int32_t c = 0; c < width; ++c) {
        // Oldest stored frame first, the previous frame last: each fold halves
        // what came before, so the previous frame weighs most.
        Pixel acc = own[c];
        for (int32_t j = 1; j < N; ++j) acc = Fold(table, acc, older[j][c]);
        own[c] = acc;
        dst[c] = acc;
    }
}

template <typename Pixel, bool NegU, bool NegV>
void (*BlurredRowFor(int32_t n))(const FrameJob<Pixel>&, int32_t, Walk)
{
    switch (n) {
    case 2: return BlurredRow<Pixel, NegU, NegV, 2>;
    case 3: return BlurredRow<Pixel, NegU, NegV, 3>;
    case 4: return BlurredRow<Pixel, NegU, NegV, 4>;
    case 5: return BlurredRow<Pixel, NegU, NegV, 5>;
    case 6: return BlurredRow<Pixel, NegU, NegV, 6>;
    case 7: return BlurredRow<Pixel, NegU, NegV, 7>;
    default: return BlurredRow<Pixel, NegU, NegV, kMaxBlurFrames>;
    }
}

template <typename Pixel, bool Blurred, bool NegU, bool NegV>
void (*RowFor(int32_t n))(const FrameJob<Pixel>&, int32_t, Walk)
{
    return Blurred ? BlurredRowFor<Pixel, NegU, NegV>(n) : PlainRow<Pixel, NegU, NegV>;
}

template <typename Pixel, bool Blurred>
void DrawRows(const FrameJob<Pixel>& job, Walk start, int64_t x, int64_t y, int32_t rowStepU, int32_t rowStepV)
{
    const bool negU = start.stepU < 0, negV = start.stepV < 0;
    void (*row)(const FrameJob<Pixel>&, int32_t, Walk);
    const int32_t n = job.blurFrames;
    if (negU && negV)
        row = RowFor<Pixel, Blurred, true, true>(n);
    else if (negU)
        row = RowFor<Pixel, Blurred, true, false>(n);
    else if (!negV)
        row = RowFor<Pixel, Blurred, false, false>(n);
    else
        row = RowFor<Pixel, Blurred, false, true>(n);

    const int64_t pu = start.periodU, pv = start.periodV;
    for (int32_t r = 0; r < job.height; ++r) {
        // Restart every row from the accumulators. Within the usual limits they
        // are never negative and this equals the plain remainder; beyond them
        // the floored remainder keeps the tiling continuous instead of fetching
        // outside the texture.
        Walk w = start;
        int64_t u = x % pu, v = y % pv;
        if (u < 0) u += pu;
        if (v < 0) v += pv;
        w.u = static_cast<int32_t>(u);
        w.v = static_cast<int32_t>(v);
        row(job, r, w);
        x += rowStepU;
        y += rowStepV;
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
        const bool stepsFit = steps.colStepU > -pu && steps.colStepU < pu && steps.colStepV > -pv && steps.colStepV < pv;
        if (!blurred || stepsFit) {
            Walk start;
            // Plain rows fold a step of a period or more back into one period: the
            // same tiling, reached with a single wrap per pixel.
            start.stepU = static_cast<int32_t>(steps.colStepU % pu);
            start.stepV = static_cast<int32_t>(steps.colStepV % pv);
            start.periodU = static_cast<int32_t>(pu);
            start.periodV = static_cast<int32_t>(pv);
            start.u = start.v = 0;
            const int64_t x = int64_t{t.width} * kBias - int64_t{steps.rowStepU} * (height / 2) -
                              int64_t{steps.colStepU} * (width / 2);
            const int64_t y = int64_t{t.height} * kBias - int64_t{steps.rowStepV} * (height / 2) -
                              int64_t{steps.colStepV} * (width / 2);
            FrameJob<Pixel> job;
            job.texels = static_cast<const Pixel*>(t.pixels);
            job.rowOffsets = t.rowOffsets;
            job.surface = static_cast<Pixel*>(surface.pixelMemory);
            job.width = width;
            job.height = height;
            job.stride = surface.Stride();
            Pixel* ring[kMaxBlurFrames] = {};
            for (int32_t j = 0; j < blurFrames; ++j) ring[j] = static_cast<Pixel*>(history.slots[history.current + j]);
            job.ring = ring;
            job.blurFrames = blurFrames;
            job.blendTable = scene.blendTable;
            if (blurred)
                DrawRows<Pixel, true>(job, start, x, y, steps.rowStepU, steps.rowStepV);
            else
                DrawRows<Pixel, false>(job, start, x, y, steps.rowStepU, steps.rowStepV);
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
