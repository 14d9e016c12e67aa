// Start and stop the real gyrofold.scr over and over, the way the platform
// does all day: full screen ended by real input, preview ended by destroying
// its host. Every run must end by itself with exit code 0 and leave no process
// and no saver window behind. Also one run over a hand-wrecked settings key.
//
// Usage: cycles_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [CYCLES] [gtest options]
// CYCLES (default 50) is the number of runs of each mode; GYROFOLD_CYCLES in
// the environment, when set, takes precedence.

#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/bmp_writer.h"

namespace {

std::string SaverPath;
std::string ArtifactsFolder;
int CycleCount = 50;

using e2e::kPaneHeight;
using e2e::kPaneWidth;
constexpr int32_t kFrameWidth = 320;
constexpr int32_t kFrameHeight = 240;

constexpr DWORD kWindowWait = 15000;
constexpr DWORD kFrameWait = 15000;
constexpr DWORD kExitWait = 10000;

std::string Artifact(const std::string& name) { return ArtifactsFolder + "\\" + name; }

// A texture without a dark colour anywhere, so that a black pixel on the
// screen always means "not drawn".
std::string WriteTexture() {
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i].red = static_cast<uint8_t>(100 + (i % 16) * 9);
        palette[i].green = static_cast<uint8_t>(100 + (i / 16) * 9);
        palette[i].blue = static_cast<uint8_t>(250 - i / 4);
    }
    bmpw::BmpImage image = bmpw::MakePalettedImage(128, 128, palette);
    for (int32_t y = 0; y < 128; ++y)
        for (int32_t x = 0; x < 128; ++x)
            image.indices[static_cast<size_t>(y) * 128 + x] = static_cast<uint8_t>((x / 8) + 16 * (y / 8));
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    const std::string path = Artifact("cycles-e2e-texture.bmp");
    e2e::WriteFileBytes(path, bytes);
    return path;
}

// Every process of the prefix whose program is gyrofold.scr.
std::vector<DWORD> SaverProcesses() {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "gyrofold.scr") == 0) found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

// Saver windows of any process, hidden ones included.
size_t SaverWindowsAnywhere() {
    size_t count = 0;
    for (HWND window = FindWindowExA(nullptr, nullptr, e2e::kSaverClass, nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, e2e::kSaverClass, nullptr))
        ++count;
    return count;
}

// Polls a rectangle of the screen until all of it is lit.
bool WaitForLitRect(int32_t left, int32_t top, int32_t width, int32_t height, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (e2e::CaptureScreen(left, top, width, height).CountLit() == static_cast<size_t>(width * height))
            return true;
        if (GetTickCount() - start >= milliseconds) return false;
        e2e::Pump(25);
    }
}

// Failed checks of the running test so far, so that a cycle counts as passed
// only when it added none.
int FailuresSoFar() {
    const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failed = 0;
    for (int i = 0; i < result->total_part_count(); ++i) failed += result->GetTestPartResult(i).failed() ? 1 : 0;
    return failed;
}

e2e::SettingsValues RunSettings(int32_t useHiColor, int32_t numBuf, const std::string& image) {
    e2e::SettingsValues settings;
    settings.imageFile = image;
    settings.stretch = -1;  // the bare X screen has one mode; leave it alone
    settings.useHiColor = useHiColor;
    settings.numBuf = numBuf;
    return settings;
}

// Both colour modes with blur, taking turns: 8-bit builds the blend table at
// every full-screen start.
struct ModeOfCycle {
    int32_t useHiColor;
    int32_t numBuf;
};
ModeOfCycle ModeFor(int cycle) { return cycle % 2 ? ModeOfCycle{1, 3} : ModeOfCycle{0, 3}; }

class Cycles : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteSettingsKey();
        texture_ = WriteTexture();
        ASSERT_TRUE(SaverProcesses().empty()) << "a saver of an earlier run is still there";
    }
    void TearDown() override { e2e::DeleteSettingsKey(); }

    // After a run: the process is gone from the process list, no saver window
    // is left, and the running-saver announcement is off again.
    static void ExpectNothingLeft(int cycle, DWORD processId) {
        const std::vector<DWORD> left = SaverProcesses();
        EXPECT_TRUE(left.empty()) << "cycle " << cycle << ": " << left.size()
                                  << " gyrofold.scr processes left, the first " << (left.empty() ? 0 : left[0])
                                  << " (this run's was " << processId << ")";
        EXPECT_EQ(SaverWindowsAnywhere(), 0u) << "cycle " << cycle << ": a saver window outlived its process";
    }

    // Moves the pointer back and forth until the saver ends (start-up may
    // still be running), then checks it ended with 0 and left nothing.
    static void EndWithInput(e2e::Process& saver) {
        DWORD exitCode = 12345;
        bool ended = false;
        for (int nudge = 0; nudge < 100 && !ended; ++nudge) {
            e2e::SendMouseMove(nudge % 2 ? -3 : 3, 0);
            ended = saver.WaitForExit(100, &exitCode);
        }
        ASSERT_TRUE(ended || saver.WaitForExitOrKill(kExitWait, &exitCode)) << "input did not end the saver";
        EXPECT_EQ(exitCode, 0u);
        ExpectNothingLeft(0, saver.id());
    }

    std::string texture_;
};

TEST_F(Cycles, FullScreenStartsAndStopsOnInputEveryTime) {
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int32_t left = (screenWidth - kFrameWidth) / 2;
    const int32_t top = (screenHeight - kFrameHeight) / 2;
    int passed = 0;
    DWORD longestRun = 0;
    const DWORD started = GetTickCount();
    for (int cycle = 0; cycle < CycleCount; ++cycle) {
        const int failuresBefore = FailuresSoFar();
        const ModeOfCycle mode = ModeFor(cycle);
        e2e::WriteSettings(RunSettings(mode.useHiColor, mode.numBuf, texture_));
        e2e::Process saver;
        const DWORD runStart = GetTickCount();
        ASSERT_TRUE(saver.Start(SaverPath, "/s")) << "cycle " << cycle;
        ASSERT_NE(e2e::WaitForTopLevelWindow(saver.id(), kWindowWait, e2e::kSaverClass), nullptr)
            << "cycle " << cycle << ": no saver window";
        // Frames are drawn once the scene is set up: the whole centred frame.
        ASSERT_TRUE(WaitForLitRect(left, top, kFrameWidth, kFrameHeight, kFrameWait))
            << "cycle " << cycle << ": no frame on the screen";
        // Start-up ends two ticks after the scene setup. Input before then
        // only hides the pointer, so repeat it until the saver goes: mouse
        // movement (back and forth, so that no screen edge swallows it), a
        // key or a click, taking turns from cycle to cycle.
        DWORD exitCode = 12345;
        bool ended = false;
        for (int nudge = 0; nudge < 100 && !ended; ++nudge) {
            if (cycle % 3 == 0) e2e::SendMouseMove(nudge % 2 ? -3 : 3, 0);
            if (cycle % 3 == 1) e2e::SendKey('A');
            if (cycle % 3 == 2) e2e::SendMouseClick();
            ended = saver.WaitForExit(100, &exitCode);
        }
        if (!ended) ended = saver.WaitForExitOrKill(kExitWait, &exitCode);
        ASSERT_TRUE(ended) << "cycle " << cycle << ": input did not end the saver";
        EXPECT_EQ(exitCode, 0u) << "cycle " << cycle;
        const DWORD runTime = GetTickCount() - runStart;
        if (runTime > longestRun) longestRun = runTime;
        ExpectNothingLeft(cycle, saver.id());
        BOOL running = TRUE;
        if (SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) {
            EXPECT_FALSE(running) << "cycle " << cycle << ": the saver left its announcement on";
        }
        if (FailuresSoFar() == failuresBefore) ++passed;
    }
    std::printf("[cycles] /s: %d of %d cycles passed in %lu ms, longest run %lu ms\n", passed, CycleCount,
                static_cast<unsigned long>(GetTickCount() - started), static_cast<unsigned long>(longestRun));
    EXPECT_EQ(passed, CycleCount);
}

TEST_F(Cycles, PreviewStartsAndStopsWithItsHostEveryTime) {
    int passed = 0;
    DWORD longestRun = 0;
    const DWORD started = GetTickCount();
    for (int cycle = 0; cycle < CycleCount; ++cycle) {
        const int failuresBefore = FailuresSoFar();
        const ModeOfCycle mode = ModeFor(cycle);
        e2e::WriteSettings(RunSettings(mode.useHiColor, mode.numBuf, texture_));
        HWND host = e2e::CreatePreviewHost();
        ASSERT_NE(host, nullptr);
        e2e::Process saver;
        const DWORD runStart = GetTickCount();
        ASSERT_TRUE(saver.Start(SaverPath, "/p " + std::to_string(reinterpret_cast<uintptr_t>(host))))
            << "cycle " << cycle;
        // Every third host goes as soon as the saver's window is in it, in the
        // middle of the start-up, as when the display settings are closed
        // right after the saver was picked; the others once frames show.
        const bool early = cycle % 3 == 2;
        bool drawn = true;
        if (early) {
            const DWORD waitStart = GetTickCount();
            while (e2e::FindChildWindow(host, saver.id(), e2e::kSaverClass) == nullptr &&
                   GetTickCount() - waitStart < kWindowWait)
                e2e::Pump(5);
            EXPECT_NE(e2e::FindChildWindow(host, saver.id(), e2e::kSaverClass), nullptr) << "cycle " << cycle;
        } else {
            POINT origin = {0, 0};
            ClientToScreen(host, &origin);
            drawn = WaitForLitRect(origin.x, origin.y, kPaneWidth, kPaneHeight, kFrameWait);
            EXPECT_NE(e2e::FindChildWindow(host, saver.id(), e2e::kSaverClass), nullptr) << "cycle " << cycle;
        }
        // The host goes, as when the display settings close: the saver follows.
        DestroyWindow(host);
        ASSERT_TRUE(drawn) << "cycle " << cycle << ": the pane was never filled";
        DWORD exitCode = 12345;
        ASSERT_TRUE(saver.WaitForExitOrKill(kExitWait, &exitCode)) << "cycle " << cycle << ": outlived its host";
        EXPECT_EQ(exitCode, 0u) << "cycle " << cycle;
        const DWORD runTime = GetTickCount() - runStart;
        if (runTime > longestRun) longestRun = runTime;
        ExpectNothingLeft(cycle, saver.id());
        if (FailuresSoFar() == failuresBefore) ++passed;
    }
    std::printf("[cycles] /p: %d of %d cycles passed in %lu ms, longest run %lu ms\n", passed, CycleCount,
                static_cast<unsigned long>(GetTickCount() - started), static_cast<unsigned long>(longestRun));
    EXPECT_EQ(passed, CycleCount);
}

// ---- A hand-wrecked settings key --------------------------------------------

// Every number of the key stored with a size the loader refuses, each with a
// value that would show if it were taken: a frame of another size, another
// colour mode, the display switched.
void WreckTheNumbers() {
    // Three letters with no terminator. The byte after them must not be 0:
    // the registry counts a terminator the caller seems to have forgotten,
    // and "abc" plus its 0 would be four bytes, a width of 6,513,249.
    const char abcd[4] = {'a', 'b', 'c', 'd'};
    e2e::WriteSettingBytes("ScreenWidth", REG_SZ, abcd, 3);
    const int64_t height = 100;
    e2e::WriteSettingBytes("ScreenHeight", REG_QWORD, &height, 8);
    e2e::WriteSettingBytes("Stretch", REG_BINARY, nullptr, 0);
    const uint8_t five[5] = {8, 0, 0, 0, 0};
    e2e::WriteSettingBytes("NumBuf", REG_DWORD, five, 5);
    const uint8_t zero = 0;
    e2e::WriteSettingBytes("UseHiColor", REG_BINARY, &zero, 1);
    const DWORD four = 4;
    e2e::WriteSettingBytes("XScale", REG_DWORD, &four, 4);
    const uint8_t nine[9] = {0, 0, 0, 0, 0, 0, 0x10, 0x40, 0};
    e2e::WriteSettingBytes("YScale", REG_BINARY, nine, 9);
    e2e::WriteSettingBytes("Rot1", REG_SZ, "2.5", 4);
    const uint8_t seven[7] = {0, 0, 0, 0, 0, 0, 0x24};
    e2e::WriteSettingBytes("Rot2", REG_BINARY, seven, 7);
    e2e::WriteSettingBytes("Zoom1", REG_MULTI_SZ, "3.0\0\0\0\0\0\0\0\0\0\0\0\0", 16);
    const DWORD zoom = 0x40000000;
    e2e::WriteSettingBytes("Zoom2", REG_QWORD, &zoom, 4);
    const int64_t warpy = 1;
    e2e::WriteSettingBytes("Warpy", REG_QWORD, &warpy, 8);
}

TEST_F(Cycles, FullScreenOverAWreckedKeyRunsOnItsFallbacksAndExitsZero) {
    e2e::WriteSettingText("IMGFilename", texture_);
    WreckTheNumbers();
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int32_t left = (screenWidth - kFrameWidth) / 2;
    const int32_t top = (screenHeight - kFrameHeight) / 2;

    e2e::Process saver;
    ASSERT_TRUE(saver.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver.id(), kWindowWait, e2e::kSaverClass), nullptr);
    // The fallback frame, 320 x 240, centred and all of it drawn; nothing
    // beyond it (a stored height of 100 taken by mistake would leave most of
    // the frame black, a wider one would light the ring around it).
    const bool drawn = WaitForLitRect(left, top, kFrameWidth, kFrameHeight, kFrameWait);
    const e2e::Pixels screen = e2e::CaptureScreen();
    e2e::SaveBmp(screen, Artifact("wrecked-key-fullscreen.bmp"));
    ASSERT_TRUE(drawn) << "no 320 x 240 frame on the screen: " << screen.Crop(left, top, kFrameWidth, kFrameHeight).CountLit()
                       << " of its pixels lit, " << screen.CountLit() << " on the screen, now "
                       << GetSystemMetrics(SM_CXSCREEN) << " x " << GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(screen.CountLit(), static_cast<size_t>(kFrameWidth * kFrameHeight)) << "lit outside the frame";
    // The screen mode is the one it was: a refused Stretch falls back to 0,
    // a switch the bare X screen cannot make.
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screenWidth);
    e2e::Pump(400);
    EXPECT_GT(e2e::CaptureScreen(left, top, kFrameWidth, kFrameHeight).CountDifferences(
                  screen.Crop(left, top, kFrameWidth, kFrameHeight)),
              static_cast<size_t>(kFrameWidth * kFrameHeight / 10))
        << "the picture does not move";

    ASSERT_NO_FATAL_FAILURE(EndWithInput(saver));

    // The saver modes never write the key: the wrecked values are still there.
    DWORD type = 0, size = 0;
    ASSERT_TRUE(e2e::ReadSettingShape("ScreenHeight", &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(size, 8u);
}

TEST_F(Cycles, FullScreenOverAWreckedKeyAndAnOversizedNameShowsTheErrorAndExitsZero) {
    WreckTheNumbers();
    // 400 bytes: more than the 299 the name buffer takes, so the name loads empty.
    const std::string longName = texture_ + std::string(400 - texture_.size() - 1, 'x');
    e2e::WriteSettingText("IMGFilename", longName);
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);

    e2e::Process saver;
    ASSERT_TRUE(saver.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver.id(), kWindowWait, e2e::kSaverClass), nullptr);
    e2e::Pump(1500);
    ASSERT_TRUE(saver.Running());
    const e2e::Pixels screen = e2e::CaptureScreen();
    e2e::SaveBmp(screen, Artifact("wrecked-key-oversized-name.bmp"));
    // The error text on its line through the centre, and no frame.
    const e2e::Pixels band = screen.Crop(screenWidth / 2 - 150, screenHeight / 2 - 12, 300, 24);
    EXPECT_GT(band.CountLit(), 1000u) << "no error text in the centre";
    EXPECT_EQ(screen.CountLit(), band.CountLit()) << "something besides the text was drawn";

    e2e::SendKey(VK_SPACE);
    DWORD exitCode = 12345;
    ASSERT_TRUE(saver.WaitForExitOrKill(kExitWait, &exitCode)) << "input did not end the saver";
    EXPECT_EQ(exitCode, 0u);
    ExpectNothingLeft(0, saver.id());
}


// "abc" stored with its terminator is four bytes, so it loads: a width of
// 6,513,249. The frame is cut to the largest side the saver makes, centred,
// so the band across the whole screen is drawn, and the saver still ends.
TEST_F(Cycles, FullScreenWidthInTheMillionsDrawsAcrossTheScreenAndExitsZero) {
    e2e::WriteSettings(RunSettings(1, 3, texture_));
    e2e::WriteSettingBytes("ScreenWidth", REG_SZ, "abc", 4);
    int32_t width = 0;
    ASSERT_TRUE(e2e::ReadSettingInt("ScreenWidth", &width));
    ASSERT_EQ(width, 6513249);
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int32_t top = (screenHeight - kFrameHeight) / 2;

    e2e::Process saver;
    ASSERT_TRUE(saver.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver.id(), kWindowWait, e2e::kSaverClass), nullptr);
    const bool drawn = WaitForLitRect(0, top, screenWidth, kFrameHeight, kFrameWait);
    const e2e::Pixels screen = e2e::CaptureScreen();
    e2e::SaveBmp(screen, Artifact("width-in-the-millions.bmp"));
    ASSERT_TRUE(drawn) << "no band across the screen: " << screen.Crop(0, top, screenWidth, kFrameHeight).CountLit()
                       << " of its pixels lit";
    EXPECT_EQ(screen.CountLit(), static_cast<size_t>(screenWidth * kFrameHeight)) << "lit above or below the band";

    ASSERT_NO_FATAL_FAILURE(EndWithInput(saver));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: cycles_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [CYCLES]\n");
        return 2;
    }
    SaverPath = e2e::ToWinePath(argv[1]);
    ArtifactsFolder = e2e::ToWinePath(argv[2]);
    if (argc >= 4) CycleCount = std::atoi(argv[3]);
    if (const char* fromEnvironment = std::getenv("GYROFOLD_CYCLES")) CycleCount = std::atoi(fromEnvironment);
    if (CycleCount < 1) {
        std::fprintf(stderr, "the cycle count must be 1 or more\n");
        return 2;
    }
    if (!e2e::MakeFolders(ArtifactsFolder)) {
        std::fprintf(stderr, "cannot make the artifacts folder %s\n", ArtifactsFolder.c_str());
        return 2;
    }
    return RUN_ALL_TESTS();
}
