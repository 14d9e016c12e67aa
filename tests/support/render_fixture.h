#pragma once
// Builds scenes in memory for the renderer tests, without files: a memory
// surface, a texture whose texels name their own column and row, and the blur
// history as scene setup lays it out.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/surface_memory.h"

struct TestScene {
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    SaverSettings settings;

    // The texels end where an unreadable page begins, so a fetch past the last
    // texel or row faults, whatever instruction makes it.
    char* guarded = nullptr;
    size_t guardedBytes = 0;

    ~TestScene()
    {
        // Tests may clear the ready flag; teardown only frees a ready scene.
        if (scene->currentSurface != nullptr) scene->sceneReady = 1;
        scene->texture.pixels = nullptr;
        TeardownScene(*scene);
        if (guarded != nullptr) munmap(guarded, guardedBytes);
    }

    MemorySurface& Surface() { return *static_cast<MemorySurface*>(scene->currentSurface); }

    template <typename Texel>
    void Build(int32_t hiColor, int32_t frameW, int32_t frameH, int32_t texW, int32_t texH, Texel texel)
    {
        scene->hiColorActive = hiColor;
        scene->currentSurface = CreateSurface(hiColor, 0, Rect32{0, 0, frameW, frameH});
        const size_t bytes = hiColor ? 2 : 1;
        scene->texture.width = texW;
        scene->texture.height = texH;
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE)), texelBytes = size_t{1} * texW * texH * bytes;
        guardedBytes = (texelBytes + page - 1) / page * page + page;
        guarded = static_cast<char*>(
            mmap(nullptr, guardedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(guarded + guardedBytes - page, page, PROT_NONE);
        scene->texture.pixels = guarded + guardedBytes - page - texelBytes;
        // One more row offset, past the last row, leads into the unreadable page.
        scene->texture.rowOffsets = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * (texH + 1)));
        scene->texture.rowOffsets[texH] = texW * texH;
        for (int32_t y = 0; y < texH; ++y) {
            scene->texture.rowOffsets[y] = y * texW;
            for (int32_t x = 0; x < texW; ++x) {
                const size_t i = static_cast<size_t>(y) * texW + x;
                if (hiColor)
                    static_cast<uint16_t*>(scene->texture.pixels)[i] = static_cast<uint16_t>(texel(x, y));
                else
                    static_cast<uint8_t*>(scene->texture.pixels)[i] = static_cast<uint8_t>(texel(x, y));
            }
        }
        const int32_t n = BlurFrames(settings.NumBuf);
        if (n > 1) {
            FrameHistory& h = scene->history[hiColor ? kHiColor : kPalettised];
            for (int32_t i = 0; i < n; ++i) {
                void* b = std::calloc(static_cast<size_t>(frameW) * frameH + 1, bytes);
                h.slots[i] = h.slots[n + i] = b;
            }
            scene->historyBuffers = n;
        }
        scene->sceneReady = 1;
    }

    void Render() { RenderFrame(*scene, settings); }

    // Memory row and column of the surface, as the renderer left it.
    uint32_t Pixel(int32_t memoryRow, int32_t c)
    {
        const size_t i = static_cast<size_t>(memoryRow) * Surface().Stride() + c;
        if (scene->hiColorActive) return static_cast<const uint16_t*>(Surface().pixelMemory)[i];
        return static_cast<const uint8_t*>(Surface().pixelMemory)[i];
    }
};

// 16-bit texels that name their own position in a texture of up to 256 x 256.
inline uint32_t ColumnRowTexel(int32_t x, int32_t y) { return static_cast<uint32_t>((y << 8) | x); }
