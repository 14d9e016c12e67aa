// The frame on the screen, pixel for pixel, against the frame the portable
// renderer computes for the same settings. The real gyrofold.scr runs under
// wine with a camera that never moves, so every frame it draws is the same
// picture (or, with the blur, settles to one); this program renders that
// picture itself with the portable core over the heap surface and the
// portable BMP decoder, turns it into the colours the screen must show, and
// compares every pixel of the centred frame and of the preview pane.
//
// Usage: frame_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [gtest options]

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effect/motion.h"
#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "imaging/surface_memory.h"
#include "settings/saver_settings.h"
#include "tests/e2e/e2e_support.h"
#include "tests/support/bmp_writer.h"

namespace {

std::string SaverPath;
std::string ArtifactsFolder;

std::string Artifact(const std::string& name) { return ArtifactsFolder + "\\" + name; }

// ---- The texture ------------------------------------------------------------

// Not square, so a renderer that mixed up the two sides would sample the
// wrong rows; 256 wide, so the frame-to-texture ratio is 0.8, not 1.
constexpr int32_t kTextureWidth = 256;
constexpr int32_t kTextureHeight = 200;
constexpr uint8_t kMarkerIndex = 255;
constexpr uint8_t kCornerIndex = 254;

// A 5 x 7 "F" at six texels a dot near the top-left corner of the picture:
// it has no mirror or turn symmetry, so a flipped or turned frame shows.
bool InMarker(int32_t x, int32_t y) {
    static const char* const glyph[7] = {"#####", "#....", "#....", "####.", "#....", "#....", "#...."};
    const int32_t left = 40, top = 30, dot = 6;
    if (x < left || y < top) return false;
    const int32_t gx = (x - left) / dot, gy = (y - top) / dot;
    return gx < 5 && gy < 7 && glyph[gy][gx] == '#';
}

// Cells of 32 x 25 texels, each its own colour, with a one-texel checker
// inside every cell, so a step that is off by one texel moves edges on the
// screen; a white F, and a red block in the top-right corner of the picture.
// Every colour is bright (each channel at least 64), so that a black pixel on
// the screen always means "not drawn", and the low bits of the channels vary,
// so the 16-bit path's expansion of 5-bit channels shows.
std::vector<bmpw::BmpColor> TexturePalette() {
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 252; ++i) {
        const int cell = i / 4, shade = i % 4;
        palette[i].red = static_cast<uint8_t>(64 + (cell % 8) * 23 + shade * 5);
        palette[i].green = static_cast<uint8_t>(64 + (cell / 8) * 21 + shade * 3);
        palette[i].blue = static_cast<uint8_t>(250 - (cell % 8) * 11 - (cell / 8) * 9 - shade * 7);
    }
    palette[252] = {90, 200, 90};
    palette[253] = {200, 90, 200};
    palette[kCornerIndex] = {250, 40 + 24, 64};
    palette[kMarkerIndex] = {255, 255, 255};
    return palette;
}

uint8_t TextureIndex(int32_t x, int32_t y) {
    if (InMarker(x, y)) return kMarkerIndex;
    if (x >= kTextureWidth - 24 && y < 20) return kCornerIndex;
    const int32_t cell = (x / 32) + 8 * (y / 25);
    return static_cast<uint8_t>(cell * 4 + ((x ^ y) & 1) + 2 * ((x / 2 + y / 3) & 1));
}

std::string WriteTexture() {
    bmpw::BmpImage image = bmpw::MakePalettedImage(kTextureWidth, kTextureHeight, TexturePalette());
    for (int32_t y = 0; y < kTextureHeight; ++y)
        for (int32_t x = 0; x < kTextureWidth; ++x)
            image.indices[static_cast<size_t>(y) * kTextureWidth + x] = TextureIndex(x, y);
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    const std::string path = Artifact("frame-e2e-texture.bmp");
    e2e::WriteFileBytes(path, bytes);
    return path;
}

// ---- The camera -------------------------------------------------------------

// Rot1 0 keeps the turn angle at 0 whatever the rotation phase does, and
// Zoom2 0 keeps the zoom phase at 0, so the zoom is -Zoom1 - 0.2 in every
// frame: -0.75 here. The negative zoom shows the texture turned by a half
// turn, 0.6 texels across and about 0.86 texels down a pixel (YScale 0.7), so
// the frame is neither a copy of the texture nor a plain mirror of it.
constexpr double kFrozenZoom1 = 0.55;
constexpr double kFrozenYScale = 0.7;

e2e::SettingsValues FrozenSettings(const std::string& image, int32_t useHiColor, int32_t numBuf, int32_t width,
                                   int32_t height) {
    e2e::SettingsValues settings;
    settings.imageFile = image;
    settings.screenWidth = width;
    settings.screenHeight = height;
    settings.stretch = -1;  // the display mode stays as it is
    settings.numBuf = numBuf;
    settings.useHiColor = useHiColor;
    settings.rot1 = 0.0;
    settings.rot2 = 1.0;
    settings.zoom1 = kFrozenZoom1;
    settings.zoom2 = 0.0;
    settings.xScale = 1.0;
    settings.yScale = kFrozenYScale;
    return settings;
}

SaverSettings ToSaverSettings(const e2e::SettingsValues& v) {
    SaverSettings s;
    std::snprintf(s.IMGFilename, sizeof s.IMGFilename, "%s", v.imageFile.c_str());
    s.ScreenWidth = v.screenWidth;
    s.ScreenHeight = v.screenHeight;
    s.Stretch = v.stretch;
    s.NumBuf = v.numBuf;
    s.UseHiColor = v.useHiColor;
    s.Warpy = v.warpy;
    s.XScale = v.xScale;
    s.YScale = v.yScale;
    s.Rot1 = v.rot1;
    s.Rot2 = v.rot2;
    s.Zoom1 = v.zoom1;
    s.Zoom2 = v.zoom2;
    return s;
}

// ---- Expected frames --------------------------------------------------------

// How the screen shows a 5-bit channel of a 16-bit frame in 8 bits. Wine
// copies the top bits of the channel into the low three (bit replication), so
// full intensity 31 becomes 255 and not 248.
uint32_t ExpandReplicate(uint32_t five) { return (five << 3) | (five >> 2); }
uint32_t ExpandShift(uint32_t five) { return five << 3; }
using Expansion = uint32_t (*)(uint32_t);

uint32_t Rgb555(uint16_t pixel, Expansion expand) {
    return (expand((pixel >> 10) & 31) << 16) | (expand((pixel >> 5) & 31) << 8) | expand(pixel & 31);
}

// One frame as the renderer left it: picture rows top-down, palette indices
// or 5-5-5 words, and the palette the 8-bit frame is shown in.
struct RenderedFrame {
    bool hiColor = false;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> pixels;
    uint8_t palette[768] = {};

    bool operator==(const RenderedFrame& o) const { return pixels == o.pixels; }
    bool operator!=(const RenderedFrame& o) const { return !(*this == o); }

    e2e::Pixels ToScreen(Expansion expand = ExpandReplicate) const {
        e2e::Pixels out;
        out.width = width;
        out.height = height;
        out.rgb.resize(pixels.size());
        for (size_t at = 0; at < pixels.size(); ++at) {
            const uint16_t p = pixels[at];
            out.rgb[at] = hiColor ? Rgb555(p, expand)
                                  : (uint32_t{palette[3 * p]} << 16) | (uint32_t{palette[3 * p + 1]} << 8) |
                                        palette[3 * p + 2];
        }
        return out;
    }

    RenderedFrame Mirrored() const {
        RenderedFrame m = *this;
        for (int32_t r = 0; r < height; ++r)
            std::memcpy(&m.pixels[static_cast<size_t>(r) * width],
                        &pixels[static_cast<size_t>(height - 1 - r) * width], sizeof(uint16_t) * width);
        return m;
    }
};

// The first `count` frames of a run with these settings, rendered by the
// portable core the way the saver renders them: scene setup over the heap
// surface, then one RenderFrame per frame.
std::vector<RenderedFrame> RenderReference(const e2e::SettingsValues& values, int32_t count) {
    std::vector<RenderedFrame> frames;
    SaverSettings settings = ToSaverSettings(values);
    auto scene = std::make_unique<Scene>();
    SetupScene(*scene, settings, 1, 0);
    if (!scene->sceneReady) return frames;
    const auto& surface = *static_cast<const MemorySurface*>(scene->currentSurface);
    for (int32_t k = 0; k < count; ++k) {
        RenderFrame(*scene, settings);
        RenderedFrame f;
        f.hiColor = surface.HiColor();
        f.width = surface.Width();
        f.height = surface.Height();
        std::memcpy(f.palette, surface.colours, sizeof f.palette);
        f.pixels.resize(static_cast<size_t>(f.width) * f.height);
        for (int32_t r = 0; r < f.height; ++r) {
            const uint8_t* row = surface.PictureRow(r);
            for (int32_t c = 0; c < f.width; ++c)
                f.pixels[static_cast<size_t>(r) * f.width + c] =
                    f.hiColor ? static_cast<uint16_t>(row[2 * c] | (row[2 * c + 1] << 8)) : row[c];
        }
        frames.push_back(std::move(f));
    }
    TeardownScene(*scene);
    return frames;
}

// The frame from which on every frame is the same: for a run without blur
// the first; with it, the first of `run` equal frames in a row. -1 when the
// frames never settle within those given.
int32_t SettledFrom(const std::vector<RenderedFrame>& frames, int32_t run) {
    for (size_t k = 0; k + run <= frames.size(); ++k) {
        bool same = true;
        for (int32_t j = 1; j < run && same; ++j) same = frames[k + j] == frames[k];
        if (same) return static_cast<int32_t>(k);
    }
    return -1;
}

// ---- Comparing ----------------------------------------------------------------

std::string DescribeDifferences(const e2e::Pixels& seen, const e2e::Pixels& expected) {
    std::ostringstream text;
    if (seen.width != expected.width || seen.height != expected.height) {
        text << "size " << seen.width << " x " << seen.height << ", expected " << expected.width << " x "
             << expected.height;
        return text.str();
    }
    text << seen.CountDifferences(expected) << " of " << seen.rgb.size() << " pixels differ";
    int shown = 0;
    for (int32_t y = 0; y < seen.height && shown < 5; ++y)
        for (int32_t x = 0; x < seen.width && shown < 5; ++x)
            if (seen.At(x, y) != expected.At(x, y)) {
                char line[96];
                std::snprintf(line, sizeof line, "; at (%d, %d) screen %06X, expected %06X", x, y, seen.At(x, y),
                              expected.At(x, y));
                text << line;
                ++shown;
            }
    return text.str();
}

// Polls the rectangle of the screen until it shows `expected` exactly or
// the time is up; what it saw last is left in `seen`.
bool WaitForPicture(int32_t left, int32_t top, const e2e::Pixels& expected, DWORD milliseconds, e2e::Pixels* seen) {
    const DWORD start = GetTickCount();
    for (;;) {
        *seen = e2e::CaptureScreen(left, top, expected.width, expected.height);
        if (seen->CountDifferences(expected) == 0) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        e2e::Pump(50);
    }
}

void SaveComparison(const std::string& name, const e2e::Pixels& seen, const e2e::Pixels& expected) {
    e2e::SaveBmp(expected, Artifact(name + "-expected.bmp"));
    e2e::Pixels difference = seen;
    if (seen.width == expected.width && seen.height == expected.height)
        for (size_t at = 0; at < difference.rgb.size(); ++at)
            difference.rgb[at] = seen.rgb[at] == expected.rgb[at] ? 0 : 0xFF00FF;
    e2e::SaveBmp(difference, Artifact(name + "-difference.bmp"));
}

// ---- The runs -----------------------------------------------------------------

struct FrameCase {
    const char* name;
    int32_t useHiColor;
    int32_t numBuf;
    int32_t width;
    int32_t height;
    double xScale = 1.0;
    int32_t warpy = 0;
};

void PrintTo(const FrameCase& c, std::ostream* out) { *out << c.name; }

// Frames rendered for the expectation: far more than a blurred frozen frame
// needs to settle (every fold halves what differs).
constexpr int32_t kReferenceFrames = 120;

class FrameRun : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteSettingsKey();
        texture_ = WriteTexture();
    }
    void TearDown() override {
        saver_.Kill();
        e2e::DeleteSettingsKey();
    }

    // The picture a run with these settings settles to, checked for being
    // still; the first frame goes to `first`.
    e2e::Pixels SettledPicture(const e2e::SettingsValues& values, int32_t blurFrames, RenderedFrame* first,
                               RenderedFrame* settled) {
        const std::vector<RenderedFrame> frames = RenderReference(values, kReferenceFrames);
        if (frames.empty()) {
            ADD_FAILURE() << "the portable core could not set the scene up";
            return {};
        }
        // Without the blur the camera alone decides, and it stands still: the
        // first frame is every frame. With it, the history must fill first.
        const int32_t from = SettledFrom(frames, blurFrames > 1 ? 2 * blurFrames + 1 : kReferenceFrames);
        if (blurFrames > 1) {
            EXPECT_GE(from, 1) << "a blurred run cannot show its settled picture in the first frame";
        } else {
            EXPECT_EQ(from, 0) << "a frozen camera without blur drew different frames";
        }
        if (from < 0) {
            ADD_FAILURE() << "the frames never settle";
            return {};
        }
        *first = frames.front();
        *settled = frames[from];
        return settled->ToScreen();
    }

    std::string texture_;
    e2e::Process saver_;
};

// ---- Full screen ----------------------------------------------------------------

class FullScreenFrame : public FrameRun, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FullScreenFrame, CentredFrameIsTheRenderedFramePixelForPixel) {
    const FrameCase c = GetParam();
    e2e::SettingsValues values = FrozenSettings(texture_, c.useHiColor, c.numBuf, c.width, c.height);
    values.xScale = c.xScale;
    values.warpy = c.warpy;
    RenderedFrame first, settled;
    const e2e::Pixels expected = SettledPicture(values, c.numBuf, &first, &settled);
    ASSERT_EQ(expected.width, c.width);
    ASSERT_EQ(expected.height, c.height);
    ASSERT_EQ(expected.CountLit(), expected.rgb.size()) << "every pixel of the expected frame is lit";
    if (c.numBuf > 1) {
        // The blurred rows land mirrored top to bottom, and each fold drops
        // the lowest bit of every channel: the settled picture is the plain
        // one upside down, a little darker, never the plain one itself.
        e2e::SettingsValues plainValues = values;
        plainValues.numBuf = 1;
        const std::vector<RenderedFrame> plain = RenderReference(plainValues, 1);
        ASSERT_EQ(plain.size(), 1u);
        EXPECT_GT(settled.ToScreen().CountDifferences(plain[0].ToScreen()), expected.rgb.size() / 2);
        EXPECT_NE(first, settled) << "the blur does not show in the first frame";
    }

    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    // Centred by truncating division: a frame of 318 x 237 on 1024 x 768
    // sits at (353, 265).
    const int32_t left = (screenWidth - c.width) / 2;
    const int32_t top = (screenHeight - c.height) / 2;

    e2e::WriteSettings(values);
    ASSERT_TRUE(saver_.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver_.id(), 10000, e2e::kSaverClass, e2e::kSaverClass), nullptr)
        << "no saver window";

    e2e::Pixels seen;
    const bool same = WaitForPicture(left, top, expected, 20000, &seen);
    const e2e::Pixels screen = e2e::CaptureScreen();
    e2e::SaveBmp(screen, Artifact(std::string("frame-fullscreen-") + c.name + ".bmp"));
    if (!same) {
        SaveComparison(std::string("frame-fullscreen-") + c.name, seen, expected);
        std::string hints;
        if (c.useHiColor && seen.CountDifferences(settled.ToScreen(ExpandShift)) == 0)
            hints += " (it matches with 5-bit channels shifted, not replicated)";
        if (seen.CountDifferences(settled.Mirrored().ToScreen()) == 0) hints += " (it matches upside down)";
        if (c.numBuf > 1 && seen.CountDifferences(first.ToScreen()) == 0)
            hints += " (it matches the first, unsettled frame)";
        FAIL() << "the centred frame is not the rendered one: " << DescribeDifferences(seen, expected) << hints;
    }
    ASSERT_TRUE(saver_.Running());

    // Still: later frames show the same picture, and nothing is drawn outside
    // the frame.
    e2e::Pump(400);
    const e2e::Pixels later = e2e::CaptureScreen();
    EXPECT_EQ(later.Crop(left, top, c.width, c.height).CountDifferences(expected), 0u)
        << "the picture moved with a frozen camera";
    EXPECT_EQ(later.CountLit(), expected.rgb.size()) << "pixels lit outside the centred frame";

    // The picture can be complete before the third start-up tick, when input
    // only hides the pointer; move back and forth until start-up is over.
    DWORD exitCode = 12345;
    bool ended = false;
    for (int attempt = 0; attempt < 20 && !ended; ++attempt) {
        e2e::SendMouseMove(attempt % 2 ? -1 : 1, 0);
        ended = saver_.WaitForExit(250, &exitCode);
    }
    ASSERT_TRUE(ended || saver_.WaitForExitOrKill(5000, &exitCode)) << "mouse movement did not end the saver";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Frozen, FullScreenFrame,
                         ::testing::Values(FrameCase{"Paletted", 0, 1, 320, 240},
                                           FrameCase{"PalettedBlur", 0, 3, 320, 240},
                                           FrameCase{"HiColor", 1, 1, 320, 240},
                                           FrameCase{"HiColorBlur", 1, 3, 320, 240},
                                           // A hand-edited width that is not a multiple of 4, and an odd height.
                                           FrameCase{"PalettedOddSize", 0, 1, 318, 237},
                                           FrameCase{"HiColorBlurOddSize", 1, 2, 318, 237},
                                           // A negative XScale mirrors the picture left to right and
                                           // squeezes it; with the angle at 0, Warpy changes nothing.
                                           FrameCase{"PalettedMirrored", 0, 1, 320, 240, -0.9, 1}),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

// ---- Preview ----------------------------------------------------------------------

class PreviewFrame : public FrameRun, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(PreviewFrame, PaneShowsTheRenderedFramePixelForPixel) {
    const FrameCase c = GetParam();
    const e2e::SettingsValues stored = FrozenSettings(texture_, c.useHiColor, c.numBuf, 320, 240);
    // The preview draws a frame of the pane's size; an 8-bit preview never
    // blurs, whatever the setting, and a 16-bit one blurs as set.
    e2e::SettingsValues rendered = FrozenSettings(texture_, c.useHiColor, c.useHiColor ? c.numBuf : 0, c.width, c.height);
    RenderedFrame first, settled;
    const e2e::Pixels expected = SettledPicture(rendered, rendered.numBuf, &first, &settled);
    ASSERT_EQ(expected.width, c.width);
    ASSERT_EQ(expected.height, c.height);

    e2e::WriteSettings(stored);
    HWND host = e2e::CreatePreviewHost(c.width, c.height);
    ASSERT_NE(host, nullptr);
    POINT origin = {0, 0};
    ClientToScreen(host, &origin);
    ASSERT_TRUE(saver_.Start(SaverPath, "/p " + std::to_string(reinterpret_cast<uintptr_t>(host))));

    e2e::Pixels seen;
    const bool same = WaitForPicture(origin.x, origin.y, expected, 20000, &seen);
    e2e::SaveBmp(seen, Artifact(std::string("frame-preview-") + c.name + ".bmp"));
    if (!same) {
        SaveComparison(std::string("frame-preview-") + c.name, seen, expected);
        std::string hints;
        if (c.useHiColor && seen.CountDifferences(settled.ToScreen(ExpandShift)) == 0)
            hints += " (it matches with 5-bit channels shifted, not replicated)";
        if (seen.CountDifferences(settled.Mirrored().ToScreen()) == 0) hints += " (it matches upside down)";
        DestroyWindow(host);
        FAIL() << "the pane is not the rendered frame: " << DescribeDifferences(seen, expected) << hints;
    }
    ASSERT_TRUE(saver_.Running());
    e2e::Pump(400);
    EXPECT_EQ(e2e::CaptureScreen(origin.x, origin.y, c.width, c.height).CountDifferences(expected), 0u)
        << "the pane's picture moved with a frozen camera";

    DestroyWindow(host);
    DWORD exitCode = 12345;
    ASSERT_TRUE(saver_.WaitForExitOrKill(10000, &exitCode)) << "the saver outlived its host";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Frozen, PreviewFrame,
                         ::testing::Values(FrameCase{"Paletted", 0, 3, 152, 112},
                                           FrameCase{"HiColorBlur", 1, 3, 152, 112},
                                           // A pane whose width is not a multiple of 4.
                                           FrameCase{"HiColorOddPane", 1, 1, 150, 113}),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

// ---- What the comparison stands on ------------------------------------------------

// The frozen camera: with Rot1 and Zoom2 at 0 every frame gets the same four
// steps, whatever the other phase does, and they are a zoom with a half turn,
// not the identity: 0.8 x -0.75 x 65536 = -39321.6 and
// 0.8 / 0.7 x -0.75 x 65536 = -56173.7, truncated toward zero.
TEST(FrozenCamera, EveryFrameHasTheSameStepsAndTheyTurnAndZoom) {
    MotionState state;
    for (int32_t frame = 1; frame <= 1000; ++frame) {
        AdvanceMotion(state, 0.0, 1.0, kFrozenZoom1, 0.0);
        const FrameSteps steps = ComputeSteps(state.turnAngle, state.zoom, kTextureWidth, 320, 1.0, kFrozenYScale, 0);
        ASSERT_EQ(steps.colStepU, -39321) << "frame " << frame;
        ASSERT_EQ(steps.colStepV, 0) << "frame " << frame;
        ASSERT_EQ(steps.rowStepU, 0) << "frame " << frame;
        ASSERT_EQ(steps.rowStepV, -56173) << "frame " << frame;
    }
    // The rotation phase moved on all the while; only Rot1 keeps the angle.
    EXPECT_NE(state.rotPhase, 1.0);
    EXPECT_EQ(state.turnAngle, 0.0);
    EXPECT_EQ(state.zoomPhase, 0.0);
}

// Where the expected picture's marker lands: the negative zoom turns the
// texture by a half turn about its centre texel (128, 100), which sits at
// column 160 of picture row 120 of a 320 x 240 plain 16-bit frame. Screen
// column 160 + d samples texel column 128 - 0.6 d, and picture row 120 + e
// samples texel row 100 - 0.857 e, so the F, top left in the texture, lands
// below and to the right of the centre, upside down and with its stem on the
// right.
TEST(FrozenCamera, TheMarkerLandsTurnedByAHalfTurn) {
    e2e::MakeFolders(ArtifactsFolder);
    const std::string texture = WriteTexture();
    const std::vector<RenderedFrame> frames = RenderReference(FrozenSettings(texture, 1, 1, 320, 240), 1);
    ASSERT_EQ(frames.size(), 1u);
    const RenderedFrame& f = frames[0];
    // White 255 keeps its top five bits: 31 in each channel.
    auto markerAt = [&](int32_t column, int32_t row) {
        return f.pixels[static_cast<size_t>(row) * f.width + column] == 0x7FFF;
    };
    // The top bar, texture rows 30 to 35 and columns 40 to 69: texture column
    // 55 is d = (128 - 55) / 0.6 = 121.7, texture row 32 is
    // e = (100 - 32) / 0.857 = 79.3.
    EXPECT_TRUE(markerAt(160 + 121, 120 + 79));
    // Not mirrored left to right: the same row on the other side is no marker.
    EXPECT_FALSE(markerAt(160 - 121, 120 + 79));
    // Not mirrored top to bottom.
    EXPECT_FALSE(markerAt(160 + 121, 120 - 79));
    // The stem, texture columns 40 to 45 from row 30 down to row 71: column 42
    // is d = 143.3, row 48 is e = 60.7.
    EXPECT_TRUE(markerAt(160 + 143, 120 + 60));
    // Its middle bar reaches texture column 63 at texture row 50 (e = 58.3):
    // d = 108.3; column 66 (d = 103.3) is past its end.
    EXPECT_TRUE(markerAt(160 + 108, 120 + 58));
    EXPECT_FALSE(markerAt(160 + 103, 120 + 58));
}

// The screen shows a 5-5-5 pixel with each 5-bit channel widened to 8 bits by
// bit replication: a strip of all 32 levels of each channel, blitted from a
// 16-bit DIB section into a window and read back from the screen.
TEST(WineScreen, FiveBitChannelsAreWidenedByBitReplication) {
    constexpr int32_t kLevels = 32;
    HWND window = e2e::CreatePreviewHost(kLevels, 3);
    ASSERT_NE(window, nullptr);
    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kLevels;
    info.bmiHeader.biHeight = -3;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    auto* pixels = static_cast<uint16_t*>(bits);
    for (int32_t level = 0; level < kLevels; ++level) {
        pixels[level] = static_cast<uint16_t>(level << 10);
        pixels[kLevels + level] = static_cast<uint16_t>(level << 5);
        pixels[2 * kLevels + level] = static_cast<uint16_t>(level);
    }
    HGDIOBJ saved = SelectObject(memory, dib);
    BitBlt(windowDc, 0, 0, kLevels, 3, memory, 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(memory, saved);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    e2e::Pump(100);
    const e2e::Pixels seen = e2e::CaptureClientArea(window);
    DestroyWindow(window);
    ASSERT_EQ(seen.width, kLevels);
    ASSERT_EQ(seen.height, 3);
    std::string measured;
    for (int32_t level = 0; level < kLevels; ++level) {
        measured += " " + std::to_string(level) + "->" + std::to_string((seen.At(level, 0) >> 16) & 0xFF);
        EXPECT_EQ(seen.At(level, 0), ExpandReplicate(level) << 16) << "red " << level;
        EXPECT_EQ(seen.At(level, 1), ExpandReplicate(level) << 8) << "green " << level;
        EXPECT_EQ(seen.At(level, 2), ExpandReplicate(level)) << "blue " << level;
    }
    RecordProperty("red", measured);
    // The ends, which tell replication from a plain shift at a glance.
    EXPECT_EQ(seen.At(31, 0), 0xFF0000u) << "measured:" << measured;
    EXPECT_EQ(seen.At(1, 2), 0x000008u) << "measured:" << measured;
    EXPECT_EQ(seen.At(4, 1), 0x002100u) << "measured:" << measured;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: frame_e2e GYROFOLD.SCR ARTIFACTS_FOLDER\n");
        return 2;
    }
    SaverPath = e2e::ToWinePath(argv[1]);
    ArtifactsFolder = e2e::ToWinePath(argv[2]);
    if (!e2e::MakeFolders(ArtifactsFolder)) {
        std::fprintf(stderr, "cannot make the artifacts folder %s\n", ArtifactsFolder.c_str());
        return 2;
    }
    return RUN_ALL_TESTS();
}
