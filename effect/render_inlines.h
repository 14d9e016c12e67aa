#pragma once
// The small helpers that every form of the rows shares, for the row files of
// effect/ alone. Each is static inline, so every file that includes this one
// keeps a copy of its own, built with that file's options: an ordinary inline
// function is one function to the linker, which may keep the copy compiled
// for AVX2 and hand it to the portable rows on a processor without AVX2.

#include <cstddef>
#include <cstdint>

// Prefetch instructions come with SSE, which every x86-64 has; a 32-bit
// build has them in the AVX2 rows alone.
#if defined(_M_X64) || defined(__x86_64__) || defined(__SSE__)
#include <xmmintrin.h>
#define GYROFOLD_PREFETCH 1
#endif

// Averages two 5-5-5 pixels channel by channel. Shifting first drops each
// channel's lowest bit; the mask stops the bit that slides down from the
// channel above.
static inline uint16_t Fold16(uint16_t a, uint16_t b)
{
    return static_cast<uint16_t>(((a >> 1) & 0x7DEF) + ((b >> 1) & 0x7DEF));
}

// An 8-bit fold is the blend table's entry for the two palette indices.
static inline uint8_t Fold8(const uint8_t* blendTable, uint8_t a, uint8_t b) { return blendTable[a + 256 * b]; }

// Both folds under one name, for the code written once for both pixel sizes.
static inline uint8_t Fold(const uint8_t* blendTable, uint8_t a, uint8_t b) { return Fold8(blendTable, a, b); }
static inline uint16_t Fold(const uint8_t*, uint16_t a, uint16_t b) { return Fold16(a, b); }

// The remainder that is never negative: a coordinate far outside the usual
// limits still lands inside the tiling instead of before the texture.
static inline int64_t FloorMod(int64_t a, int64_t m)
{
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// One step of a coordinate in [0, period) with a step in (-period, period).
static inline int32_t StepOnce(int32_t coordinate, int32_t step, int32_t period)
{
    coordinate += step;
    return coordinate < 0 ? coordinate + period : coordinate >= period ? coordinate - period : coordinate;
}

// Asks for the line rowBytes below p, into the level-2 cache. The blurred
// rows go from the last row up, so the next row lies lower in memory; a row
// ahead of every buffer at once is more than the level-1 cache holds beside
// the rows in use. A prefetch never faults, so the row above the first one
// may be asked for too.
static inline void PrefetchRowAbove(const void* p, size_t rowBytes)
{
#ifdef GYROFOLD_PREFETCH
    _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) - rowBytes), _MM_HINT_T1);
#else
    (void)p;
    (void)rowBytes;
#endif
}
