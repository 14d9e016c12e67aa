// Display mode switching seen from outside: the real gyrofold.scr in a wine
// virtual desktop, whose display driver lists the usual modes up to the
// desktop size and really changes size on request (the bare Xvfb screen
// offers only its one mode and refuses every change).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/e2e/password_e2e_harness.h"

using namespace harness;

namespace {

constexpr DWORD kWindowWait = 15000;
constexpr DWORD kStartUpWait = 2000;
constexpr DWORD kExitWait = 10000;
constexpr int kDesktopWidth = 1024;
constexpr int kDesktopHeight = 768;

struct ModeSeen {
    DWORD width = 0, height = 0, bits = 0;
    int metricsWidth = 0, metricsHeight = 0;
};

ModeSeen CurrentMode() {
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    ModeSeen seen;
    seen.width = mode.dmPelsWidth;
    seen.height = mode.dmPelsHeight;
    seen.bits = mode.dmBitsPerPel;
    seen.metricsWidth = GetSystemMetrics(SM_CXSCREEN);
    seen.metricsHeight = GetSystemMetrics(SM_CYSCREEN);
    return seen;
}

std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

class DisplayModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ChangeDisplaySettingsA(nullptr, 0);
        DeleteKey(FAKE_SERVICES_KEY);
        DeleteValue(kDesktopKey, "ScreenSaveUsePassword");
        original_ = CurrentMode();
        ASSERT_EQ(original_.width, static_cast<DWORD>(kDesktopWidth)) << "not in the virtual desktop";
        ASSERT_EQ(original_.height, static_cast<DWORD>(kDesktopHeight));
    }
    void TearDown() override {
        DeleteValue(kDesktopKey, "ScreenSaveUsePassword");
        ChangeDisplaySettingsA(nullptr, 0);
    }

    // Starts the full-screen saver and waits until start-up is over.
    HWND StartSaver(Process& saver, int32_t stretch, int32_t width, int32_t height,
                    const std::vector<std::string>& fakes = {}) {
        const std::string folder = MakeWorkFolder(TestName(), fakes);
        WriteSaverSettings(folder, stretch, width, height);
        if (!Start(saver, folder, "/s")) return nullptr;
        HWND window = WaitForWindow(saver, kWindowWait);
        if (window != nullptr) Pump(kStartUpWait);
        return window;
    }

    void ExpectOriginalMode(const char* when) {
        const ModeSeen now = CurrentMode();
        EXPECT_EQ(now.width, original_.width) << when;
        EXPECT_EQ(now.height, original_.height) << when;
        EXPECT_EQ(now.bits, original_.bits) << when;
        EXPECT_EQ(now.metricsWidth, kDesktopWidth) << when;
        EXPECT_EQ(now.metricsHeight, kDesktopHeight) << when;
    }

    static void ExpectWindowCovers(HWND window, int width, int height) {
        RECT area;
        GetWindowRect(window, &area);
        EXPECT_EQ(area.left, 0);
        EXPECT_EQ(area.top, 0);
        EXPECT_EQ(area.right - area.left, width);
        EXPECT_EQ(area.bottom - area.top, height);
    }

    ModeSeen original_;
};

}  // namespace

struct SwitchCase {
    const char* name;
    int32_t stretch, width, height;
    DWORD duringWidth, duringHeight;
};

inline void PrintTo(const SwitchCase& c, std::ostream* out) { *out << c.name; }

class DisplayModeSwitchTest : public DisplayModeTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(DisplayModeSwitchTest, SwitchedForTheRunAndRestoredOnClose) {
    const SwitchCase& c = GetParam();
    Process saver;
    HWND window = StartSaver(saver, c.stretch, c.width, c.height);
    ASSERT_NE(window, nullptr) << "no saver window";

    const ModeSeen during = CurrentMode();
    EXPECT_EQ(during.width, c.duringWidth);
    EXPECT_EQ(during.height, c.duringHeight);
    // Wine tells only the process that changed the depth about it; other
    // processes keep seeing the desktop's own depth, so only a kept depth can
    // be checked from here.
    if (c.stretch == 0) {
        EXPECT_EQ(during.bits, original_.bits);
    }
    EXPECT_EQ(during.metricsWidth, static_cast<int>(c.duringWidth));
    EXPECT_EQ(during.metricsHeight, static_cast<int>(c.duringHeight));
    // The window is sized after the switch, to the new screen.
    ExpectWindowCovers(window, static_cast<int>(c.duringWidth), static_cast<int>(c.duringHeight));

    // Back and forth, so the edge of the smaller screen never swallows the
    // movement; the first one after start-up is enough.
    for (int attempt = 0; attempt < 10 && saver.Running(); ++attempt) {
        MoveMouse(attempt % 2 ? -5 : 5);
        Pump(500);
    }
    EXPECT_EQ(WaitExit(saver, kExitWait), 0);
    ExpectOriginalMode("after close");
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DisplayModeSwitchTest,
    ::testing::Values(
        // The listed mode is taken at once, depth kept.
        SwitchCase{"stretch0_exact_320x240", 0, 320, 240, 320, 240},
        // The depth is requested as well.
        SwitchCase{"stretch16_exact_320x240", 16, 320, 240, 320, 240},
        // 300 x 200 is not listed; the smallest listed mode holding it is 320 x 200.
        SwitchCase{"stretch0_fallback_300x200", 0, 300, 200, 320, 200},
        SwitchCase{"stretch16_fallback_300x200", 16, 300, 200, 320, 200},
        // No mode holds the size: the run stays in the original mode.
        SwitchCase{"stretch0_too_large", 0, 2000, 1500, kDesktopWidth, kDesktopHeight},
        // No listed mode has 24 bits per pixel, so the depth filter finds nothing.
        SwitchCase{"stretch24_no_such_depth", 24, 300, 200, kDesktopWidth, kDesktopHeight},
        // -1 leaves the display alone.
        SwitchCase{"stretch_minus1", -1, 320, 240, kDesktopWidth, kDesktopHeight}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.name); });

TEST_F(DisplayModeTest, WindowDestroyedWithoutCloseLeavesTheModeSwitched) {
    Process saver;
    HWND window = StartSaver(saver, 0, 320, 240);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(CurrentMode().width, 320u);
    // The destroy handling runs without a close request before it: the saver
    // ends, but nothing restores the mode.
    PostMessageA(window, WM_DESTROY, 0, 0);
    EXPECT_EQ(WaitExit(saver, kExitWait), 0);
    const ModeSeen after = CurrentMode();
    EXPECT_EQ(after.width, 320u);
    EXPECT_EQ(after.height, 240u);
}

TEST_F(DisplayModeTest, RefusedPasswordKeepsTheSwitchedModeUntilTheAcceptedClose) {
    WriteNumber(kDesktopKey, "ScreenSaveUsePassword", 1);
    WriteNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_ANSWER, 0);
    Process saver;
    HWND window = StartSaver(saver, 0, 320, 240, {"password\\PASSWORD.CPL"});
    ASSERT_NE(window, nullptr);

    MoveMouse(5);
    ASSERT_TRUE(WaitUntil(kExitWait,
                          [](void*) { return ReadNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_CALLS) >= 1; },
                          nullptr));
    Pump(500);
    EXPECT_TRUE(saver.Running());
    EXPECT_EQ(CurrentMode().width, 320u);
    EXPECT_EQ(CurrentMode().height, 240u);

    WriteNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_ANSWER, 1);
    for (int attempt = 0; attempt < 5 && ReadNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_CALLS) < 2; ++attempt) {
        MoveMouse(attempt % 2 ? 5 : -5);
        Pump(400);
    }
    EXPECT_EQ(WaitExit(saver, kExitWait), 0)
        << "verifier calls: " << ReadNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_CALLS);
    ExpectOriginalMode("after the accepted close");
}

// The tests run inside a wine virtual desktop of their own; this program
// starts itself again in one and hands back the inner run's result.
int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--inside") {
        const std::string resultFile = argv[2];
        int innerArgc = argc - 2;
        char** innerArgv = argv + 2;
        innerArgv[0] = argv[0];
        ::testing::InitGoogleTest(&innerArgc, innerArgv);
        const int result = RUN_ALL_TESTS();
        if (FILE* out = std::fopen(resultFile.c_str(), "w")) {
            std::fprintf(out, "%d\n", result);
            std::fclose(out);
        }
        return result;
    }

    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string resultFile = BuildRoot() + "\\tests\\e2e\\display_mode_e2e.result";
    DeleteFileA(resultFile.c_str());
    std::string command = "explorer.exe /desktop=gyrofold-modes-" + std::to_string(GetCurrentProcessId()) +
                          "," + std::to_string(kDesktopWidth) + "x" + std::to_string(kDesktopHeight) +
                          " \"" + self + "\" --inside \"" + resultFile + "\"";
    for (int i = 1; i < argc; ++i) command += std::string(" \"") + argv[i] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start the virtual desktop\n");
        return 2;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    int result = 3;
    if (FILE* in = std::fopen(resultFile.c_str(), "r")) {
        if (std::fscanf(in, "%d", &result) != 1) result = 3;
        std::fclose(in);
    } else {
        std::fprintf(stderr, "the run inside the virtual desktop left no result\n");
    }
    return result;
}
