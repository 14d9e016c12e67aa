// The AVX2 rows: eight pixels at once. The only file compiled for AVX2; it is
// called only after the processor check, and calls no inline function of a
// shared header (see render_rows.h).

#include <immintrin.h>

#include "effect/render_rows.h"

namespace {

constexpr int32_t kLanes = 8;

int64_t FloorMod(int64_t a, int64_t m)
{
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// One step of a coordinate in [0, period) with a step in (-period, period).
int32_t StepOnce(int32_t coordinate, int32_t step, int32_t period)
{
    coordinate += step;
    return coordinate < 0 ? coordinate + period : coordinate >= period ? coordinate - period : coordinate;
}

// Lane k starts at (start + k x step) mod period, the coordinate of pixel k.
// Eight steps at once, folded into [0, period), wrap with one compare and one
// subtraction: both summands are below the period.
struct LaneWalk {
    __m256i coord, stride, period, lastInRange;

    LaneWalk(int32_t start, int32_t step, int32_t period32)
    {
        // Unaligned: the Windows x64 compiler cannot align a stack array to 32.
        int32_t lanes[kLanes];
        for (int32_t k = 0; k < kLanes; ++k) lanes[k] = static_cast<int32_t>(FloorMod(start + int64_t{k} * step, period32));
        coord = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes));
        stride = _mm256_set1_epi32(static_cast<int32_t>(FloorMod(int64_t{step} * kLanes, period32)));
        period = _mm256_set1_epi32(period32);
        lastInRange = _mm256_set1_epi32(period32 - 1);
    }

    void Advance()
    {
        // Periods are at most 2^30, so the sum stays below 2^31 and the signed
        // compare holds.
        coord = _mm256_add_epi32(coord, stride);
        coord = _mm256_sub_epi32(coord, _mm256_and_si256(_mm256_cmpgt_epi32(coord, lastInRange), period));
    }
};

// The texel indices of the eight lanes: row x width + column, as rowOffsets.
__m256i TexelIndex(const LaneWalk& u, const LaneWalk& v, __m256i width)
{
    return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(v.coord, 16), width), _mm256_srli_epi32(u.coord, 16));
}

// Gathers 32 bits at each index, moved down so the texel is in the low bits.
// Indices near the end read from a few texels earlier and shift, so no read
// passes the texture's last byte, however the loader allocated it.
template <int32_t Bytes>
__m256i GatherTexels(const void* texels, __m256i index, __m256i lastFullRead)
{
    const __m256i clamped = _mm256_min_epu32(index, lastFullRead);
    const __m256i shift = _mm256_slli_epi32(_mm256_sub_epi32(index, clamped), Bytes == 1 ? 3 : 4);
    return _mm256_srlv_epi32(_mm256_i32gather_epi32(static_cast<const int*>(texels), clamped, Bytes), shift);
}

// The low byte of each lane, in lane order, in the low 8 bytes.
__m128i PackBytes(__m256i lanes)
{
    const __m256i pick = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12, -1,
                                          -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(lanes, pick), _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1));
    return _mm256_castsi256_si128(packed);
}

// The low 16 bits of each lane, in lane order.
__m128i PackWords(__m256i lanes)
{
    const __m256i pick = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 4, 5, 8, 9,
                                          12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_shuffle_epi8(lanes, pick), 0x08));
}

void Store(uint8_t* out, __m256i lanes) { _mm_storel_epi64(reinterpret_cast<__m128i*>(out), PackBytes(lanes)); }
void Store(uint16_t* out, __m256i lanes) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), PackWords(lanes)); }

// Walks the row eight pixels at a time, handing each eight texels to put; the
// last width mod 8 pixels are walked one at a time into tail. Returns the
// first pixel of that tail.
template <typename Pixel, typename Put>
int32_t WalkRow(const TexelGrid& texture, int32_t width, const RowWalk& w, Put put, Pixel* tail)
{
    LaneWalk u(w.u, w.stepU, w.periodU), v(w.v, w.stepV, w.periodV);
    const __m256i texWidth = _mm256_set1_epi32(texture.width);
    // The last index whose 32-bit read stays inside the texture.
    const __m256i lastFullRead = _mm256_set1_epi32(texture.count - static_cast<int32_t>(4 / sizeof(Pixel)));
    int32_t c = 0;
    for (; c + kLanes <= width; c += kLanes) {
        put(c, GatherTexels<sizeof(Pixel)>(texture.texels, TexelIndex(u, v, texWidth), lastFullRead));
        u.Advance();
        v.Advance();
    }
    // Lane 0 holds pixel c.
    int32_t su = _mm256_cvtsi256_si32(u.coord), sv = _mm256_cvtsi256_si32(v.coord);
    const auto* texels = static_cast<const Pixel*>(texture.texels);
    for (int32_t t = c; t < width; ++t) {
        tail[t] = texels[(sv >> 16) * texture.width + (su >> 16)];
        su = StepOnce(su, w.stepU, w.periodU);
        sv = StepOnce(sv, w.stepV, w.periodV);
    }
    return c;
}

// Eight pixels of a stored frame, one per lane.
__m256i LoadLanes(const uint8_t* p) { return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))); }
__m256i LoadLanes(const uint16_t* p) { return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))); }

// 8-bit folds: eight table entries gathered at once. The table has three
// bytes to spare past its end.
__m256i FoldLanes(const uint8_t* table, __m256i acc, const uint8_t* older)
{
    const __m256i index = _mm256_add_epi32(acc, _mm256_slli_epi32(LoadLanes(older), 8));
    return _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, 1), _mm256_set1_epi32(0xFF));
}

// 5-5-5 folds in plain vector arithmetic.
__m256i FoldLanes(const uint8_t*, __m256i acc, const uint16_t* older)
{
    const __m256i mask = _mm256_set1_epi32(0x7DEF);
    return _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(acc, 1), mask),
                            _mm256_and_si256(_mm256_srli_epi32(LoadLanes(older), 1), mask));
}

uint8_t FoldScalar(const uint8_t* table, uint8_t a, uint8_t b) { return table[a + 256 * b]; }
uint16_t FoldScalar(const uint8_t*, uint16_t a, uint16_t b)
{
    return static_cast<uint16_t>(((a >> 1) & 0x7DEF) + ((b >> 1) & 0x7DEF));
}

template <typename Pixel>
void PlainRow(Pixel* out, const TexelGrid& texture, int32_t width, const RowWalk& walk)
{
    WalkRow(texture, width, walk, [out](int32_t c, __m256i texels) { Store(out + c, texels); }, out);
}

// The walk and the folds in one pass: the texels never leave the registers.
// N is a constant of each instance, so the loop over the stored frames unrolls.
template <int32_t N, typename Pixel>
void BlurRow(Pixel* dst, Pixel* own, const Pixel* const* older, int32_t width, const TexelGrid& texture,
             const RowWalk& walk, const uint8_t* table)
{
#ifdef SCALAR8
    if (sizeof(Pixel) == 1) {
        PlainRow(own, texture, width, walk);
        for (int32_t c = 0; c < width; ++c) {
            Pixel acc = own[c];
            for (int32_t j = 1; j < N; ++j) acc = FoldScalar(table, acc, older[j][c]);
            own[c] = dst[c] = acc;
        }
        return;
    }
#endif
    auto put = [&](int32_t c, __m256i acc) {
        // The gather leaves the neighbouring texels above this one.
        acc = _mm256_and_si256(acc, _mm256_set1_epi32(sizeof(Pixel) == 1 ? 0xFF : 0xFFFF));
        for (int32_t j = 1; j < N; ++j) acc = FoldLanes(table, acc, older[j] + c);
        Store(own + c, acc);
        Store(dst + c, acc);
    };
    for (int32_t c = WalkRow(texture, width, walk, put, own); c < width; ++c) {
        Pixel acc = own[c];
        for (int32_t j = 1; j < N; ++j) acc = FoldScalar(table, acc, older[j][c]);
        own[c] = dst[c] = acc;
    }
}

template <typename Pixel>
void BlurRowFor(int32_t n, Pixel* dst, Pixel* own, const Pixel* const* older, int32_t width, const TexelGrid& texture,
                const RowWalk& walk, const uint8_t* table)
{
    switch (n) {
    case 2: return BlurRow<2>(dst, own, older, width, texture, walk, table);
    case 3: return BlurRow<3>(dst, own, older, width, texture, walk, table);
    case 4: return BlurRow<4>(dst, own, older, width, texture, walk, table);
    case 5: return BlurRow<5>(dst, own, older, width, texture, walk, table);
    case 6: return BlurRow<6>(dst, own, older, width, texture, walk, table);
    case 7: return BlurRow<7>(dst, own, older, width, texture, walk, table);
    default: return BlurRow<8>(dst, own, older, width, texture, walk, table);
    }
}

}  // namespace

void WalkRowAvx2(uint8_t* out, const TexelGrid& texture, int32_t width, const RowWalk& walk)
{
    PlainRow(out, texture, width, walk);
}

void WalkRowAvx2(uint16_t* out, const TexelGrid& texture, int32_t width, const RowWalk& walk)
{
    PlainRow(out, texture, width, walk);
}

void BlurRowAvx2(uint8_t* dst, uint8_t* own, const uint8_t* const* older, int32_t n, int32_t width,
                 const TexelGrid& texture, const RowWalk& walk, const uint8_t* blendTable)
{
    BlurRowFor(n, dst, own, older, width, texture, walk, blendTable);
}

void BlurRowAvx2(uint16_t* dst, uint16_t* own, const uint16_t* const* older, int32_t n, int32_t width,
                 const TexelGrid& texture, const RowWalk& walk, const uint8_t* blendTable)
{
    BlurRowFor(n, dst, own, older, width, texture, walk, blendTable);
}
