#include "effect/scene.h"

#include <cstdlib>
#include <cstring>

#include "imaging/status_text.h"

Scene TheScene;

const char kImageLoadErrorText[] = "    ERROR LOADING IMAGE    ";

namespace {

// The countdown goes through the whole window's context, centred in the
// client rectangle the window had when the build started.
struct CountdownTarget {
    WindowHandle window;
    Rect32 rect;
};

void ShowBlendProgress(void* context, const char* text)
{
    const auto* target = static_cast<const CountdownTarget*>(context);
    DrawStatusText(target->window, TextContext::WholeWindow, text, target->rect);
}

void ShowLoadError(WindowHandle target)
{
    DrawStatusText(target, TextContext::Client, kImageLoadErrorText, ClientRectOf(target));
}

void FreeTexture(Texture& t)
{
    std::free(t.pixels);
    std::free(t.rowOffsets);
    t = Texture{};
}

void FreeHistory(Scene& scene)
{
    FrameHistory& h = scene.history[scene.hiColorActive ? kHiColor : kPalettised];
    for (int32_t i = 0; i < scene.historyBuffers; ++i) std::free(h.slots[i]);
    for (void*& slot : h.slots) slot = nullptr;
    scene.historyBuffers = 0;
}

void DeleteSurface(Scene& scene)
{
    if (scene.currentSurface == nullptr) return;
    scene.currentSurface->Release();
    delete scene.currentSurface;
    scene.currentSurface = nullptr;
}

}  // namespace

void LoadScenePicture(const char* file, int32_t hiColor, int32_t numBuf, ScenePicture& out)
{
    out.file = file != nullptr ? file : "";
    out.hiColor = hiColor != 0 ? 1 : 0;
    out.error.clear();
    Texture& t = out.texture;
    int32_t loaded;
    if (out.hiColor) {
        uint16_t* pixels = nullptr;
        loaded = LoadTexture16(file, &t.width, &t.height, &pixels, &out.error);
        t.pixels = pixels;
    } else {
        uint8_t* pixels = nullptr;
        uint8_t* palette = nullptr;
        loaded = LoadTexture8(file, &t.width, &t.height, &palette, &pixels, &out.error);
        t.pixels = pixels;
        if (loaded == 0) std::memcpy(out.palette, palette, sizeof out.palette);
        std::free(palette);
    }
    if (loaded != 0) {
        if (out.error.empty()) out.error = "cannot be read";
        return;
    }
    // The mapper divides by both sizes; a texture without texels is no texture.
    if (t.width < 4 || t.height < 1) {
        std::free(t.pixels);
        t = Texture{};
        out.error = "picture narrower than 4 pixels";
        return;
    }
    if (!out.hiColor && BlurFrames(numBuf) > 1) {
        out.blendTable.resize(kBlendTableSize);
        BlendProgress quiet;
        BuildBlendTable(out.palette, out.blendTable.data(), quiet);
    }
}

void SetupScene(Scene& scene, SaverSettings& s, WindowHandle window, WindowHandle previewHost,
                ScenePicture* picture)
{
    scene.hiColorActive = s.UseHiColor != 0 ? 1 : 0;
    WindowHandle target = window;
    Rect32 frame = {0, 0, s.ScreenWidth, s.ScreenHeight};
    if (previewHost != 0) {
        target = previewHost;
        frame = ClientRectOf(previewHost);
        // Building the blend table would stall the preview pane for seconds.
        if (!scene.hiColorActive) s.NumBuf = 0;
    }
    s.NumBuf = BlurFrames(s.NumBuf);
    // A hand-edited size could be negative; an empty frame draws nothing.
    if (frame.right < frame.left) frame.right = frame.left;
    if (frame.bottom < frame.top) frame.bottom = frame.top;
    if (frame.right - frame.left > kLargestFrameSide) frame.right = frame.left + kLargestFrameSide;
    if (frame.bottom - frame.top > kLargestFrameSide) frame.bottom = frame.top + kLargestFrameSide;

    // A surface of an earlier failed setup is not kept alive.
    DeleteSurface(scene);
    scene.currentSurface = CreateSurface(scene.hiColorActive, target, frame);

    // The picture is read here unless one was made ready for this mode.
    ScenePicture readHere;
    if (picture == nullptr || picture->hiColor != scene.hiColorActive) {
        picture = &readHere;
        if (scene.currentSurface != nullptr) LoadScenePicture(s.IMGFilename, scene.hiColorActive, 0, readHere);
        else readHere.error = "no frame memory";
    }
    scene.imageError = picture->error;
    Texture t = picture->texture;
    if (scene.imageError.empty()) {
        t.rowOffsets = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(t.height)));
        if (t.rowOffsets == nullptr) scene.imageError = "out of memory";
    }
    if (!scene.imageError.empty()) {
        ShowLoadError(target);
        DeleteSurface(scene);
        return;
    }
    // The scene owns the texels from here on.
    picture->texture = Texture{};
    const uint8_t* palette = picture->palette;

    if (!scene.hiColorActive) {
        if (s.NumBuf > 1) {
            CountdownTarget countdown = {window, ClientRectOf(window)};
            scene.blendProgress.show = ShowBlendProgress;
            scene.blendProgress.context = &countdown;
            if (picture->blendTable.size() == kBlendTableSize)
                std::memcpy(scene.blendTable, picture->blendTable.data(), kBlendTableSize);
            else
                BuildBlendTable(palette, scene.blendTable, scene.blendProgress);
            scene.blendProgress.context = nullptr;
        }
        scene.currentSurface->SetPalette(palette);
    }
    for (int32_t y = 0; y < t.height; ++y) t.rowOffsets[y] = y * t.width;
    scene.texture = t;

    if (s.NumBuf > 1) {
        FrameHistory& h = scene.history[scene.hiColorActive ? kHiColor : kPalettised];
        const size_t pixelBytes = scene.hiColorActive ? 2 : 1;
        const size_t count = static_cast<size_t>(scene.currentSurface->Width()) *
                             static_cast<size_t>(scene.currentSurface->Height());
        for (int32_t i = 0; i < s.NumBuf; ++i) {
            // calloc of zero bytes may answer null; keep a real buffer regardless.
            void* buffer = std::calloc(count == 0 ? 1 : count, pixelBytes);
            if (buffer == nullptr) {
                FreeHistory(scene);
                FreeTexture(scene.texture);
                ShowLoadError(target);
                DeleteSurface(scene);
                return;
            }
            h.slots[i] = buffer;
            h.slots[s.NumBuf + i] = buffer;
            scene.historyBuffers = i + 1;
        }
        // A ring of another size left by an earlier run would index past it.
        if (h.current >= s.NumBuf || h.current < 0) h.current = 0;
    }
    scene.sceneReady = 1;
}

void TeardownScene(Scene& scene)
{
    if (!scene.sceneReady) return;
    StopBands(scene.bands);
    DeleteSurface(scene);
    FreeHistory(scene);
    FreeTexture(scene.texture);
    scene.sceneReady = 0;
}
