// The real gyrofold.scr driven from outside, with this program in the part of
// Windows: it hosts the preview pane, writes the settings key, reads the
// screen back, sends real input and checks how the saver ends.
//
// Usage: saver_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [gtest options]

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/bmp_writer.h"

namespace {

std::string SaverPath;
std::string ArtifactsFolder;

// The Display Properties preview pane is 152 x 112 pixels.
using e2e::kPaneHeight;
using e2e::kPaneWidth;

constexpr int32_t kFrameWidth = 320;
constexpr int32_t kFrameHeight = 240;

constexpr char kErrorText[] = "    ERROR LOADING IMAGE    ";

std::string Artifact(const std::string& name) { return ArtifactsFolder + "\\" + name; }

// A 256 x 256 8-bit texture with structure in both directions (so turning and
// zooming show) and no dark colour anywhere: every pixel of a frame drawn from
// it is lit, even halved by the 16-bit blur, so a black pixel on screen always
// means "not drawn".
std::string WriteSampleTexture() {
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i].red = static_cast<uint8_t>(96 + (i % 16) * 10);
        palette[i].green = static_cast<uint8_t>(96 + (i / 16) * 10);
        palette[i].blue = static_cast<uint8_t>(255 - (i % 16) * 5 - (i / 16) * 5);
    }
    bmpw::BmpImage image = bmpw::MakePalettedImage(256, 256, palette);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x)
            image.indices[static_cast<size_t>(y) * 256 + x] =
                static_cast<uint8_t>(((x / 16) + 16 * (y / 16) + ((x ^ y) & 8)) & 0xFF);
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    const std::string path = Artifact("saver-e2e-texture.bmp");
    e2e::WriteFileBytes(path, bytes);
    return path;
}

// Settings that never switch the display mode.
e2e::SettingsValues RunSettings(int32_t useHiColor, int32_t numBuf, const std::string& image) {
    e2e::SettingsValues settings;
    settings.imageFile = image;
    settings.stretch = -1;
    settings.useHiColor = useHiColor;
    settings.numBuf = numBuf;
    return settings;
}

// Polls the picture until enough of it is lit.
bool WaitForLit(HWND window, size_t wanted, DWORD milliseconds, e2e::Pixels* seen) {
    const DWORD start = GetTickCount();
    for (;;) {
        *seen = e2e::CaptureClientArea(window);
        if (seen->CountLit() >= wanted) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        e2e::Pump(50);
    }
}

class SaverRun : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteSettingsKey();
        texture_ = WriteSampleTexture();
    }
    void TearDown() override {
        saver_.Kill();
        e2e::DeleteSettingsKey();
    }

    std::string texture_;
    e2e::Process saver_;
};

// ---- Preview --------------------------------------------------------------

struct ColourMode {
    int32_t useHiColor;
    int32_t numBuf;
};

std::string ModeName(const ColourMode& mode) {
    return std::string(mode.useHiColor ? "hicolor" : "paletted") + "-numbuf" + std::to_string(mode.numBuf);
}

class PreviewRun : public SaverRun, public ::testing::WithParamInterface<ColourMode> {};

TEST_P(PreviewRun, FramesFillThePaneAndMoveAndTheSaverEndsWithItsHost) {
    const ColourMode mode = GetParam();
    e2e::WriteSettings(RunSettings(mode.useHiColor, mode.numBuf, texture_));
    HWND host = e2e::CreatePreviewHost();
    ASSERT_NE(host, nullptr);
    RECT client;
    GetClientRect(host, &client);
    ASSERT_EQ(client.right, kPaneWidth);
    ASSERT_EQ(client.bottom, kPaneHeight);

    const std::string handle = std::to_string(reinterpret_cast<uintptr_t>(host));
    ASSERT_TRUE(saver_.Start(SaverPath, "/p " + handle));

    // The frame is the pane's client rectangle: every pixel of it is drawn.
    e2e::Pixels first;
    ASSERT_TRUE(WaitForLit(host, kPaneWidth * kPaneHeight, 15000, &first))
        << "lit pixels in the pane: " << first.CountLit() << " of " << kPaneWidth * kPaneHeight;
    ASSERT_TRUE(saver_.Running());

    // The saver's window is a child of the host and never a window of its own.
    EXPECT_TRUE(e2e::TopLevelWindows(saver_.id(), e2e::kSaverClass).empty());
    EXPECT_NE(e2e::FindChildWindow(host, saver_.id(), e2e::kSaverClass), nullptr);

    // The camera turns and zooms: the picture changes from frame to frame.
    // Waited for rather than timed: a busy machine draws fewer frames.
    e2e::Pixels later;
    const DWORD moving = GetTickCount();
    do {
        e2e::Pump(100);
        later = e2e::CaptureClientArea(host);
    } while (first.CountDifferences(later) <= static_cast<size_t>(kPaneWidth * kPaneHeight / 10) &&
             GetTickCount() - moving < 5000);
    EXPECT_GT(first.CountDifferences(later), static_cast<size_t>(kPaneWidth * kPaneHeight / 10));
    e2e::SaveBmp(later, Artifact("preview-" + ModeName(mode) + ".bmp"));

    // Input is not for the preview: a key and a mouse movement change nothing.
    e2e::SendMouseMove(5, 5);
    e2e::SendKey(VK_SPACE);
    e2e::Pump(300);
    EXPECT_TRUE(saver_.Running());

    // The host goes away with the display settings: the saver follows.
    DestroyWindow(host);
    DWORD exitCode = 12345;
    ASSERT_TRUE(saver_.WaitForExitOrKill(10000, &exitCode)) << "the saver outlived its host";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(ColourModes, PreviewRun,
                         ::testing::Values(ColourMode{0, 1}, ColourMode{0, 3}, ColourMode{1, 1},
                                           ColourMode{1, 3}),
                         [](const ::testing::TestParamInfo<ColourMode>& info) {
                             return std::string(info.param.useHiColor ? "HiColor" : "Paletted") + "NumBuf" +
                                    std::to_string(info.param.numBuf);
                         });

// ---- Full screen ----------------------------------------------------------

class FullScreenRun : public SaverRun, public ::testing::WithParamInterface<ColourMode> {};

TEST_P(FullScreenRun, CentredFrameMovesEarlyInputIsIgnoredThenInputEndsTheSaver) {
    const ColourMode mode = GetParam();
    e2e::WriteSettings(RunSettings(mode.useHiColor, mode.numBuf, texture_));
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int32_t left = (screenWidth - kFrameWidth) / 2;
    const int32_t top = (screenHeight - kFrameHeight) / 2;
    if (screenWidth == 1024 && screenHeight == 768) {
        ASSERT_EQ(left, 352);
        ASSERT_EQ(top, 264);
    }

    ASSERT_TRUE(saver_.Start(SaverPath, "/s"));
    HWND window = e2e::WaitForTopLevelWindow(saver_.id(), 10000, e2e::kSaverClass, e2e::kSaverClass);
    ASSERT_NE(window, nullptr) << "no saver window";
    const DWORD windowSeen = GetTickCount();

    // Input during the start-up (the third 250 ms tick is at least 750 ms
    // after the window was made) only hides the pointer.
    e2e::SendMouseMove(7, 3);
    e2e::SendKey(VK_SHIFT);
    e2e::SendMouseMove(-7, -3);
    e2e::Pump(200);
    EXPECT_TRUE(saver_.Running()) << "input during the start-up ended the saver";

    // The popup covers the screen.
    RECT bounds;
    GetWindowRect(window, &bounds);
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.right, screenWidth);
    EXPECT_EQ(bounds.bottom, screenHeight);

    // The 320 x 240 frame, centred; nothing drawn around it.
    e2e::Pixels screen;
    const DWORD start = GetTickCount();
    do {
        e2e::Pump(100);
        screen = e2e::CaptureScreen();
    } while (screen.Crop(left, top, kFrameWidth, kFrameHeight).CountLit() < kFrameWidth * kFrameHeight &&
             GetTickCount() - start < 15000);
    ASSERT_TRUE(saver_.Running());
    const e2e::Pixels frame = screen.Crop(left, top, kFrameWidth, kFrameHeight);
    EXPECT_EQ(frame.CountLit(), static_cast<size_t>(kFrameWidth * kFrameHeight));
    // A ring of two pixels just outside the frame stays black.
    const e2e::Pixels around = screen.Crop(left - 2, top - 2, kFrameWidth + 4, kFrameHeight + 4);
    EXPECT_EQ(around.CountLit(), frame.CountLit()) << "pixels lit outside the centred frame";
    EXPECT_EQ(screen.CountLit(), frame.CountLit()) << "pixels lit elsewhere on the screen";
    e2e::SaveBmp(screen, Artifact("fullscreen-" + ModeName(mode) + ".bmp"));

    // How far the camera gets in a given time depends on how many frames a
    // busy machine lets it draw, so wait for the change rather than a time.
    e2e::Pixels later;
    const DWORD moving = GetTickCount();
    do {
        e2e::Pump(100);
        later = e2e::CaptureScreen(left, top, kFrameWidth, kFrameHeight);
    } while (frame.CountDifferences(later) <= static_cast<size_t>(kFrameWidth * kFrameHeight / 10) &&
             GetTickCount() - moving < 5000);
    EXPECT_GT(frame.CountDifferences(later), static_cast<size_t>(kFrameWidth * kFrameHeight / 10))
        << "the picture does not move";
    ASSERT_TRUE(saver_.Running());

    // The third tick comes at least 750 ms after the window was made; give
    // a busy machine's timer well over twice that before the input that
    // must end the saver.
    const DWORD sinceWindow = GetTickCount() - windowSeen;
    if (sinceWindow < 2000) e2e::Pump(2000 - sinceWindow);
    ASSERT_TRUE(saver_.Running());

    // Start-up is over: the first mouse movement ends the saver.
    e2e::SendMouseMove(1, 0);
    DWORD exitCode = 12345;
    ASSERT_TRUE(saver_.WaitForExitOrKill(10000, &exitCode)) << "mouse movement did not end the saver";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(ColourModes, FullScreenRun,
                         ::testing::Values(ColourMode{0, 1}, ColourMode{0, 3}, ColourMode{1, 1},
                                           ColourMode{1, 3}),
                         [](const ::testing::TestParamInfo<ColourMode>& info) {
                             return std::string(info.param.useHiColor ? "HiColor" : "Paletted") + "NumBuf" +
                                    std::to_string(info.param.numBuf);
                         });

// Each kind of input ends a saver that has started up.
struct InputKind {
    const char* name;
    void (*send)();
};

class InputEndsTheSaver : public SaverRun, public ::testing::WithParamInterface<InputKind> {};

TEST_P(InputEndsTheSaver, AfterStartUp) {
    e2e::WriteSettings(RunSettings(1, 1, texture_));
    ASSERT_TRUE(saver_.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver_.id(), 10000, e2e::kSaverClass), nullptr);
    e2e::Pump(1500);
    ASSERT_TRUE(saver_.Running());
    GetParam().send();
    DWORD exitCode = 12345;
    ASSERT_TRUE(saver_.WaitForExitOrKill(10000, &exitCode)) << GetParam().name << " did not end the saver";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Inputs, InputEndsTheSaver,
                         ::testing::Values(InputKind{"Key", [] { e2e::SendKey('A'); }},
                                           InputKind{"MouseButton", [] { e2e::SendMouseClick(); }},
                                           InputKind{"MouseMove", [] { e2e::SendMouseMove(0, 1); }}),
                         [](const ::testing::TestParamInfo<InputKind>& info) { return info.param.name; });

// ---- The image cannot be loaded ---------------------------------------------

class MissingImage : public SaverRun, public ::testing::WithParamInterface<ColourMode> {};

TEST_P(MissingImage, ShowsTheErrorTextNoFrameAndStillEndsOnInput) {
    const ColourMode mode = GetParam();
    e2e::WriteSettings(RunSettings(mode.useHiColor, mode.numBuf, Artifact("no-such-picture.bmp")));
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);

    ASSERT_TRUE(saver_.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver_.id(), 10000, e2e::kSaverClass), nullptr);
    e2e::Pump(1500);
    ASSERT_TRUE(saver_.Running());

    // The text sits on one line through the centre of the screen: a band a
    // system-font line high, lit (default colours: black on white), and
    // nothing else on the screen.
    const e2e::Pixels screen = e2e::CaptureScreen();
    e2e::SaveBmp(screen, Artifact("missing-image-" + ModeName(mode) + ".bmp"));
    const e2e::Pixels band = screen.Crop(screenWidth / 2 - 150, screenHeight / 2 - 12, 300, 24);
    EXPECT_GT(band.CountLit(), 1000u) << "no error text in the centre";
    EXPECT_EQ(screen.CountLit(), band.CountLit()) << "something besides the text was drawn";
    // Wider than the start-up text, which it covers: the error text reaches
    // further out from the centre than "   ...Initializing...   ".
    const e2e::Pixels textRow = screen.Crop(0, screenHeight / 2, screenWidth, 1);
    int32_t firstLit = -1, lastLit = -1;
    for (int32_t x = 0; x < screenWidth; ++x)
        if (textRow.At(x, 0)) {
            if (firstLit < 0) firstLit = x;
            lastLit = x;
        }
    ASSERT_GE(firstLit, 0);
    // Centred: the lit run is symmetric about the middle within a pixel or two.
    EXPECT_NEAR(firstLit + lastLit, screenWidth - 1, 3);

    // No frame is ever drawn.
    e2e::Pump(700);
    EXPECT_EQ(e2e::CaptureScreen().CountDifferences(screen), 0u) << "the screen changed after a failed load";

    e2e::SendKey(VK_RETURN);
    DWORD exitCode = 12345;
    ASSERT_TRUE(saver_.WaitForExitOrKill(10000, &exitCode)) << "input did not end the saver";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(ColourModes, MissingImage, ::testing::Values(ColourMode{0, 3}, ColourMode{1, 3}),
                         [](const ::testing::TestParamInfo<ColourMode>& info) {
                             return std::string(info.param.useHiColor ? "HiColor" : "Paletted");
                         });

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: saver_e2e GYROFOLD.SCR ARTIFACTS_FOLDER\n");
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
