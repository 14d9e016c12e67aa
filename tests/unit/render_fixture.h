#pragma once
// Builds scenes in memory for the renderer tests, without files: a memory
// surface, a texture whose texels name their own column and row, and the blur
// history as scene setup lays it out.

#include <cstdlib>
#include <memory>
#include <vector>

#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "imaging/surface_memory.h"

struct TestScene {
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    SaverSettings settings;

    ~TestScene()
    {
        // Tests may clear the ready flag; teardown only frees a ready scene.
        if (scene->currentSurface != nullptr) scene->sceneReady = 1;
        TeardownScene(*scene);
    }

    MemorySurface& Surface() { return *static_cast<MemorySurface*>(scene->currentSurface); }

    // texel(x, y) gives the texel value.
    template <typename Texel>
    void Build(int32_t hiColor, int32_t frameW, int32_t frameH, int32_t texW, int32_t texH, Texel texel)
    {
        scene->hiColorActive = hiColor;
        scene->currentSurface = CreateSurface(hiColor, 0, Rect32{0, 0, frameW, frameH});
        const size_t bytes = hiColor ? 2 : 1;
        scene->texture.width = texW;
        scene->texture.height = texH;
        scene->texture.pixels = std::malloc(static_cast<size_t>(texW) * texH * bytes);
        scene->texture.rowOffsets = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * texH));
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
