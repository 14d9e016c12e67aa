#pragma once
// What the password and display mode runs add to the end-to-end support: a
// work folder holding the saver and the chosen stand-in services, the desktop
// and stand-in registry values, and short forms of the waits they repeat.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/fakes/fake_services.h"
#include "tests/support/bmp_writer.h"

namespace harness {

using e2e::DeleteKey;
using e2e::DeleteValue;
using e2e::Process;
using e2e::Pump;
using e2e::ReadNumber;
using e2e::WriteNumber;
using e2e::WriteText;
using e2e::WriteValue;

constexpr char kDesktopKey[] = "Control Panel\\Desktop";

// The build folder: this program lives in <build>\tests\e2e.
inline std::string BuildRoot() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string root = path;
    for (int up = 0; up < 3; ++up) root = root.substr(0, root.find_last_of("\\/"));
    return root;
}

inline std::string FakesDir() { return BuildRoot() + "\\tests\\fakes"; }

// A fresh folder with gyrofold.scr and the named fakes (e.g. "password\\PASSWORD.CPL").
inline std::string MakeWorkFolder(std::string name, const std::vector<std::string>& fakes) {
    // Parameterised test names hold slashes.
    for (char& letter : name)
        if (letter == '/' || letter == '\\') letter = '_';
    const std::string base = BuildRoot() + "\\tests\\e2e\\work";
    CreateDirectoryA(base.c_str(), nullptr);
    const std::string folder = base + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* file : {"gyrofold.scr", "PASSWORD.CPL", "MPR.DLL", "picture.bmp"})
        DeleteFileA((folder + "\\" + file).c_str());
    CopyFileA((BuildRoot() + "\\gyrofold.scr").c_str(), (folder + "\\gyrofold.scr").c_str(), FALSE);
    for (const std::string& fake : fakes) {
        const std::string file = fake.substr(fake.find_last_of('\\') + 1);
        CopyFileA((FakesDir() + "\\" + fake).c_str(), (folder + "\\" + file).c_str(), FALSE);
    }
    return folder;
}

// The window handle a stand-in recorded (8 bytes), or all ones when missing.
inline uint64_t ReadWindowValue(const char* key, const char* name) {
    uint64_t value = 0;
    DWORD size = sizeof value;
    return e2e::ReadValue(key, name, nullptr, &value, &size) ? value : ~0ull;
}

inline std::string ReadText(const char* key, const char* name) {
    char text[256] = "";
    DWORD size = sizeof text - 1;
    return e2e::ReadValue(key, name, nullptr, text, &size) ? std::string(text) : std::string("<absent>");
}

// The saver's settings for a full-screen run: an 8-bit picture in the work
// folder and the given display mode choice. Blur off keeps start-up short.
inline void WriteSaverSettings(const std::string& folder, int32_t stretch, int32_t width, int32_t height) {
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)};
    bmpw::BmpImage image = bmpw::MakePalettedImage(64, 64, palette);
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    const std::string picture = folder + "\\picture.bmp";
    HANDLE file = CreateFileA(picture.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);

    e2e::DeleteSettingsKey();
    e2e::WriteSettingText("IMGFilename", picture);
    e2e::WriteSettingInt("Stretch", stretch);
    e2e::WriteSettingInt("ScreenWidth", width);
    e2e::WriteSettingInt("ScreenHeight", height);
    e2e::WriteSettingInt("NumBuf", 1);
    e2e::WriteSettingInt("UseHiColor", 0);
}

// Wine's loader prefers its own mpr.dll over one in the program's folder;
// a per-program override in the registry makes it take the folder's copy
// ("native") or none at all ("").
inline void OverrideMpr(const char* loadOrder) {
    WriteText("Software\\Wine\\AppDefaults\\gyrofold.scr\\DllOverrides", "mpr", loadOrder);
}
inline void ClearMprOverride() { DeleteKey("Software\\Wine\\AppDefaults\\gyrofold.scr"); }

// Starts the copy of the saver in the work folder.
inline bool Start(Process& process, const std::string& folder, const std::string& arguments) {
    return process.Start(folder + "\\gyrofold.scr", arguments);
}

// The exit code, or -1 when the process still runs after the wait.
inline long WaitExit(Process& process, DWORD milliseconds) {
    DWORD code = 0;
    return process.WaitForExit(milliseconds, &code) ? static_cast<long>(code) : -1;
}

// Every top-level window of the process, for failure messages.
inline std::string DescribeWindows(DWORD process) {
    std::string text;
    for (HWND window : e2e::TopLevelWindows(process, nullptr, nullptr, false)) {
        text += "[" + e2e::WindowClass(window) + " \"" + e2e::WindowText(window) + "\"" +
                (IsWindowVisible(window) ? " visible" : " hidden") + "] ";
    }
    return text.empty() ? std::string("no windows") : text;
}

// Waits for a visible top-level window of the process; 0 on timeout or when
// the process has ended.
inline HWND WaitForWindow(const Process& process, DWORD milliseconds, const char* className = nullptr,
                          const char* title = nullptr) {
    for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
        const std::vector<HWND> found = e2e::TopLevelWindows(process.id(), className, title);
        if (!found.empty()) return found.front();
        if (!process.Running()) return nullptr;
        Pump(50);
    }
    return nullptr;
}

inline bool WaitUntil(DWORD milliseconds, bool (*condition)(void*), void* context) {
    for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
        if (condition(context)) return true;
        Pump(50);
    }
    return false;
}

// A real relative mouse movement, as the user would make it.
inline void MoveMouse(int dx) { e2e::SendMouseMove(dx, dx); }

// The static text of a message box.
inline std::string BoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text != nullptr ? e2e::WindowText(text) : std::string();
}

inline void DismissBox(HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }

// A checksum of what the window shows on screen.
inline uint64_t ScreenChecksum(HWND window) {
    uint64_t sum = 1469598103934665603ull;
    for (uint32_t colour : e2e::CaptureClientArea(window).rgb) sum = (sum ^ colour) * 1099511628211ull;
    return sum;
}

// Whether the window's picture changes within the time: frames still appear.
inline bool FramesAppear(HWND window, DWORD milliseconds) {
    const uint64_t first = ScreenChecksum(window);
    for (DWORD waited = 0; waited <= milliseconds; waited += 100) {
        Pump(100);
        if (ScreenChecksum(window) != first) return true;
    }
    return false;
}

}  // namespace harness
