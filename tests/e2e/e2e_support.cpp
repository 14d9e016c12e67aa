#include "tests/e2e/e2e_support.h"

#include <cstdio>
#include <cstring>

namespace e2e {

// ---- Paths ----------------------------------------------------------------

std::string ToWinePath(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path;
    if (path.find('\\') != std::string::npos) return path;
    if (path.empty() || path[0] != '/') return path;
    std::string wine = "Z:" + path;
    for (char& letter : wine)
        if (letter == '/') letter = '\\';
    return wine;
}

bool MakeFolders(const std::string& folder) {
    const std::string path = ToWinePath(folder);
    for (size_t at = 3; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '\\') CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* out = std::fopen(ToWinePath(path).c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

// ---- Processes ------------------------------------------------------------

Process::~Process() {
    if (Running()) Kill();
    Close();
}

bool Process::Start(const std::string& program, const std::string& arguments) {
    if (Running()) Kill();
    Close();
    const std::string path = ToWinePath(program);
    std::string folder = path.substr(0, path.find_last_of('\\'));
    std::string commandLine = "\"" + path + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(path.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &info_) != 0;
}

bool Process::WaitForExit(DWORD milliseconds, DWORD* exitCode) {
    if (!info_.hProcess) return false;
    // Pump while waiting: the saver may send messages to windows this thread
    // owns (the preview host), and a host that does not answer would stall it.
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
        const DWORD result =
            MsgWaitForMultipleObjects(1, &info_.hProcess, FALSE, left, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) break;
        if (result == WAIT_OBJECT_0 + 1) {
            Pump(0);
            continue;
        }
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    if (exitCode) *exitCode = code;
    return true;
}

bool Process::WaitForExitOrKill(DWORD milliseconds, DWORD* exitCode) {
    if (WaitForExit(milliseconds, exitCode)) return true;
    Kill();
    return false;
}

bool Process::Running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
    if (!info_.hProcess) return;
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
}

void Process::Close() {
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) CloseHandle(info_.hProcess);
    info_ = {};
}

// ---- Windows --------------------------------------------------------------

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* caption;
    bool visibleOnly;
    std::vector<HWND> found;
};

bool Matches(HWND window, const WindowSearch& search) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId) return false;
    if (search.visibleOnly && !IsWindowVisible(window)) return false;
    if (search.className && WindowClass(window) != search.className) return false;
    if (search.caption && WindowText(window) != search.caption) return false;
    return true;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    if (Matches(window, *search)) search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const char* className, const char* caption,
                                  bool visibleOnly) {
    WindowSearch search{processId, className, caption, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopLevelWindow(DWORD processId, DWORD milliseconds, const char* className,
                           const char* caption, bool visibleOnly) {
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<HWND> windows = TopLevelWindows(processId, className, caption, visibleOnly);
        if (!windows.empty()) return windows.front();
        if (GetTickCount() - start >= milliseconds) return nullptr;
        Pump(20);
    }
}

HWND FindChildWindow(HWND parent, DWORD processId, const char* className) {
    WindowSearch search{processId, className, nullptr, false, {}};
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    // WM_GETTEXT rather than GetWindowText: it reads controls of another
    // process too (GetWindowText only asks windows of its own process).
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    text[sizeof text - 1] = '\0';
    return text;
}

std::string WindowClass(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace {

LRESULT CALLBACK PreviewHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) {
        ValidateRect(window, nullptr);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND CreatePreviewHost(int32_t width, int32_t height) {
    constexpr char kHostClass[] = "GyrofoldPreviewHost";
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = PreviewHostProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kHostClass;
        registered = RegisterClassA(&windowClass) != 0;
    }
    HWND host = CreateWindowExA(0, kHostClass, "Preview host", WS_POPUP | WS_VISIBLE, 200, 150, width, height,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (host == nullptr) return nullptr;
    // Start black, as the pane of the display settings does.
    HDC dc = GetDC(host);
    RECT client;
    GetClientRect(host, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(host, dc);
    Pump(100);
    return host;
}

void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (milliseconds) Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

// ---- Any key under HKEY_CURRENT_USER -----------------------------------------

void WriteValue(const char* keyName, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void WriteNumber(const char* key, const char* name, DWORD value) {
    WriteValue(key, name, REG_DWORD, &value, sizeof value);
}

void WriteText(const char* key, const char* name, const std::string& text) {
    WriteValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool ReadValue(const char* keyName, const char* name, DWORD* type, void* data, DWORD* size) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool ok =
        RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

DWORD ReadNumber(const char* key, const char* name) {
    DWORD value = 0, size = sizeof value;
    return ReadValue(key, name, nullptr, &value, &size) ? value : 0;
}

void DeleteValue(const char* keyName, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

void DeleteKey(const char* key) { RegDeleteTreeA(HKEY_CURRENT_USER, key); }

// ---- Settings key ---------------------------------------------------------

void WriteSettingBytes(const char* name, DWORD type, const void* data, DWORD size) {
    WriteValue(kSettingsKey, name, type, data, size);
}

void WriteSettingInt(const char* name, int32_t value) {
    WriteSettingBytes(name, REG_BINARY, &value, sizeof value);
}

void WriteSettingDouble(const char* name, double value) {
    WriteSettingBytes(name, REG_BINARY, &value, sizeof value);
}

void WriteSettingText(const char* name, const std::string& text) {
    WriteSettingBytes(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

namespace {

bool ReadSettingRaw(const char* name, DWORD* type, void* data, DWORD* size) {
    return ReadValue(kSettingsKey, name, type, data, size);
}

}  // namespace

bool ReadSettingInt(const char* name, int32_t* value) {
    DWORD size = sizeof *value;
    return ReadSettingRaw(name, nullptr, value, &size) && size == sizeof *value;
}

bool ReadSettingDouble(const char* name, double* value) {
    DWORD size = sizeof *value;
    return ReadSettingRaw(name, nullptr, value, &size) && size == sizeof *value;
}

bool ReadSettingText(const char* name, std::string* text) {
    char buffer[1024] = "";
    DWORD size = sizeof buffer - 1;
    if (!ReadSettingRaw(name, nullptr, buffer, &size)) return false;
    buffer[size < sizeof buffer ? size : sizeof buffer - 1] = '\0';
    *text = buffer;
    return true;
}

bool ReadSettingShape(const char* name, DWORD* type, DWORD* size) {
    *size = 0;
    return ReadSettingRaw(name, type, nullptr, size);
}

void DeleteSetting(const char* name) { DeleteValue(kSettingsKey, name); }

void DeleteSettingsKey() { DeleteKey(kSettingsKey); }

void WriteSettings(const SettingsValues& settings) {
    WriteSettingInt("ScreenWidth", settings.screenWidth);
    WriteSettingInt("ScreenHeight", settings.screenHeight);
    WriteSettingInt("Stretch", settings.stretch);
    WriteSettingInt("Warpy", settings.warpy);
    WriteSettingInt("NumBuf", settings.numBuf);
    WriteSettingInt("UseHiColor", settings.useHiColor);
    WriteSettingDouble("XScale", settings.xScale);
    WriteSettingDouble("YScale", settings.yScale);
    WriteSettingDouble("Rot1", settings.rot1);
    WriteSettingDouble("Rot2", settings.rot2);
    WriteSettingDouble("Zoom1", settings.zoom1);
    WriteSettingDouble("Zoom2", settings.zoom2);
    WriteSettingText("IMGFilename", settings.imageFile);
}

// ---- Pixels ---------------------------------------------------------------

Pixels Pixels::Crop(int32_t left, int32_t top, int32_t cropWidth, int32_t cropHeight) const {
    Pixels part;
    part.width = cropWidth;
    part.height = cropHeight;
    part.rgb.assign(static_cast<size_t>(cropWidth) * cropHeight, 0);
    for (int32_t y = 0; y < cropHeight; ++y)
        for (int32_t x = 0; x < cropWidth; ++x)
            if (left + x >= 0 && left + x < width && top + y >= 0 && top + y < height)
                part.rgb[static_cast<size_t>(y) * cropWidth + x] = At(left + x, top + y);
    return part;
}

size_t Pixels::CountLit() const {
    size_t lit = 0;
    for (uint32_t colour : rgb) lit += (colour & 0xFFFFFF) != 0;
    return lit;
}

size_t Pixels::CountDifferences(const Pixels& other) const {
    if (other.width != width || other.height != height) return rgb.size() > other.rgb.size() ? rgb.size() : other.rgb.size();
    size_t differences = 0;
    for (size_t at = 0; at < rgb.size(); ++at) differences += (rgb[at] & 0xFFFFFF) != (other.rgb[at] & 0xFFFFFF);
    return differences;
}

Pixels CaptureScreen(int32_t left, int32_t top, int32_t width, int32_t height) {
    Pixels pixels;
    if (width <= 0 || height <= 0) return pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, so row 0 is the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ saved = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
        GdiFlush();
        pixels.width = width;
        pixels.height = height;
        const auto* source = static_cast<const uint32_t*>(bits);
        pixels.rgb.assign(source, source + static_cast<size_t>(width) * height);
        for (uint32_t& colour : pixels.rgb) colour &= 0xFFFFFF;
        SelectObject(memory, saved);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Pixels CaptureScreen() {
    return CaptureScreen(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

Pixels CaptureClientArea(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return CaptureScreen(origin.x, origin.y, client.right - client.left, client.bottom - client.top);
}

bool SaveBmp(const Pixels& pixels, const std::string& path) {
    const uint32_t rowBytes = (static_cast<uint32_t>(pixels.width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(pixels.height);
    std::vector<uint8_t> file(54 + imageBytes, 0);
    auto put16 = [&](size_t at, uint16_t value) { std::memcpy(&file[at], &value, 2); };
    auto put32 = [&](size_t at, uint32_t value) { std::memcpy(&file[at], &value, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(pixels.width));
    put32(22, static_cast<uint32_t>(pixels.height));
    put16(26, 1);
    put16(28, 24);
    put32(34, imageBytes);
    for (int32_t y = 0; y < pixels.height; ++y) {
        uint8_t* row = &file[54 + static_cast<size_t>(pixels.height - 1 - y) * rowBytes];
        for (int32_t x = 0; x < pixels.width; ++x) {
            const uint32_t colour = pixels.At(x, y);
            row[3 * x + 0] = colour & 0xFF;
            row[3 * x + 1] = (colour >> 8) & 0xFF;
            row[3 * x + 2] = (colour >> 16) & 0xFF;
        }
    }
    FILE* out = std::fopen(ToWinePath(path).c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

// ---- Input ----------------------------------------------------------------

void SendMouseMove(int32_t dx, int32_t dy) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

void SendMouseClick() {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof inputs[0]);
}

void SendKey(WORD virtualKey) {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = virtualKey;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof inputs[0]);
}

// ---- Message boxes --------------------------------------------------------

namespace {

BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
    auto* text = reinterpret_cast<std::string*>(context);
    if (WindowClass(child) == "Static") {
        const std::string line = WindowText(child);
        if (!line.empty()) {
            if (!text->empty()) *text += "\n";
            *text += line;
        }
    }
    return TRUE;
}

struct ButtonSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindButton(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<ButtonSearch*>(context);
    if (WindowClass(child) != "Button") return TRUE;
    if (search->caption) {
        // Captions may carry an accelerator ampersand ("&OK").
        std::string caption = WindowText(child);
        std::string plain;
        for (char letter : caption)
            if (letter != '&') plain += letter;
        if (plain != search->caption) return TRUE;
    }
    search->found = child;
    return FALSE;
}

}  // namespace

MessageBoxSeen WaitForMessageBox(DWORD processId, DWORD milliseconds) {
    MessageBoxSeen seen;
    seen.box = WaitForTopLevelWindow(processId, milliseconds, kDialogClass);
    if (!seen.box) return seen;
    // The box may still be filling in its controls.
    Pump(100);
    seen.caption = WindowText(seen.box);
    EnumChildWindows(seen.box, CollectStaticText, reinterpret_cast<LPARAM>(&seen.text));
    return seen;
}

bool PressButton(HWND box, const char* buttonCaption) {
    ButtonSearch search{buttonCaption, nullptr};
    EnumChildWindows(box, FindButton, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;
    // Posted, not sent: the box's owner runs a modal loop that picks it up.
    PostMessageA(search.found, BM_CLICK, 0, 0);
    return true;
}

}  // namespace e2e
