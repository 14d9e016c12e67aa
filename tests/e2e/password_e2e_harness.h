#pragma once
// What the password and display mode runs need to play the platform: a work
// folder holding the saver and the chosen stand-in services, the settings and
// desktop registry values, starting and watching the saver, real input, and
// the error boxes it may show.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fakes/fake_services.h"
#include "tests/support/bmp_writer.h"

namespace harness {

constexpr char kSettingsKey[] = "Software\\Quillbox ScreenSavers\\Whirlpan";
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

inline bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Registry values under HKEY_CURRENT_USER.
inline void SetBytes(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY handle = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
}
inline void SetNumber(const char* key, const char* name, DWORD value) {
    SetBytes(key, name, REG_DWORD, &value, sizeof value);
}
inline void SetText(const char* key, const char* name, const std::string& text) {
    SetBytes(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
inline void DeleteValue(const char* key, const char* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, name);
    RegCloseKey(handle);
}
inline void DeleteKey(const char* key) { RegDeleteTreeA(HKEY_CURRENT_USER, key); }
inline bool ReadBytes(const char* key, const char* name, void* data, DWORD size) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD got = size;
    const bool ok = RegQueryValueExA(handle, name, nullptr, nullptr, static_cast<BYTE*>(data), &got) ==
                    ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}
inline DWORD ReadNumber(const char* key, const char* name) {
    DWORD value = 0;
    return ReadBytes(key, name, &value, sizeof value) ? value : 0;
}
inline uint64_t ReadWindowValue(const char* key, const char* name) {
    uint64_t value = 0;
    return ReadBytes(key, name, &value, sizeof value) ? value : ~0ull;
}
inline std::string ReadText(const char* key, const char* name) {
    char text[256] = "";
    return ReadBytes(key, name, text, sizeof text - 1) ? std::string(text) : std::string("<absent>");
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

    DeleteKey(kSettingsKey);
    SetText(kSettingsKey, "IMGFilename", picture);
    SetBytes(kSettingsKey, "Stretch", REG_BINARY, &stretch, 4);
    SetBytes(kSettingsKey, "ScreenWidth", REG_BINARY, &width, 4);
    SetBytes(kSettingsKey, "ScreenHeight", REG_BINARY, &height, 4);
    const int32_t numBuf = 1, hiColor = 0;
    SetBytes(kSettingsKey, "NumBuf", REG_BINARY, &numBuf, 4);
    SetBytes(kSettingsKey, "UseHiColor", REG_BINARY, &hiColor, 4);
}

// Wine's loader prefers its own mpr.dll over one in the program's folder;
// a per-program override in the registry makes it take the folder's copy
// ("native") or none at all ("").
inline void OverrideMpr(const char* loadOrder) {
    SetText("Software\\Wine\\AppDefaults\\gyrofold.scr\\DllOverrides", "mpr", loadOrder);
}
inline void ClearMprOverride() { DeleteKey("Software\\Wine\\AppDefaults\\gyrofold.scr"); }

// Waits while serving this thread's windows: a window made here may own the
// saver's dialogs, and they send it messages that must be answered.
inline void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD waited = GetTickCount() - start;
        if (waited >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited, QS_ALLINPUT);
    }
}

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
    ~Process() {
        if (handle != nullptr) {
            if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) TerminateProcess(handle, 99);
            CloseHandle(handle);
        }
    }
    bool Running() const { return WaitForSingleObject(handle, 0) == WAIT_TIMEOUT; }
    // The exit code, or -1 when the process is still running after the wait.
    long WaitExit(DWORD milliseconds) const {
        for (DWORD waited = 0; Running(); waited += 50) {
            if (waited >= milliseconds) return -1;
            Pump(50);
        }
        DWORD code = 0;
        GetExitCodeProcess(handle, &code);
        return static_cast<long>(code);
    }
};

inline bool Start(Process& process, const std::string& folder, const std::string& arguments) {
    std::string command = "\"" + folder + "\\gyrofold.scr\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
    return true;
}

struct WindowSearch {
    DWORD process;
    const char* className;  // nullptr = any
    const char* title;      // nullptr = any
    std::vector<HWND> found;
};

inline BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window)) return TRUE;
    char text[256] = "";
    if (search->className != nullptr) {
        GetClassNameA(window, text, sizeof text);
        if (lstrcmpA(text, search->className) != 0) return TRUE;
    }
    if (search->title != nullptr) {
        GetWindowTextA(window, text, sizeof text);
        if (lstrcmpA(text, search->title) != 0) return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}

inline std::vector<HWND> VisibleWindows(DWORD process, const char* className = nullptr,
                                        const char* title = nullptr) {
    WindowSearch search{process, className, title, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Every top-level window of the process, for failure messages.
inline std::string DescribeWindows(DWORD process) {
    struct Context { DWORD process; std::string text; } context{process, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Context*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != c->process) return TRUE;
            char name[128] = "", title[128] = "";
            GetClassNameA(window, name, sizeof name);
            GetWindowTextA(window, title, sizeof title);
            c->text += std::string("[") + name + " \"" + title + "\"" +
                       (IsWindowVisible(window) ? " visible" : " hidden") + "] ";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
    return context.text.empty() ? std::string("no windows") : context.text;
}

// Waits for a visible top-level window of the process; 0 on timeout.
inline HWND WaitForWindow(const Process& process, DWORD milliseconds, const char* className = nullptr,
                          const char* title = nullptr) {
    for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
        const std::vector<HWND> found = VisibleWindows(process.id, className, title);
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
inline void MoveMouse(int dx) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dx;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

// The static text of a message box.
inline std::string BoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    char buffer[256] = "";
    if (text != nullptr) GetWindowTextA(text, buffer, sizeof buffer);
    return buffer;
}

inline void DismissBox(HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }

// A checksum of what the window shows on screen.
inline uint64_t ScreenChecksum(HWND window) {
    RECT area;
    GetClientRect(window, &area);
    const int width = area.right, height = area.bottom;
    if (width <= 0 || height <= 0) return 0;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    uint64_t sum = 1469598103934665603ull;
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) sum = (sum ^ (pixels[i] & 0xFFFFFF)) * 1099511628211ull;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
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
