#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/surface_memory.h"
#include "tests/support/bmp_writer.h"

namespace {

constexpr WindowHandle kSaverWindow = 0x1000;
constexpr WindowHandle kPreviewPane = 0x2000;

// An 8-bit texture whose texel (x, y) is x + y, in the test's temporary folder.
std::string WriteTexture(int32_t width, int32_t height)
{
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    bmpw::BmpImage image = bmpw::MakePalettedImage(width, height, palette);
    for (size_t i = 0; i < image.indices.size(); ++i) image.indices[i] = uint8_t(i % width + i / width);
    const std::string name = "scene_texture_" + std::to_string(width) + "_" + std::to_string(getpid()) + ".bmp";
    return bmpw::SaveFile(testing::TempDir() + name, bmpw::WriteBmp(image, bmpw::Form(bmpw::Info, 8)));
}

struct SceneRun {
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    SaverSettings settings;

    explicit SceneRun(const std::string& path, int32_t hiColor, int32_t numBuf)
    {
        std::snprintf(settings.IMGFilename, sizeof settings.IMGFilename, "%s", path.c_str());
        settings.UseHiColor = hiColor, settings.NumBuf = numBuf;
        NativeStatusTexts().clear();
        SetNativeClientRect(kSaverWindow, Rect32{0, 0, 1024, 768});
        SetNativeClientRect(kPreviewPane, Rect32{0, 0, 152, 112});
    }
    ~SceneRun() { TeardownScene(*scene); }

    MemorySurface* Surface() { return static_cast<MemorySurface*>(scene->currentSurface); }
    const FrameHistory& History() { return scene->history[scene->hiColorActive ? kHiColor : kPalettised]; }
};

}  // namespace

// What setup builds for each colour mode, blur depth, frame size and target:
// the surface (sides beyond the largest cut to it, the settings keeping what
// was asked for), NumBuf as changed in memory, the zero-filled history ring
// (slots n to 2n - 1 repeat 0 to n - 1), the blend table's countdown, and row
// offsets stepping by the texture width (a file 258 wide loads 256 wide).
TEST(SceneSetup, BuildsTheSurfaceHistoryAndBlendTableOfEachRun)
{
    const std::string path = WriteTexture(258, 200);
    const struct {
        const char* name;
        int32_t hiColor, numBuf;
        bool preview;
        int32_t askedWidth, askedHeight, width, height, numBufAfter;
        size_t countdown;
    } cases[] = {
        {"8-bit, NumBuf 3", 0, 3, false, 320, 240, 320, 240, 3, 11},
        {"16-bit, NumBuf 3", 1, 3, false, 320, 240, 320, 240, 3, 0},
        {"8-bit, NumBuf 1", 0, 1, false, 320, 240, 320, 240, 1, 0},
        {"8-bit preview: no blur", 0, 3, true, 320, 240, 152, 112, 0, 0},
        {"16-bit preview", 1, 3, true, 320, 240, 152, 112, 3, 0},
        {"hand-edited NumBuf limited to 8", 1, 100, false, 320, 240, 320, 240, 8, 0},
        {"width 16384", 1, 3, false, 16384, 48, 16384, 48, 3, 0},
        {"width 16385", 1, 3, false, 16385, 48, 16384, 48, 3, 0},
        {"height 2147483647", 1, 3, false, 320, 2147483647, 320, 16384, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SceneRun run(path, c.hiColor, c.numBuf);
        run.settings.ScreenWidth = c.askedWidth, run.settings.ScreenHeight = c.askedHeight;
        SetupScene(*run.scene, run.settings, kSaverWindow, c.preview ? kPreviewPane : 0);
        ASSERT_TRUE(run.scene->sceneReady);
        EXPECT_EQ(run.scene->hiColorActive, c.hiColor);
        ASSERT_EQ(run.scene->texture.width * 1000 + run.scene->texture.height, 256200);
        for (int32_t y = 0; y < 200; ++y) ASSERT_EQ(run.scene->texture.rowOffsets[y], y * 256);
        ASSERT_NE(run.Surface(), nullptr);
        EXPECT_EQ(std::tuple(run.Surface()->HiColor(), run.Surface()->Width(), run.Surface()->Height(), run.Surface()->window),
                  std::tuple(c.hiColor != 0, c.width, c.height, c.preview ? kPreviewPane : kSaverWindow));
        EXPECT_EQ(std::tuple(run.settings.NumBuf, run.settings.ScreenWidth), std::tuple(c.numBufAfter, c.askedWidth));
        const int32_t ring = c.numBufAfter > 1 ? c.numBufAfter : 0;
        const size_t bytes = static_cast<size_t>(c.width) * c.height * (c.hiColor ? 2 : 1);
        const FrameHistory& h = run.History();
        ASSERT_EQ(run.scene->historyBuffers, ring);
        for (int32_t i = 0; i < ring; ++i) {
            ASSERT_NE(h.slots[i], nullptr);
            EXPECT_EQ(h.slots[i], h.slots[ring + i]);
            for (int32_t j = 0; j < i; ++j) EXPECT_NE(h.slots[i], h.slots[j]);
            const auto* b = static_cast<const uint8_t*>(h.slots[i]);
            for (size_t k = 0; k < bytes; k += 97) ASSERT_EQ(b[k], 0);
            EXPECT_EQ(b[bytes - 1], 0);
        }
        for (int32_t i = 2 * ring; i < kHistorySlots; ++i) EXPECT_EQ(h.slots[i], nullptr);
        // Texel 7 of the top row is palette entry 7, (7, 248, 21): as it is in
        // the surface's colours, as 5-5-5 (0, 31, 2) in a 16-bit texture.
        if (c.hiColor) EXPECT_EQ(static_cast<const uint16_t*>(run.scene->texture.pixels)[7], 0x03E2);
        else EXPECT_EQ(std::vector<uint8_t>(run.Surface()->colours + 21, run.Surface()->colours + 24), (std::vector<uint8_t>{7, 248, 21}));
        ASSERT_EQ(NativeStatusTexts().size(), c.countdown);
        if (c.countdown != 0) {
            // Through the whole window's context, centred in its client rectangle.
            EXPECT_STREQ(NativeStatusTexts().back().text, "... Initializing: 0 ...");
            EXPECT_EQ(NativeStatusTexts().front().wholeWindow, 1);
            EXPECT_EQ(NativeStatusTexts().front().rect.right, 1024);
        }
        for (int i = 0; i < 20; ++i) RenderFrame(*run.scene, run.settings);
        EXPECT_EQ(run.History().current, ring != 0 ? 20 % ring : 0);
        // Teardown gives everything back, once; the blur ring position
        // survives into a later setup of the same process.
        TeardownScene(*run.scene);
        TeardownScene(*run.scene);
        EXPECT_TRUE(!run.scene->sceneReady && !run.scene->currentSurface && !run.scene->texture.pixels);
        EXPECT_EQ(run.scene->historyBuffers, 0);
        RenderFrame(*run.scene, run.settings);
        SetupScene(*run.scene, run.settings, kSaverWindow, c.preview ? kPreviewPane : 0);
        EXPECT_EQ(run.History().current, ring != 0 ? 20 % ring : 0);
    }
    std::remove(path.c_str());
}

TEST(SceneSetup, UnloadableImageShowsTheErrorAndKeepsNothing)
{
    // In preview the error goes to the pane.
    for (const auto& [hiColor, target, right] : {std::tuple{0, WindowHandle{0}, 1024}, {1, kPreviewPane, 152}}) {
        SceneRun run(testing::TempDir() + "no-such-file.bmp", hiColor, 3);
        SetupScene(*run.scene, run.settings, kSaverWindow, target);
        EXPECT_FALSE(run.scene->sceneReady);
        ASSERT_EQ(NativeStatusTexts().size(), 1u);
        const StatusTextRecord& t = NativeStatusTexts()[0];
        EXPECT_STREQ(t.text, "    ERROR LOADING IMAGE    ");
        EXPECT_EQ(std::tuple(t.wholeWindow, t.window, t.rect.right), std::tuple(0, target ? target : kSaverWindow, right));
        // Nothing is kept for a scene that will never draw.
        EXPECT_TRUE(run.scene->currentSurface == nullptr && run.scene->texture.pixels == nullptr);
    }
}
