#pragma once
// Everything the frame renderer needs, built from the settings at the start of
// a run and given back at its end.

#include <cstdlib>
#include <string>
#include <vector>

#include "effect/band_pool.h"
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
    // The threads that draw the bands; they start with the first frame and
    // stop at teardown.
    FrameBands bands;
    // Why the last setup could not use the picture; empty when it could.
    std::string imageError;
};

// A picture made ready before its scene is built, on any thread: the texture
// in one colour mode with its palette and, for an 8-bit blurred run, its blend
// table, so that building the scene with it decodes nothing.
struct ScenePicture {
    ScenePicture() = default;
    ScenePicture(const ScenePicture&) = delete;
    ScenePicture& operator=(const ScenePicture&) = delete;
    ~ScenePicture() { std::free(texture.pixels); }

    std::string file;
    int32_t hiColor = 0;  // the colour mode it was made for
    Texture texture;      // pixels owned here until a scene takes them; no row offsets
    uint8_t palette[768] = {};
    std::vector<uint8_t> blendTable;  // kBlendTableSize bytes, or empty
    std::string error;  // why the file cannot be used; empty when it can
};

// Reads file for a run in the given colour mode; with numBuf frames of blur
// in 8-bit mode the blend table is built as well. Touches no window.
void LoadScenePicture(const char* file, int32_t hiColor, int32_t numBuf, ScenePicture& out);

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
// With a picture made for the run's colour mode, setup takes its texture
// and blend table instead of reading IMGFilename.
void SetupScene(Scene& scene, SaverSettings& settings, WindowHandle window, WindowHandle previewHost,
                ScenePicture* picture = nullptr);

// Gives back what setup built; does nothing when the scene is not ready.
void TeardownScene(Scene& scene);
