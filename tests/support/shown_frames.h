#pragma once
// The frames the portable core draws for a run of the saver, as the screen
// must show them: 0x00RRGGBB a pixel, rows top-down, palette colours exactly,
// 5-bit channels widened to 8 by repeating their top bits. Rendered over the
// heap surface, so none of the platform code whose output they check.

#include <cstdint>
#include <memory>
#include <vector>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/surface_memory.h"

// Hands frames 1 to count to each(k, pixels); false when the scene was not set up.
template <typename Each>
bool DrawShownFrames(SaverSettings s, int count, Each each)
{
    auto scene = std::make_unique<Scene>();
    SetupScene(*scene, s, 0, 0);
    if (!scene->sceneReady) return false;
    const auto& surface = *static_cast<const MemorySurface*>(scene->currentSurface);
    const auto widen = [](uint32_t c) { return ((c & 31) << 3) | ((c & 31) >> 2); };
    std::vector<uint32_t> shown(static_cast<size_t>(surface.Width()) * surface.Height());
    for (int k = 1; k <= count; ++k) {
        RenderFrame(*scene, s);
        for (size_t i = 0; i < shown.size(); ++i) {
            const uint8_t* p = surface.PictureRow(int32_t(i / surface.Width())) + (surface.HiColor() ? 2 : 1) * (i % surface.Width());
            const uint32_t v = surface.HiColor() ? p[0] | p[1] << 8 : 0;
            const uint8_t* c = surface.colours + 3 * p[0];
            shown[i] = surface.HiColor() ? widen(v >> 10) << 16 | widen(v >> 5) << 8 | widen(v) : c[0] << 16 | c[1] << 8 | c[2];
        }
        each(k, shown);
    }
    TeardownScene(*scene);
    return true;
}
