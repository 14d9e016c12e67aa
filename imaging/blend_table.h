#pragma once
// For 8-bit motion blur: for every pair of palette indices, the index of the
// palette colour nearest to their average.

#include <cstdint>

constexpr int32_t kBlendTableSize = 256 * 256;

// Shows "... Initializing: N ..." while the table is built.
struct BlendProgress {
    // Counts down over the process's whole life: 10 at start, never reset.
    int32_t initCountdown = 10;
    void (*show)(void* context, const char* text) = nullptr;
    void* context = nullptr;
};

// Fills table (kBlendTableSize bytes) from a 768-byte red, green, blue palette.
void BuildBlendTable(const uint8_t* palette768, uint8_t* table, BlendProgress& progress);
