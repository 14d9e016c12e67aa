#pragma once
// Motion blur: each pixel folded with the same pixel of the stored frames.

#include <cstdint>

constexpr int32_t kHistorySlots = 16;
// The slot list holds the ring twice over, so at most half of it is distinct.
constexpr int32_t kMaxBlurFrames = kHistorySlots / 2;

struct FrameHistory {
    // Entries i and N + i name the same buffer, so slots[current + j] walks the
    // ring in order without wrapping the index.
    void* slots[kHistorySlots] = {};
    // The buffer that receives this frame; survives scene setup and teardown.
    int32_t current = 0;
};

// The frames the blur folds, from the NumBuf setting: off (1 or less) or at
// most what the slot list can hold.
inline int32_t BlurFrames(int32_t numBuf) { return numBuf > kMaxBlurFrames ? kMaxBlurFrames : numBuf; }
