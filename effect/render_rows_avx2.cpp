// The AVX2 rows: the coordinates of eight pixels at once. The only file
// compiled for AVX2; it is called only after the processor check, and shares
// only the static helpers of render_inlines.h (see there).

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "effect/render_inlines.h"
#include "effect/render_rows.h"

namespace {

constexpr int32_t kLanes = 8;

// Lane k starts at (start + k x step) mod period, the coordinate of pixel k.
// Eight steps at once, folded into [0, period), wrap with one compare and one
// subtraction: both summands are below the period.
struct LaneWalk {
    __m256i coord, stride, period, lastInRange;

    LaneWalk(int32_t start, int32_t step, int32_t period32)
    {
        // Unaligned: the Windows x64 compiler cannot align a stack array to 32.
        int32_t lanes[kLanes];
        for (int32_t k = 0; k < kLanes; ++k) lanes[k] = k == 0 ? start : StepOnce(lanes[k - 1], step, period32);
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

// Texel indices, row x width + column as in rowOffsets, of the eight pixels
// the walks stand at. Plain loads fetch the texels, which this processor kind
// does faster than a gather of eight. A 64-bit build takes the indices from
// the vector unit two at a time: it moves one value a cycle to the general
// registers, and a compiler left to itself moves each index on its own.
struct EightIndices {
#if defined(_M_X64) || defined(__x86_64__)
    uint64_t pairs[4];

    EightIndices(const LaneWalk& u, const LaneWalk& v, __m256i texWidth)
    {
        const __m256i indices = Indices(u, v, texWidth);
        const __m128i low = _mm256_castsi256_si128(indices), high = _mm256_extracti128_si256(indices, 1);
        pairs[0] = static_cast<uint64_t>(_mm_cvtsi128_si64(low));
        pairs[1] = static_cast<uint64_t>(_mm_extract_epi64(low, 1));
        pairs[2] = static_cast<uint64_t>(_mm_cvtsi128_si64(high));
        pairs[3] = static_cast<uint64_t>(_mm_extract_epi64(high, 1));
    }

    uint32_t operator[](int32_t k) const { return static_cast<uint32_t>(pairs[k / 2] >> (k % 2 * 32)); }
#else
    uint32_t single[kLanes];

    EightIndices(const LaneWalk& u, const LaneWalk& v, __m256i texWidth)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(single), Indices(u, v, texWidth));
    }

    uint32_t operator[](int32_t k) const { return single[k]; }
#endif

    static __m256i Indices(const LaneWalk& u, const LaneWalk& v, __m256i texWidth)
    {
        return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(v.coord, 16), texWidth),
                                _mm256_srli_epi32(u.coord, 16));
    }
};

// The texels of the eight pixels the walks stand at, to out.
template <typename Pixel>
inline void WalkEight(Pixel* out, const Pixel* texels, const LaneWalk& u, const LaneWalk& v, __m256i texWidth)
{
    const EightIndices index(u, v, texWidth);
    for (int32_t k = 0; k < kLanes; ++k) out[k] = texels[index[k]];
}

// Writes width texels of the walk to out.
template <typename Pixel>
void WalkRow(Pixel* out, const TexelGrid& texture, int32_t width, const RowWalk& w)
{
    LaneWalk u(w.u, w.stepU, w.periodU), v(w.v, w.stepV, w.periodV);
    const __m256i texWidth = _mm256_set1_epi32(texture.width);
    const auto* texels = static_cast<const Pixel*>(texture.texels);
    int32_t c = 0;
    for (; c + kLanes <= width; c += kLanes) {
        WalkEight(out + c, texels, u, v, texWidth);
        u.Advance();
        v.Advance();
    }
    // The rest one pixel at a time, from lane 0, which holds pixel c.
    int32_t su = _mm256_cvtsi256_si32(u.coord), sv = _mm256_cvtsi256_si32(v.coord);
    for (; c < width; ++c) {
        out[c] = texels[(sv >> 16) * texture.width + (su >> 16)];
        su = StepOnce(su, w.stepU, w.periodU);
        sv = StepOnce(sv, w.stepV, w.periodV);
    }
}

// The pixels after the last whole block, one at a time from where the lanes
// stopped.
template <int32_t N, typename Pixel>
void BlurTail(Pixel* dst, Pixel* own, const Pixel* const* older, int32_t c, int32_t width, const Pixel* texels,
              int32_t textureWidth, const LaneWalk& u, const LaneWalk& v, const RowWalk& w, const uint8_t* table)
{
    int32_t su = _mm256_cvtsi256_si32(u.coord), sv = _mm256_cvtsi256_si32(v.coord);
    for (; c < width; ++c) {
        Pixel acc = texels[(sv >> 16) * textureWidth + (su >> 16)];
        for (int32_t j = 1; j < N; ++j) acc = Fold(table, acc, older[j][c]);
        own[c] = dst[c] = acc;
        su = StepOnce(su, w.stepU, w.periodU);
        sv = StepOnce(sv, w.stepV, w.periodV);
    }
}

// Walk and folds per block of pixels: the new texels are folded while in
// registers instead of going through this frame's buffer first.
template <int32_t N>
void BlurRow(uint8_t* dst, uint8_t* own, const uint8_t* const* older, int32_t width, int32_t stride,
             const TexelGrid& texture, const RowWalk& w, const uint8_t* table)
{
    LaneWalk u(w.u, w.stepU, w.periodU), v(w.v, w.stepV, w.periodV);
    const __m256i texWidth = _mm256_set1_epi32(texture.width);
    const auto* texels = static_cast<const uint8_t*>(texture.texels);
    int32_t c = 0;
    for (; c + kLanes <= width; c += kLanes) {
        if (c % 64 == 0) {
            for (int32_t j = 0; j < N; ++j) PrefetchRowAbove(older[j] + c, width);
            PrefetchRowAbove(dst + c, stride);
        }
        const EightIndices index(u, v, texWidth);
        u.Advance();
        v.Advance();
        // The table lookups one lane at a time: on the machines measured, plain
        // loads beat table gathers by half again (README, Benchmarks). The
        // eight results leave as one 8-byte store per buffer, and the eight
        // pixels of each older buffer come in one 8-byte load: a store or a
        // load per byte kept the memory unit busier than the lookups.
        uint64_t olderBlock[N];
        for (int32_t j = 1; j < N; ++j) std::memcpy(&olderBlock[j], older[j] + c, sizeof olderBlock[j]);
        uint64_t block = 0;
        for (int32_t k = 0; k < kLanes; ++k) {
            // Fold8's lookup, with the pixel held in 32 bits: as a byte it
            // was widened again for every lookup.
            uint32_t acc = texels[index[k]];
            for (int32_t j = 1; j < N; ++j) acc = table[acc + 256 * static_cast<uint32_t>((olderBlock[j] >> (8 * k)) & 0xFF)];
            block |= uint64_t{acc} << (8 * k);
        }
        std::memcpy(own + c, &block, sizeof block);
        std::memcpy(dst + c, &block, sizeof block);
    }
    BlurTail<N>(dst, own, older, c, width, texels, texture.width, u, v, w, table);
}

// Walks a block of sixteen texels into own, then folds the block kLag pixels
// behind it: read back at once, sixteen 2-byte stores could not be forwarded
// to one vector load, which would wait for them to reach the cache. Building
// the sixteen texels in a vector register instead cost more than the folds
// (README, Benchmarks).
template <int32_t N>
void BlurRow(uint16_t* dst, uint16_t* own, const uint16_t* const* older, int32_t width, int32_t stride,
             const TexelGrid& texture, const RowWalk& w, const uint8_t* table)
{
    constexpr int32_t kBlock = 16, kLag = 64;
    LaneWalk u(w.u, w.stepU, w.periodU), v(w.v, w.stepV, w.periodV);
    const __m256i texWidth = _mm256_set1_epi32(texture.width);
    const __m256i mask = _mm256_set1_epi16(0x7DEF);
    const auto* texels = static_cast<const uint16_t*>(texture.texels);
    const auto fold = [&](int32_t f) {
        if (f % 32 == 0) {
            for (int32_t j = 0; j < N; ++j) PrefetchRowAbove(older[j] + f, 2 * width);
            PrefetchRowAbove(dst + f, 2 * stride);
        }
        __m256i acc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(own + f));
        for (int32_t j = 1; j < N; ++j) {
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(older[j] + f));
            acc = _mm256_add_epi16(_mm256_and_si256(_mm256_srli_epi16(acc, 1), mask),
                                   _mm256_and_si256(_mm256_srli_epi16(b, 1), mask));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(own + f), acc);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + f), acc);
    };
    int32_t c = 0;
    for (; c + kBlock <= width; c += kBlock) {
        for (int32_t half = 0; half < kBlock; half += kLanes) {
            WalkEight(own + c + half, texels, u, v, texWidth);
            u.Advance();
            v.Advance();
        }
        if (c >= kLag) fold(c - kLag);
    }
    for (int32_t f = c > kLag ? c - kLag : 0; f < c; f += kBlock) fold(f);
    BlurTail<N>(dst, own, older, c, width, texels, texture.width, u, v, w, table);
}

template <typename Pixel>
void BlurRowFor(int32_t n, Pixel* dst, Pixel* own, const Pixel* const* older, int32_t width, int32_t stride,
                const TexelGrid& texture, const RowWalk& walk, const uint8_t* table)
{
    switch (n) {
    case 2: return BlurRow<2>(dst, own, older, width, stride, texture, walk, table);
    case 3: return BlurRow<3>(dst, own, older, width, stride, texture, walk, table);
    case 4: return BlurRow<4>(dst, own, older, width, stride, texture, walk, table);
    case 5: return BlurRow<5>(dst, own, older, width, stride, texture, walk, table);
    case 6: return BlurRow<6>(dst, own, older, width, stride, texture, walk, table);
    case 7: return BlurRow<7>(dst, own, older, width, stride, texture, walk, table);
    default: return BlurRow<8>(dst, own, older, width, stride, texture, walk, table);
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

void BlurRowAvx2(uint8_t* dst, uint8_t* own, const uint8_t* const* older, int32_t n, int32_t width, int32_t stride,
                 const TexelGrid& texture, const RowWalk& walk, const uint8_t* blendTable)
{
    BlurRowFor(n, dst, own, older, width, stride, texture, walk, blendTable);
}

void BlurRowAvx2(uint16_t* dst, uint16_t* own, const uint16_t* const* older, int32_t n, int32_t width, int32_t stride,
                 const TexelGrid& texture, const RowWalk& walk, const uint8_t* blendTable)
{
    BlurRowFor(n, dst, own, older, width, stride, texture, walk, blendTable);
}
