#pragma once
// Everything the frame renderer needs, built from the settings at the start of
// a run and given back at its end.

#include <string>

#include "effect/motion.h"
#include "effect/motion_blur.h"
#include "imaging/blend_table.h"
#include "imaging/surface.h"
#include "imaging/texture.h"
#include "settings/saver_settings.h"

enum ColourMode : int32_t { kPalettised = 0, kHiColor = 1 };

struct Scene {
    int32_t sceneReady = 0;
    int32_t hiColorActive = 0;
    Surface* currentSurface = nullptr;
    Texture texture;
    // The history buffers allocated by setup, freed by teardown.
    int32_t historyBuffers = 0;
    uint8_t blendTable[kBlendTableSize] = {};
    BlendProgress blendProgress;
    // One camera and one blur ring per colour mode. Setup and teardown leave
    // both alone: they live for the whole process.
    MotionState motion[2];
    FrameHistory history[2];
    // Why the last setup could not use the picture; empty when it could.
    std::string imageError;
};

// The saver program's one scene.
extern Scene TheScene;

extern const char kImageLoadErrorText[];

// The widest and tallest frame setup makes. The frame is shown centred and
// cropped to its window, so no screen shows more of a larger one; the size
// fields take any number, and a width in the millions would cost gigabytes of
// frame memory and seconds per frame.
constexpr int32_t kLargestFrameSide = 16384;

// Builds the scene for window; previewHost is the host pane in preview mode,
// 0 in full screen. In an 8-bit preview, or when NumBuf exceeds what the
// history holds, NumBuf is changed in memory. Frame sides are kept between 0
// and kLargestFrameSide. A texture that cannot be loaded, or memory that
// cannot be had, shows the image load error and leaves the scene not ready.
void SetupScene(Scene& scene, SaverSettings& settings, WindowHandle window, WindowHandle previewHost);

// Gives back what setup built; does nothing when the scene is not ready.
void TeardownScene(Scene& scene);
