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

template <typename Pixel>
void WalkRow(Pixel* out, const TexelGrid& texture, int32_t width, const RowWalk& w)
{
    LaneWalk u(w.u, w.stepU, w.periodU), v(w.v, w.stepV, w.periodV);
    const __m256i texWidth = _mm256_set1_epi32(texture.width);
    // The last index whose 32-bit read stays inside the texture.
    const __m256i lastFullRead = _mm256_set1_epi32(texture.count - static_cast<int32_t>(4 / sizeof(Pixel)));
    int32_t c = 0;
    for (; c + kLanes <= width; c += kLanes) {
        Store(out + c, GatherTexels<sizeof(Pixel)>(texture.texels, TexelIndex(u, v, texWidth), lastFullRead));
        u.Advance();
        v.Advance();
    }
    if (c == width) return;
    // The rest, one pixel at a time from lane 0, which holds pixel c.
    int32_t su = _mm256_cvtsi256_si32(u.coord), sv = _mm256_cvtsi256_si32(v.coord);
    const auto* texels = static_cast<const Pixel*>(texture.texels);
    for (; c < width; ++c) {
        out[c] = texels[(sv >> 16) * texture.width + (su >> 16)];
        su += w.stepU;
        su += su < 0 ? w.periodU : su >= w.periodU ? -w.periodU : 0;
        sv += w.stepV;
        sv += sv < 0 ? w.periodV : sv >= w.periodV ? -w.periodV : 0;
    }
}

uint8_t FoldScalar(const uint8_t* table, uint8_t a, uint8_t b) { return table[a + 256 * b]; }
uint16_t FoldScalar(const uint8_t*, uint16_t a, uint16_t b)
{
    return static_cast<uint16_t>(((a >> 1) & 0x7DEF) + ((b >> 1) & 0x7DEF));
}

template <typename Pixel>
void FoldTail(Pixel* dst, Pixel* own, const Pixel* const* older, int32_t n, int32_t c, int32_t width,
              const uint8_t* table)
{
    for (; c < width; ++c) {
        Pixel acc = own[c];
        for (int32_t j = 1; j < n; ++j) acc = FoldScalar(table, acc, older[j][c]);
        own[c] = dst[c] = acc;
    }
}

// 8-bit folds: eight table entries gathered per fold. N is a constant of each
// instance, so the loop over the stored frames unrolls.
template <int32_t N>
void FoldRow(uint8_t* dst, uint8_t* own, const uint8_t* const* older, int32_t width, const uint8_t* table)
{
    int32_t c = 0;
    for (; c + kLanes <= width; c += kLanes) {
        __m256i acc = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(own + c)));
        for (int32_t j = 1; j < N; ++j) {
            const __m256i b = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(older[j] + c)));
            acc = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), _mm256_add_epi32(acc, _mm256_slli_epi32(b, 8)), 1);
            acc = _mm256_and_si256(acc, _mm256_set1_epi32(0xFF));
        }
        const __m128i bytes = PackBytes(acc);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(own + c), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + c), bytes);
    }
    FoldTail(dst, own, older, N, c, width, table);
}

// 5-5-5 folds: sixteen pixels in plain vector arithmetic.
template <int32_t N>
void FoldRow(uint16_t* dst, uint16_t* own, const uint16_t* const* older, int32_t width, const uint8_t* table)
{
    const __m256i mask = _mm256_set1_epi16(0x7DEF);
    int32_t c = 0;
    for (; c + 16 <= width; c += 16) {
        __m256i acc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(own + c));
        for (int32_t j = 1; j < N; ++j) {
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(older[j] + c));
            acc = _mm256_add_epi16(_mm256_and_si256(_mm256_srli_epi16(acc, 1), mask),
                                   _mm256_and_si256(_mm256_srli_epi16(b, 1), mask));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(own + c), acc);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + c), acc);
    }
    FoldTail(dst, own, older, N, c, width, table);
}

template <typename Pixel>
void FoldRowFor(int32_t n, Pixel* dst, Pixel* own, const Pixel* const* older, int32_t width, const uint8_t* table)
{
    switch (n) {
    case 2: return FoldRow<2>(dst, own, older, width, table);
    case 3: return FoldRow<3>(dst, own, older, width, table);
    case 4: return FoldRow<4>(dst, own, older, width, table);
    case 5: return FoldRow<5>(dst, own, older, width, table);
    case 6: return FoldRow<6>(dst, own, older, width, table);
    case 7: return FoldRow<7>(dst, own, older, width, table);
    default: return FoldRow<8>(dst, own, older, width, table);
    }
}

}  // namespace

void WalkRowAvx2(uint8_t* out, const TexelGrid& texture, int32_t width, const RowWalk& walk)
{
    WalkRow(out, texture, width, walk);
}

void WalkRowAvx2(uint16_t* out, const TexelGrid& texture, int32_t width, const RowWalk& walk)
{
    WalkRow(out, texture, width, walk);
}

void FoldRowAvx2(uint8_t* dst, uint8_t* own, const uint8_t* const* older, int32_t n, int32_t width,
                 const uint8_t* blendTable)
{
    FoldRowFor(n, dst, own, older, width, blendTable);
}

void FoldRowAvx2(uint16_t* dst, uint16_t* own, const uint16_t* const* older, int32_t n, int32_t width,
                 const uint8_t* blendTable)
{
    FoldRowFor(n, dst, own, older, width, blendTable);
}
