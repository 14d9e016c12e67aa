#pragma once
// Draws one frame: advances the camera, walks the tiled texture for every
// pixel, folds in the motion blur, and presents the surface.

#include "effect/scene.h"
#include "settings/saver_settings.h"

// Textures up to this many texels on a side keep every 16.16 coordinate and
// its step within 32 bits. The loaders refuse larger pictures.
constexpr int32_t kMaxTextureSide = 16384;

// Does nothing while the scene is not ready.
void RenderFrame(Scene& scene, const SaverSettings& settings);

// The saver's frame: the process-wide scene and settings.
void RenderFrame();

// The forms of the row code. All draw the same picture, bit for bit.
enum class RowPath : int32_t {
    kSimple,  // one wrap compare per pixel
    kRuns,    // runs between wraps without a compare; any processor
    kAvx2,    // eight pixels at once; processors with AVX2
};

// The fastest form this processor and system run, found once at start-up.
RowPath FastestRowPath();

// Draws with path from now on (the fastest one when this processor cannot run
// it), and returns the form in use. For tests and benchmarks.
RowPath UseRowPath(RowPath path);
