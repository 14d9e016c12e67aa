// The drawing modes of the real gyrofold.scr, seen from outside: the frames on
// the screen against the portable core's own sequence, their pace, input,
// closing with and without a password, the display mode and a planted DLL.
// This program plays the part of Windows around the saver: it writes the
// registry, starts the saver in a folder of its own (with stand-ins beside it
// when a run wants them), hosts the preview pane, reads pixels back from the
// screen, sends real input and watches how the saver ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "settings/saver_settings.h"
#include "tests/fakes/fake_services.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/shown_frames.h"
#include "tests/support/test_window_win32.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Quillbox ScreenSavers\\Whirlpan";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kSaverClass[] = "Quillbox Whirlpan ScreenSaver";

// <build>, the artifacts folder, and <build>\gyrofold.scr, as wine names them.
std::string BuildRoot, Artifacts, SaverPath;

std::string Artifact(const std::string& name) { return Artifacts + "\\" + name; }

void Pump(DWORD milliseconds) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(5)) PumpMessages();
}

// Pumps until `done` holds. The limit only bounds how long a broken saver
// keeps a run waiting; it never decides an outcome.
template <typename Condition>
bool WaitUntil(Condition done, DWORD milliseconds = 10000) {
    for (const DWORD start = GetTickCount();; Pump(10))
        if (done()) return true;
        else if (GetTickCount() - start >= milliseconds) return false;
}

// A copy of the saver in a folder of its own, with the stand-in verifier and
// a planted winmm.dll beside it.
std::string WorkCopy() {
    const std::string folder = BuildRoot + "\\tests\\e2e\\work";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* fake : {"password\\PASSWORD.CPL", "winmm\\winmm.dll"})
        CopyFileA((BuildRoot + "\\tests\\fakes\\" + fake).c_str(), (folder + std::strchr(fake, '\\')).c_str(), FALSE);
    CopyFileA(SaverPath.c_str(), (folder + "\\gyrofold.scr").c_str(), FALSE);
    return folder + "\\gyrofold.scr";
}

// The values the runs set, as the saver stores them (4-byte REG_BINARY,
// IMGFilename REG_SZ), written by name here rather than by the saver's code;
// the motion keeps the defaults the saver falls back to without a value.
void WriteSettings(const SaverSettings& s) {
    const std::pair<const char*, int32_t> ints[] = {{"ScreenWidth", s.ScreenWidth}, {"ScreenHeight", s.ScreenHeight},
        {"Stretch", s.Stretch}, {"NumBuf", s.NumBuf}, {"UseHiColor", s.UseHiColor}, {"Warpy", s.Warpy}};
    for (const auto& [name, value] : ints)
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name, REG_BINARY, &value, 4);
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", REG_SZ, s.IMGFilename,
                    DWORD(std::strlen(s.IMGFilename) + 1));
}

// A 256 x 200 picture of cells, each its own bright colour with a one-texel
// checker inside, so a black pixel on the screen always means "not drawn"
// and a step off by one texel shows.
std::string WriteTexture() {
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) {
        const int cell = i / 4, shade = i % 4;
        palette[i] = {static_cast<uint8_t>(64 + (cell % 8) * 23 + shade * 5),
                      static_cast<uint8_t>(64 + (cell / 8) * 21 + shade * 3),
                      static_cast<uint8_t>(250 - (cell % 8) * 11 - (cell / 8) * 9 - shade * 7)};
    }
    bmpw::BmpImage image = bmpw::MakePalettedImage(256, 200, palette);
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 256; ++x)
            image.indices[static_cast<size_t>(y) * 256 + x] =
                static_cast<uint8_t>(((x / 32) + 8 * (y / 25)) * 4 + ((x ^ y) & 1) + 2 * ((x / 2 + y / 3) & 1));
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    return bmpw::SaveFile(Artifact("texture.bmp"), bmpw::WriteBmp(image, form));
}

// A picture read back from the screen, row 0 at the top, 0x00RRGGBB.
using Pixels = std::vector<uint32_t>;

uint64_t Hash(const Pixels& pixels) {
    uint64_t sum = 1469598103934665603ull;
    for (uint32_t colour : pixels) sum = (sum ^ colour) * 1099511628211ull;
    return sum;
}

Pixels Capture(int32_t left, int32_t top, int32_t width, int32_t height) {
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ saved = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    SelectObject(memory, saved);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height /* top-down */, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    Pixels pixels(size_t(width) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    for (uint32_t& colour : pixels) colour &= 0xFFFFFF;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Polls the rectangle until it shows a frame of the sequence: its number
// (0 when none came) and the time it was seen at.
int WaitForFrame(const std::unordered_map<uint64_t, int>& frames, int32_t left, int32_t top, int32_t width,
                 int32_t height, double* seenAt) {
    int k = 0;
    WaitUntil([&] {
        const DWORD before = GetTickCount();  // whole milliseconds under wine
        const Pixels seen = Capture(left, top, width, height);
        *seenAt = (double(before) + GetTickCount()) / 2000;
        const auto found = frames.find(Hash(seen));
        k = found == frames.end() ? 0 : found->second;
        return k != 0;
    }, 20000);
    return k;
}

void ResetKeys() {
    for (const char* key : {kSettingsKey, FAKE_SERVICES_KEY, "Software\\Wine\\AppDefaults\\gyrofold.scr"})
        RegDeleteTreeA(HKEY_CURRENT_USER, key);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveUsePassword");
}

class SaverRun : public ::testing::Test {
protected:
    void SetUp() override {
        ResetKeys();
        std::snprintf(settings_.IMGFilename, sizeof settings_.IMGFilename, "%s", WriteTexture().c_str());
        settings_.Stretch = -1;  // the display mode is left alone
    }
    // A failed check never leaves a saver covering the screen for the next run.
    void TearDown() override {
        if (saver_.hProcess) {
            TerminateProcess(saver_.hProcess, 99);  // fails harmlessly on a saver that ended
            WaitForSingleObject(saver_.hProcess, 5000);
            CloseHandle(saver_.hThread);
            CloseHandle(saver_.hProcess);
        }
        ResetKeys();
        ChangeDisplaySettingsA(nullptr, 0);  // a killed saver leaves its mode behind
    }
    bool Start(const std::string& program, const std::string& arguments) {
        std::string line = "\"" + program + "\" " + arguments;
        const std::string folder = program.substr(0, program.find_last_of('\\'));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        return CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                              &saver_) != 0;
    }
    bool Running() const { return saver_.hProcess && WaitForSingleObject(saver_.hProcess, 0) == WAIT_TIMEOUT; }
    // The saver's visible window, once it shows; null if the saver ended first.
    HWND WaitForSaverWindow() {
        HWND found = nullptr;
        WaitUntil([&] {
            DWORD owner = 0;
            HWND window = FindWindowA(kSaverClass, nullptr);
            GetWindowThreadProcessId(window, &owner);
            found = window && owner == saver_.dwProcessId && IsWindowVisible(window) ? window : nullptr;
            return found != nullptr || !Running();
        }, 15000);
        seen_ = GetTickCount();
        return found;
    }
    // Pumps while waiting: the saver sends messages to windows of this thread.
    void ExpectEnded() {
        DWORD exitCode = 12345;
        EXPECT_TRUE(WaitUntil([&] { return !Running(); })) << "the saver did not end";
        EXPECT_TRUE(GetExitCodeProcess(saver_.hProcess, &exitCode) && exitCode == 0) << exitCode;
    }
    // Start-up is three ticks of 250 ms from the window's creation: over a
    // second after the window was first seen. Then a few pixels toward the
    // middle of the screen, never swallowed by an edge (the pointer stays
    // where it was when a display mode switch shrank the screen).
    void MoveAfterStartUp() {
        const DWORD spent = GetTickCount() - seen_;
        if (spent < 1000) Pump(1000 - spent);
        POINT at = {};
        GetCursorPos(&at);
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = at.x < GetSystemMetrics(SM_CXSCREEN) / 2 ? 3 : -3;
        input.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &input, sizeof input);
    }
    SaverSettings settings_;
    PROCESS_INFORMATION saver_ = {};
    DWORD seen_ = 0;
};

struct FrameCase {
    const char* name;
    int32_t useHiColor, numBuf, width, height;
    bool preview, png = false;  // the texture, or picture.png from tests/data
};

class Frames : public SaverRun, public ::testing::WithParamInterface<FrameCase> {};

// Two screenshots a known time apart are frames k1 and k2 of the sequence:
// they give the frame rate. Full screen is paced to the display's refresh,
// the preview by a 50 ms wait before every frame.
TEST_P(Frames, ScreenShowsTheSequencePacedAsDocumented) {
    const FrameCase c = GetParam();
    settings_.UseHiColor = c.useHiColor, settings_.NumBuf = c.numBuf;
    if (c.png) std::snprintf(settings_.IMGFilename, sizeof settings_.IMGFilename, "%s", Artifact("picture.png").c_str());
    // The preview draws a frame of the pane's size, whatever the key says.
    if (!c.preview) settings_.ScreenWidth = c.width, settings_.ScreenHeight = c.height;
    WriteSettings(settings_);
    SaverSettings rendered = settings_;
    rendered.ScreenWidth = c.width, rendered.ScreenHeight = c.height;
    if (c.png) std::snprintf(rendered.IMGFilename, sizeof rendered.IMGFilename, "%s", Artifact("picture-png.bmp").c_str());
    HWND host = nullptr;
    int32_t left = (GetSystemMetrics(SM_CXSCREEN) - c.width) / 2, top = (GetSystemMetrics(SM_CYSCREEN) - c.height) / 2;
    if (c.preview) {
        // The pane: a black borderless popup that never paints. An 8-bit preview never blurs.
        host = MakeTestWindow(c.width, c.height, WS_POPUP | WS_VISIBLE, 200, 150);
        Pump(100);
        left = 200, top = 150;  // no border: the client area is the window
        if (!c.useHiColor) rendered.NumBuf = 0;
    }
    std::unordered_map<uint64_t, int> frames;  // frame k (the picture after k camera steps) by its hash
    ASSERT_TRUE(DrawShownFrames(rendered, 900, [&](int k, const Pixels& shown) { frames.emplace(Hash(shown), k); }));
    ASSERT_TRUE(Start(SaverPath, c.preview ? "/p " + std::to_string(uintptr_t(host)) : "/s"));
    if (!c.preview) WaitForSaverWindow();

    double at1 = 0, at2 = 0;
    const int k1 = WaitForFrame(frames, left, top, c.width, c.height, &at1);
    ASSERT_NE(k1, 0) << "the screen shows no frame of the sequence";
    if (!c.preview) {
        const Pixels screen = Capture(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        EXPECT_EQ(screen.size() - std::count(screen.begin(), screen.end(), 0u), size_t(c.width) * c.height)
            << "lit outside the frame";
    }
    Pump(1500);
    const int k2 = WaitForFrame(frames, left, top, c.width, c.height, &at2);
    ASSERT_NE(k2, 0) << "no later frame of the sequence (frame " << k1 << " first)";
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    const double rate = (k2 - k1) / (at2 - at1),
                 wanted = c.preview ? 20.0 : mode.dmDisplayFrequency > 1 ? mode.dmDisplayFrequency : 60;
    std::printf("[pace] %s: frames %d to %d in %.3f s: %.1f a second (paced to %.0f)\n", c.name, k1, k2, at2 - at1,
                rate, wanted);
    EXPECT_GE(rate, (c.preview ? 0.9 : 0.8) * wanted);
    EXPECT_LE(rate, (c.preview ? 1.025 : 1.05) * wanted);

    if (c.preview) DestroyWindow(host);
    else MoveAfterStartUp();
    ExpectEnded();
}

INSTANTIATE_TEST_SUITE_P(Modes, Frames,
    ::testing::Values(FrameCase{"PalettedBlur", 0, 3, 320, 240, false},
                      // A width that is not a multiple of 4 and an odd height.
                      FrameCase{"HiColorBlurOddSize", 1, 2, 318, 237, false},
                      // Read through WIC: the frames of a 24-bit BMP of the same pixels.
                      FrameCase{"HiColorPng", 1, 1, 320, 240, false, true},
                      FrameCase{"PreviewPaletted", 0, 3, 152, 112, true},
                      FrameCase{"PreviewHiColorBlurOddPane", 1, 3, 150, 113, true}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

// The display settings closing while the preview is still starting up ends it too.
TEST_F(SaverRun, PreviewEndsWithItsPaneDuringStartUp) {
    WriteSettings(settings_);
    HWND host = MakeTestWindow(152, 112, WS_POPUP | WS_VISIBLE, 200, 150);
    ASSERT_TRUE(Start(SaverPath, "/p " + std::to_string(uintptr_t(host))));
    EXPECT_TRUE(WaitUntil([&] { return FindWindowExA(host, nullptr, kSaverClass, nullptr) != nullptr; }));
    DestroyWindow(host);
    ExpectEnded();
}

// In a wine virtual desktop of 1024 x 768, whose driver really switches: 300 x
// 200 is no listed mode, so the smallest listed mode that holds it, depth asked
// for too (the other choices are display_mode_test's), until the close the
// stand-in verifier allows. Beside the saver too a planted winmm.dll (a saver
// run from Downloads), which never loads: the saver takes the system's. Wine
// takes its own winmm before any file of that name unless told to prefer a
// native one, as Windows would.
TEST_F(SaverRun, DisplayModeSwitchedForTheRunAndRestoredOnTheAcceptedClose) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024) << "not in the virtual desktop";
    settings_.Stretch = 16, settings_.ScreenWidth = 300, settings_.ScreenHeight = 200;
    settings_.NumBuf = 1, settings_.UseHiColor = 0;
    RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveUsePassword", REG_DWORD, "\1\0\0\0", 4);
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\gyrofold.scr\\DllOverrides", "winmm", REG_SZ,
                    "native,builtin", 15);
    WriteSettings(settings_);
    ASSERT_TRUE(Start(WorkCopy(), "/s"));
    HWND window = WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 200);
    RECT area = {};
    GetWindowRect(window, &area);
    EXPECT_EQ(area.right - area.left, 320) << "the window is sized after the switch";
    MoveAfterStartUp();
    ExpectEnded();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    // The verifier's library is loaded afresh for each question: any other load was the planted winmm.dll.
    EXPECT_NE(ReadFakeNumber(FAKE_VERIFY_CALLS), 0u) << "the verifier was not asked";
    EXPECT_EQ(ReadFakeNumber(FAKE_LOADS), ReadFakeNumber(FAKE_VERIFY_CALLS)) << "the planted winmm.dll was loaded";
}

// Linux paths as wine names them.
std::string ToWinePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path[0] == '\\' ? "Z:" + path : path;
}

}  // namespace

// Usage: gyrofold_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [gtest options]
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) return 2;
    SaverPath = ToWinePath(argv[1]);
    BuildRoot = SaverPath.substr(0, SaverPath.find_last_of('\\'));
    Artifacts = ToWinePath(argv[2]);
    CreateDirectoryA(Artifacts.c_str(), nullptr);
    return RUN_ALL_TESTS();
}
