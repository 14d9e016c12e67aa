// release_probe SETUP.exe OUTDIR: installs the Windows release silently, as
// an administrator would, and checks each step from outside: where the files
// land, their version information and icon, the registry, what the installed
// saver shows (the screenshot is left in OUTDIR), a reinstall over a user's
// settings, and two uninstalls, one with another saver chosen since.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gyrofold_version.h"

namespace {

const char kSettingsKey[] = "Software\\Quillbox ScreenSavers\\Whirlpan";
const char kDesktopKey[] = "Control Panel\\Desktop";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gyrofold";
const char kAbsent[] = "<absent>";
int failures = 0;

void Check(bool ok, const std::string& what, const std::string& seen = "")
{
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what.c_str(), seen.empty() ? "" : " -- saw ", seen.c_str());
    if (!ok) ++failures;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HANDLE Start(std::string commandLine)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

DWORD Run(const std::string& commandLine)
{
    HANDLE process = Start(commandLine);
    DWORD code = 999;
    if (process && WaitForSingleObject(process, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    if (process) CloseHandle(process);
    return code;
}

// A value's bytes, a string's without its terminator; "" for a key that exists, with no value named.
std::string ReadRegistry(HKEY root, const char* key, const char* value = nullptr)
{
    char data[1024];
    DWORD size = sizeof data, type = 0;
    HKEY h;
    // The NSIS installer is a 32-bit program, so its machine-wide keys sit in the 32-bit view.
    if (RegOpenKeyExA(root, key, 0, KEY_READ | KEY_WOW64_32KEY, &h) != ERROR_SUCCESS) return kAbsent;
    LSTATUS status = ERROR_SUCCESS;
    if (value) status = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(h);
    if (status != ERROR_SUCCESS) return kAbsent;
    return std::string(data, !value ? 0 : type == REG_SZ && size > 0 ? size - 1 : size);
}

// Letter case aside: Windows paths.
void CheckValue(HKEY root, const char* key, const char* value, const std::string& expected, const std::string& what)
{
    const std::string seen = ReadRegistry(root, key, value);
    Check(_stricmp(seen.c_str(), expected.c_str()) == 0, what, seen);
}

struct Layout { std::string saver, wrongSaver, instdir; };

Layout Expected()
{
    char windows[MAX_PATH], programs[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetEnvironmentVariableA("ProgramFiles", programs, MAX_PATH);
    const std::string w = windows;
#ifdef _WIN64
    // The real 64-bit system folder, never the 32-bit one.
    return {w + "\\system32\\gyrofold.scr", w + "\\SysWOW64\\gyrofold.scr", std::string(programs) + "\\Gyrofold"};
#else
    // SysWOW64 on 64-bit Windows; Sysnative names the real system32 from a 32-bit program.
    return {w + "\\SysWOW64\\gyrofold.scr", w + "\\Sysnative\\gyrofold.scr", std::string(programs) + "\\Gyrofold"};
#endif
}

void CheckVersionAndIcon(const std::string& path)
{
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), nullptr) + 1);
    Check(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) != 0, "version info of " + path);
    const char* const strings[][2] = {{"CompanyName", "Quillbox"}, {"FileDescription", "Quillbox Gyrofold"},
        {"ProductName", "Quillbox Gyrofold"}, {"OriginalFilename", "gyrofold.scr"},
        {"FileVersion", GYROFOLD_VERSION_TEXT}, {"LegalCopyright", "Copyright (C) 2026 Quillbox"}};
    for (const auto& s : strings) {
        char* text = nullptr;
        UINT length = 0;
        const std::string query = std::string("\\StringFileInfo\\040904E4\\") + s[0];
        const bool found = VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) && text;
        Check(found && std::strcmp(text, s[1]) == 0, std::string(s[0]) + " is " + s[1], found ? text : kAbsent);
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    const bool found = VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed;
    Check(found && fixed->dwFileVersionMS == MAKELONG(GYROFOLD_VERSION_MINOR, GYROFOLD_VERSION_MAJOR) &&
              fixed->dwFileVersionLS == MAKELONG(0, GYROFOLD_VERSION_PATCH),
        "file version number is " GYROFOLD_VERSION_TEXT ".0");

    // Icon group 100: its directory lists 16, 32, 48 and 256 (written as 0) pixel images.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC group = module ? FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(14)) : nullptr;
    const BYTE* dir = group ? static_cast<const BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
    std::string sides;
    for (int i = 0; dir && i < *reinterpret_cast<const WORD*>(dir + 4); ++i) sides += std::to_string(dir[6 + 14 * i]) + " ";
    Check(sides == "16 32 48 0 ", "icon 100 holds 16, 32, 48 and 256 pixels", sides);
    if (module) FreeLibrary(module);
}

// The installed saver, run as Windows runs it, must show the sample: its
// 320 x 240 frame centred on a black screen, full of strong colours of every
// hue, as the sample's colour wheel has them under any turn, zoom and blur.
// The start-up text or the load error would show white on black.
void CheckSaverShowsSample(const Layout& l, const std::string& outdir)
{
    HANDLE saver = Start("\"" + l.saver + "\" /s");
    Check(saver != nullptr, "installed saver starts with /s");
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    unsigned char* pixels = nullptr;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP shot = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels), nullptr, 0);
    SelectObject(memory, shot);
    // Screenshots until the frame shows the sample; the limit only ends the
    // wait for a saver that never draws it.
    const int left = (w - 320) / 2, top = (h - 240) / 2;
    int strong = 0, outside = 0, hues[8] = {};
    long long everyHue = 0;
    for (const DWORD start = GetTickCount(); everyHue < 6 && GetTickCount() - start < 30000; Sleep(100)) {
        BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        GdiFlush();
        strong = outside = 0;
        std::fill(hues, hues + 8, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = pixels + 4 * (static_cast<size_t>(h - 1 - y) * w + x);  // b, g, r
                if (x < left || x >= left + 320 || y < top || y >= top + 240) {
                    outside += p[0] + p[1] + p[2] != 0;
                } else if (std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) >= 64) {
                    ++strong;
                    ++hues[(p[2] >= p[1]) * 4 + (p[1] >= p[0]) * 2 + (p[2] >= p[0])];  // which hue sixth
                }
            }
        everyHue = std::count_if(hues, hues + 8, [](int count) { return count >= 320 * 240 / 50; });
    }
    TerminateProcess(saver, 0);  // each fails harmlessly on a saver that never started
    WaitForSingleObject(saver, 10000);
    CloseHandle(saver);
    Check(outside == 0 && strong >= 320 * 240 * 7 / 10 && everyHue == 6, "the screen shows the sample",
        std::to_string(outside) + " lit pixels outside the frame, " + std::to_string(strong * 100 / (320 * 240)) +
            "% strong colours, " + std::to_string(everyHue) + " of 6 hues");

    BITMAPFILEHEADER header = {0x4D42, static_cast<DWORD>(54 + 4 * w * h), 0, 0, 54};
    if (FILE* out = std::fopen((outdir + "\\installed-saver.bmp").c_str(), "wb")) {
        std::fwrite(&header, sizeof header, 1, out);
        std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, out);
        std::fwrite(pixels, 4, static_cast<size_t>(w) * h, out);
        std::fclose(out);
    }
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

void CheckInstalled(const Layout& l, bool present)
{
    const std::string files[] = {l.saver, l.instdir + "\\sample.bmp", l.instdir + "\\Uninstall.exe", l.instdir};
    for (const auto& file : files) Check(Exists(file) == present, file + (present ? " exists" : " is gone"));
    Check(!Exists(l.wrongSaver), l.wrongSaver + " never exists");
    Check(!Exists(l.instdir + "\\gyrofold.scr"), "no saver left in " + l.instdir);
    for (const char* key : {kUninstallKey, "Software\\Quillbox\\Gyrofold", "Software\\Quillbox"})
        Check((ReadRegistry(HKEY_LOCAL_MACHINE, key) != kAbsent) == present, std::string(key) + (present ? " exists" : " is gone"));
    if (present) CheckValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Quillbox Gyrofold", "uninstall entry's name");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string install = std::string("\"") + argv[1] + "\" /S";
    const Layout l = Expected();

    Check(Run(install) == 0, "silent install");
    CheckInstalled(l, true);
    CheckVersionAndIcon(l.saver);
    CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", l.instdir + "\\sample.bmp", "IMGFilename names the installed sample");
    CheckValue(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", l.saver, "SCRNSAVE.EXE names the installed saver");
    CheckSaverShowsSample(l, argv[2]);

    // A user's own settings survive a second install.
    const int32_t numBuf = 5;
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", REG_SZ, "C:\\mine.bmp", 12);
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "NumBuf", REG_BINARY, &numBuf, 4);
    Check(Run(install) == 0, "second silent install");
    CheckInstalled(l, true);
    CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", "C:\\mine.bmp", "second install keeps the user's IMGFilename");
    Check(ReadRegistry(HKEY_CURRENT_USER, kSettingsKey, "NumBuf") == std::string("\5\0\0\0", 4), "second install keeps NumBuf");

    // SCRNSAVE.EXE before the uninstall (empty: as the install left it) and after it.
    const char* const cases[][2] = {{"C:\\windows\\system32\\other.scr", "C:\\windows\\system32\\other.scr"}, {"", kAbsent}};
    for (const auto& c : cases) {
        if (&c != &cases[0]) Check(Run(install) == 0, "install again");
        if (*c[0]) RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", REG_SZ, c[0], static_cast<DWORD>(std::strlen(c[0]) + 1));
        // Run from a copy with _?=, as NSIS itself does, so that this waits for the real work.
        const std::string copy = "C:\\uninstall-copy.exe";
        CopyFileA((l.instdir + "\\Uninstall.exe").c_str(), copy.c_str(), FALSE);
        Check(Run("\"" + copy + "\" /S _?=" + l.instdir) == 0, "silent uninstall");
        DeleteFileA(copy.c_str());
        CheckInstalled(l, false);
        CheckValue(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", c[1], std::string("SCRNSAVE.EXE after the uninstall is ") + c[1]);
        CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", "C:\\mine.bmp", "uninstall keeps the settings");
    }
    std::printf("%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
