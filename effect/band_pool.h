#pragma once
// The threads that draw a frame's bands of rows beside the thread that asks
// for the frame. They start once per scene and sleep between frames: the
// full-screen saver is paced to the display and must not keep a core busy
// while it waits.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// More threads than this only add start-up and wake-up cost: a 4K frame cut
// into 16 bands leaves 135 rows a band.
constexpr int32_t kMostDrawingThreads = 16;

// The threads a request gives: 0 (or less) one per core, and never more than
// kMostDrawingThreads.
int32_t DrawingThreads(int32_t requested);

class BandPool {
public:
    using BandFunction = void (*)(void* context, int32_t band);

    // threads counts the caller: threads - 1 workers are started. When the
    // system refuses a thread, the pool keeps the ones it has.
    explicit BandPool(int32_t threads);
    ~BandPool();
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    int32_t Threads() const { return static_cast<int32_t>(workers_.size()) + 1; }

    // Calls draw(context, band) once for every band in [0, bands), at most
    // Threads() of them, band 0 on the calling thread, and returns when all
    // are done.
    void Run(int32_t bands, BandFunction draw, void* context);

private:
    void Work(int32_t band);

    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::vector<std::thread> workers_;
    // Each Run is a new generation, so a worker draws its band once per frame.
    uint64_t generation_ = 0;
    int32_t bands_ = 0;
    int32_t running_ = 0;
    BandFunction draw_ = nullptr;
    void* context_ = nullptr;
    bool stopping_ = false;
};

// What the renderer keeps with a scene from frame to frame.
struct FrameBands {
    // The threads asked for: 0 for one per core, which draws frames too small
    // to gain on one thread. A count given draws every frame in that many
    // bands (or one a row, when fewer rows).
    int32_t threads = 0;
    std::unique_ptr<BandPool> pool;
    // The threads the pool was started with, which it may not all have got.
    int32_t poolAsked = 0;
    // Each texture row's first texel, for the texture it was made from.
    std::vector<const void*> textureRows;
    const void* rowsTexels = nullptr;
    int32_t rowsWidth = 0;
    int32_t rowsPixelBytes = 0;
};

// Ends the threads and forgets the row pointers; the next frame starts anew.
void StopBands(FrameBands& bands);
