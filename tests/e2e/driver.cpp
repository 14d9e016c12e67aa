#include "tests/e2e/driver.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "tests/fakes/fake_services.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/test_window_win32.h"

namespace e2e {

std::string BuildRoot, Artifacts, SaverPath;

std::string Artifact(const std::string& name) { return Artifacts + "\\" + name; }

void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        if (milliseconds) Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

// ---- Processes ----------------------------------------------------------------

bool Process::Start(const std::string& program, const std::string& arguments) {
    Kill();
    std::string line = "\"" + program + "\" " + arguments;
    const std::string folder = program.substr(0, program.find_last_of('\\'));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                          &info_) != 0;
}

bool Process::WaitForExit(DWORD milliseconds, DWORD* exitCode) {
    if (!info_.hProcess) return false;
    // Pump while waiting: the saver sends messages to windows of this thread.
    for (const DWORD start = GetTickCount();;) {
        const DWORD spent = GetTickCount() - start;
        const DWORD result = MsgWaitForMultipleObjects(1, &info_.hProcess, FALSE,
                                                       spent >= milliseconds ? 0 : milliseconds - spent, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) break;
        if (result != WAIT_OBJECT_0 + 1) return false;
        Pump(0);
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    if (exitCode) *exitCode = code;
    return true;
}

bool Process::Running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

void Process::Kill() {
    if (!info_.hProcess) return;
    if (Running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
    info_ = {};
}

std::string WorkCopy(const std::vector<std::string>& fakes) {
    const std::string folder = BuildRoot + "\\tests\\e2e\\work";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* file : {"PASSWORD.CPL", "winmm.dll"}) DeleteFileA((folder + "\\" + file).c_str());
    CopyFileA(SaverPath.c_str(), (folder + "\\gyrofold.scr").c_str(), FALSE);
    for (const std::string& fake : fakes)
        CopyFileA((BuildRoot + "\\tests\\fakes\\" + fake).c_str(),
                  (folder + fake.substr(fake.find_last_of('\\'))).c_str(), FALSE);
    return folder + "\\gyrofold.scr";
}

// ---- Windows --------------------------------------------------------------------

namespace {

struct Search {
    DWORD processId;  // 0: any process, visible or not
    const char* className;
    HWND found;
};

BOOL CALLBACK Collect(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    if ((search->processId == 0 || (owner == search->processId && IsWindowVisible(window))) &&
        std::strcmp(name, search->className) == 0)
        return search->found = window, FALSE;
    return TRUE;
}

}  // namespace

HWND WaitForWindow(const Process& process, const char* className, DWORD milliseconds) {
    Search search{process.id(), className, nullptr};
    WaitUntil([&] { return EnumWindows(Collect, LPARAM(&search)), search.found != nullptr || !process.Running(); },
              milliseconds);
    return search.found;
}

HWND FindChild(HWND parent, const char* className) {
    Search search{0, className, nullptr};
    EnumChildWindows(parent, Collect, LPARAM(&search));
    return search.found;
}

HWND CreateHost(int32_t width, int32_t height) {
    HWND host = MakeTestWindow(width, height, WS_POPUP | WS_VISIBLE, 200, 150);
    Pump(100);
    return host;
}

// ---- Registry ---------------------------------------------------------------------

void WriteValue(const char* keyName, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void DeleteKey(const char* key) { RegDeleteTreeA(HKEY_CURRENT_USER, key); }

void WriteSettings(const SaverSettings& s) {
    const std::pair<const char*, int32_t> ints[] = {{"ScreenWidth", s.ScreenWidth}, {"ScreenHeight", s.ScreenHeight},
        {"Stretch", s.Stretch}, {"NumBuf", s.NumBuf}, {"UseHiColor", s.UseHiColor}, {"Warpy", s.Warpy}};
    const std::pair<const char*, double> doubles[] = {{"XScale", s.XScale}, {"YScale", s.YScale}, {"Rot1", s.Rot1},
        {"Rot2", s.Rot2}, {"Zoom1", s.Zoom1}, {"Zoom2", s.Zoom2}};
    for (const auto& [name, value] : ints) WriteValue(kSettingsKey, name, REG_BINARY, &value, 4);
    for (const auto& [name, value] : doubles) WriteValue(kSettingsKey, name, REG_BINARY, &value, 8);
    WriteValue(kSettingsKey, "IMGFilename", REG_SZ, s.IMGFilename, DWORD(std::strlen(s.IMGFilename) + 1));
}

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

// ---- Pixels -------------------------------------------------------------------------

size_t Pixels::CountLit() const {
    size_t lit = 0;
    for (uint32_t colour : rgb) lit += colour != 0;
    return lit;
}

uint64_t Pixels::Hash() const {
    uint64_t sum = 1469598103934665603ull;
    for (uint32_t colour : rgb) sum = (sum ^ colour) * 1099511628211ull;
    return sum;
}

Pixels Capture(int32_t left, int32_t top, int32_t width, int32_t height) {
    Pixels pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
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

Pixels CaptureScreen() { return Capture(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)); }

// ---- Input ----------------------------------------------------------------------------

void MoveInward() {
    POINT at = {};
    GetCursorPos(&at);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = at.x < GetSystemMetrics(SM_CXSCREEN) / 2 ? 3 : -3;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

void ExpectEndedCleanly(Process& saver) {
    DWORD exitCode = 12345;
    EXPECT_TRUE(saver.WaitForExit(10000, &exitCode)) << "the saver did not end";
    EXPECT_EQ(exitCode, 0u);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        EXPECT_NE(lstrcmpiA(entry.szExeFile, "gyrofold.scr"), 0) << "a saver process is left";
    CloseHandle(snapshot);
    EXPECT_EQ(FindWindowA(kSaverClass, nullptr), nullptr) << "a saver window is left";
    BOOL running = TRUE;
    if (SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) {
        EXPECT_FALSE(running) << "the running-saver announcement is left on";
    }
    saver.Kill();
}

}  // namespace e2e

namespace {

// Runs the tests in a wine virtual desktop of their own, whose display driver
// lists the usual modes and really changes them (the bare Xvfb screen offers
// one mode and refuses every change); hands back the inner run's result.
int RunInVirtualDesktop(const std::vector<std::string>& arguments) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string result = e2e::Artifact("desktop.result");
    DeleteFileA(result.c_str());
    std::string command = "explorer.exe /desktop=gyrofold-" + std::to_string(GetCurrentProcessId()) +
                          ",1024x768 \"" + self + "\" --inside \"" + result + "\"";
    for (const std::string& argument : arguments) command += " \"" + argument + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return 2;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    int code = 3;
    if (FILE* in = std::fopen(result.c_str(), "r")) {
        if (std::fscanf(in, "%d", &code) != 1) code = 3;
        std::fclose(in);
    }
    return code;
}

std::string ToWinePath(std::string path) {
    if (path.empty() || path[0] != '/') return path;
    for (char& letter : path)
        if (letter == '/') letter = '\\';
    return "Z:" + path;
}

}  // namespace

// Usage: gyrofold_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [--desktop] [gtest options]
int main(int argc, char** argv) {
    std::string resultFile;
    if (argc >= 3 && std::string(argv[1]) == "--inside") {
        resultFile = argv[2];
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: gyrofold_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [--desktop]\n");
        return 2;
    }
    e2e::SaverPath = ToWinePath(argv[1]);
    e2e::BuildRoot = e2e::SaverPath.substr(0, e2e::SaverPath.find_last_of('\\'));
    e2e::Artifacts = ToWinePath(argv[2]);
    CreateDirectoryA(e2e::Artifacts.c_str(), nullptr);
    if (argc >= 4 && std::string(argv[3]) == "--desktop" && resultFile.empty()) return RunInVirtualDesktop(arguments);
    const int result = RUN_ALL_TESTS();
    FILE* out = resultFile.empty() ? nullptr : std::fopen(resultFile.c_str(), "w");
    if (out) std::fprintf(out, "%d\n", result), std::fclose(out);
    return result;
}
