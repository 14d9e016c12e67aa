#include "effect/band_pool.h"

#include <system_error>

int32_t DrawingThreads(int32_t requested)
{
    if (requested <= 0) {
        // 0 when the system cannot tell.
        const unsigned cores = std::thread::hardware_concurrency();
        requested = cores == 0 ? 1 : cores > unsigned(kMostDrawingThreads) ? kMostDrawingThreads : int32_t(cores);
    }
    return requested > kMostDrawingThreads ? kMostDrawingThreads : requested;
}

BandPool::BandPool(int32_t threads)
{
    // Room first: a thread started and then lost to a failed allocation would
    // end the program.
    workers_.reserve(threads > 1 ? static_cast<size_t>(threads - 1) : 0);
    for (int32_t band = 1; band < threads; ++band) {
        try {
            workers_.emplace_back(&BandPool::Work, this, band);
        } catch (const std::system_error&) {
            break;
        }
    }
}

BandPool::~BandPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& w : workers_) w.join();
}

void BandPool::Run(int32_t bands, BandFunction draw, void* context)
{
    if (bands > Threads()) bands = Threads();
    if (bands <= 1) {
        if (bands == 1) draw(context, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bands_ = bands;
        running_ = bands - 1;
        draw_ = draw;
        context_ = context;
        ++generation_;
    }
    wake_.notify_all();
    draw(context, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return running_ == 0; });
}

void BandPool::Work(int32_t band)
{
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        if (band >= bands_) continue;
        const BandFunction draw = draw_;
        void* const context = context_;
        lock.unlock();
        draw(context, band);
        lock.lock();
        if (--running_ == 0) finished_.notify_one();
    }
}

void StopBands(FrameBands& bands)
{
    bands.pool.reset();
    bands.poolAsked = 0;
    bands.textureRows.clear();
    bands.rowsTexels = nullptr;
}
