#pragma once
// The row code behind RenderFrame that is compiled for AVX2, in a file of its
// own. Only plain declarations cross this seam, and the helpers both sides
// share are static (render_inlines.h): an ordinary inline function compiled
// once for AVX2 and once without could reach a processor without AVX2 through
// the linker's choice of copies. Built for x86 processors only, where
// GYROFOLD_AVX2_ROWS is defined.

#include <cstdint>

// One row's walk through the tiling: u and v of the first pixel, in [0, period),
// and the column steps folded into (-period, period).
struct RowWalk {
    int32_t u, v;
    int32_t stepU, stepV;
    int32_t periodU, periodV;
};

// The texture as the vector rows fetch it. Rows are width texels apart, so a
// texel's index is row x width + column, the entry of rowOffsets.
struct TexelGrid {
    const void* texels;
    int32_t width;
};

// Writes width texels of the walk to out.
void WalkRowAvx2(uint8_t* out, const TexelGrid& texture, int32_t width, const RowWalk& walk);
void WalkRowAvx2(uint16_t* out, const TexelGrid& texture, int32_t width, const RowWalk& walk);

// The blurred row: walks the texture into own, folds older[1] to older[n - 1],
// in that order, into each texel, and writes the result to own and dst. Rows
// of the buffers are width pixels apart, rows of the surface stride pixels.
void BlurRowAvx2(uint8_t* dst, uint8_t* own, const uint8_t* const* older, int32_t n, int32_t width, int32_t stride,
                 const TexelGrid& texture, const RowWalk& walk, const uint8_t* blendTable);
void BlurRowAvx2(uint16_t* dst, uint16_t* own, const uint16_t* const* older, int32_t n, int32_t width, int32_t stride,
                 const TexelGrid& texture, const RowWalk& walk, const uint8_t* blendTable);
