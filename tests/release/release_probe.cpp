// release_probe SETUP.exe ZIP_FOLDER: installs the Windows release silently,
// as an administrator would, and once through its pages, and checks each step
// from outside: where the files land (the saver and the sample the same bytes
// as the ZIP's, unpacked in ZIP_FOLDER), version information, icon and
// manifest, the Add/Remove entry in the build's registry view, the per-account
// set-up, a reinstall while the saver runs, and uninstalls that give back the
// screen saver chosen before. What the saver shows is the e2e runs' part.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
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

#ifdef _WIN64
const REGSAM kView = KEY_WOW64_64KEY, kOtherView = KEY_WOW64_32KEY;
const char kActiveSetupKey[] = "Software\\Microsoft\\Active Setup\\Installed Components\\Quillbox.Gyrofold.win64";
const char kDisplayName[] = "Quillbox Gyrofold (64-bit)";
#else
const REGSAM kView = KEY_WOW64_32KEY, kOtherView = KEY_WOW64_64KEY;
const char kActiveSetupKey[] = "Software\\Microsoft\\Active Setup\\Installed Components\\Quillbox.Gyrofold.win32";
const char kDisplayName[] = "Quillbox Gyrofold (32-bit)";
#endif

// A value's bytes, a string's without its terminator; "" for a key that
// exists, with no value named. Machine-wide keys are read in the build's own
// registry view unless another is given.
std::string ReadRegistry(HKEY root, const char* key, const char* value = nullptr, DWORD* type = nullptr,
                         REGSAM view = kView)
{
    char data[1024];
    DWORD size = sizeof data, kind = 0;
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &h) != ERROR_SUCCESS) return kAbsent;
    LSTATUS status = ERROR_SUCCESS;
    if (value) status = RegQueryValueExA(h, value, nullptr, &kind, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(h);
    if (type) *type = kind;
    if (status != ERROR_SUCCESS) return kAbsent;
    return std::string(data, !value ? 0 : kind == REG_SZ && size > 0 ? size - 1 : size);
}

// Letter case aside: Windows paths.
void CheckValue(HKEY root, const char* key, const char* value, const std::string& expected, const std::string& what)
{
    const std::string seen = ReadRegistry(root, key, value);
    Check(_stricmp(seen.c_str(), expected.c_str()) == 0, what, seen);
}

// The saver's path, the other system folder's (which must never hold it, a
// replacement queued for the restart included) and the install folder.
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

// The version resource: its strings (US English, Windows ANSI) and the
// fixed file version.
void CheckVersion(const std::string& path, const std::vector<std::pair<const char*, std::string>>& strings)
{
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), nullptr) + 1);
    Check(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) != 0, "version info of " + path);
    // The strings' block is named after the first translation listed.
    WORD* translation = nullptr;
    UINT size = 0;
    char block[32] = "";
    if (VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size) && size >= 4)
        std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    for (const auto& s : strings) {
        char* text = nullptr;
        const std::string query = block + std::string(s.first);
        const bool found = VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &size) && text;
        Check(found && s.second == text, std::string(s.first) + " is " + s.second, found ? text : kAbsent);
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    const bool found = VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size) && fixed;
    Check(found && fixed->dwFileVersionMS == MAKELONG(GYROFOLD_VERSION_MINOR, GYROFOLD_VERSION_MAJOR) &&
              fixed->dwFileVersionLS == MAKELONG(0, GYROFOLD_VERSION_PATCH),
        "file version number is " GYROFOLD_VERSION_TEXT ".0");
}

void CheckVersionAndIcon(const std::string& path)
{
    CheckVersion(path, {{"CompanyName", "Quillbox"}, {"FileDescription", "Quillbox Gyrofold"},
        {"ProductName", "Quillbox Gyrofold"}, {"OriginalFilename", "gyrofold.scr"},
        {"FileVersion", GYROFOLD_VERSION_TEXT}, {"LegalCopyright", "Copyright (C) 2026 Quillbox"}});

    // Icon group 100: its directory lists 16, 32, 48 and 256 (written as 0) pixel images.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC group = module ? FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(14)) : nullptr;
    const BYTE* dir = group ? static_cast<const BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
    std::string sides;
    for (int i = 0; dir && i < *reinterpret_cast<const WORD*>(dir + 4); ++i) sides += std::to_string(dir[6 + 14 * i]) + " ";
    Check(sides == "16 32 48 0 ", "icon 100 holds 16, 32, 48 and 256 pixels", sides);
    if (module) FreeLibrary(module);
}

// The saver's manifest as Windows reads it: the settings and facts of the
// activation context made from resource 1, so a misspelt namespace or element
// counts as missing.
void CheckManifest(const std::string& path)
{
    ACTCTXA request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE context = CreateActCtxA(&request);
    Check(context != INVALID_HANDLE_VALUE, "the saver carries a manifest");
    if (context == INVALID_HANDLE_VALUE) return;
    const wchar_t* const settings[][3] = {
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", L"PerMonitorV2"},
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", L"true/pm"}};
    for (const auto& setting : settings) {
        wchar_t value[64] = L"";
        SIZE_T size = 0;
        QueryActCtxSettingsW(0, context, setting[0], setting[1], value, 64, &size);
        char seen[64];
        WideCharToMultiByte(CP_ACP, 0, value, -1, seen, sizeof seen, nullptr, nullptr);
        Check(lstrcmpW(value, setting[2]) == 0, "a manifest setting is " + std::string(seen), seen);
    }
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    Check(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level, sizeof level, nullptr) &&
              level.RunLevel == ACTCTX_RUN_LEVEL_AS_INVOKER && level.UiAccess == 0,
        "the saver runs as the user who started it");
    // Vista, 7, 8, 8.1, 10 and 11; found by their bytes, as the size of an
    // element grew with Windows 10.
    const GUID systems[] = {{0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}},
        {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}},
        {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}},
        {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}},
        {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}};
    std::vector<char> compatibility(1024);
    QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, compatibility.data(),
        compatibility.size(), nullptr);
    const auto found = std::count_if(std::begin(systems), std::end(systems), [&](const GUID& id) {
        const char* bytes = reinterpret_cast<const char*>(&id);
        return std::search(compatibility.begin(), compatibility.end(), bytes, bytes + sizeof id) != compatibility.end();
    });
    Check(found == 5, "the manifest names Windows Vista to 11", std::to_string(found));
    // The common controls inside that context are version 6.
    ULONG_PTR cookie = 0;
    char controls[MAX_PATH] = "";
    if (ActivateActCtx(context, &cookie)) {
        HMODULE comctl = LoadLibraryA("comctl32.dll");
        GetModuleFileNameA(comctl, controls, MAX_PATH);
        FreeLibrary(comctl);
        DeactivateActCtx(0, cookie);
    }
    CharLowerA(controls);
    Check(std::strstr(controls, "common-controls") && std::strstr(controls, "_6.0."), "common controls 6", controls);
    ReleaseActCtx(context);
}

void CheckInstalled(const Layout& l, bool present)
{
    const std::string files[] = {l.saver, l.instdir + "\\sample.bmp", l.instdir + "\\LICENSE.txt",
                                 l.instdir + "\\Uninstall.exe", l.instdir};
    for (const auto& file : files) Check(Exists(file) == present, file + (present ? " exists" : " is gone"));
    Check(!Exists(l.wrongSaver), l.wrongSaver + " never exists");
    Check(!Exists(l.instdir + "\\gyrofold.scr"), "no saver left in " + l.instdir);
    for (const char* key : {kUninstallKey, kActiveSetupKey})
        Check((ReadRegistry(HKEY_LOCAL_MACHINE, key) != kAbsent) == present, std::string(key) + (present ? " exists" : " is gone"));
    Check(ReadRegistry(HKEY_LOCAL_MACHINE, kUninstallKey, nullptr, nullptr, kOtherView) == kAbsent,
          "no uninstall entry in the other registry view");
}

// The Add/Remove Programs entry: each value with its type.
void CheckUninstallEntry(const Layout& l)
{
    const std::string uninstaller = "\"" + l.instdir + "\\Uninstall.exe\"";
    const std::pair<const char*, std::string> strings[] = {{"DisplayName", kDisplayName},
        {"DisplayVersion", GYROFOLD_VERSION_TEXT}, {"Publisher", "Quillbox"}, {"DisplayIcon", l.saver + ",0"},
        {"InstallLocation", l.instdir}, {"UninstallString", uninstaller}, {"QuietUninstallString", uninstaller + " /S"}};
    for (const auto& v : strings) {
        DWORD type = 0;
        const std::string seen = ReadRegistry(HKEY_LOCAL_MACHINE, kUninstallKey, v.first, &type);
        Check(type == REG_SZ && _stricmp(seen.c_str(), v.second.c_str()) == 0, std::string(v.first) + " is " + v.second, seen);
    }
    const auto number = [](const char* name) {
        DWORD type = 0;
        const std::string seen = ReadRegistry(HKEY_LOCAL_MACHINE, kUninstallKey, name, &type);
        return type == REG_DWORD && seen.size() == 4 ? *reinterpret_cast<const DWORD*>(seen.data()) : DWORD(-1);
    };
    Check(number("NoModify") == 1 && number("NoRepair") == 1, "NoModify and NoRepair are the number 1");
    // The files' own size, in KiB: the saver, the sample, the licence and the README.
    WIN32_FILE_ATTRIBUTE_DATA saver = {}, sample = {};
    GetFileAttributesExA(l.saver.c_str(), GetFileExInfoStandard, &saver);
    GetFileAttributesExA((l.instdir + "\\sample.bmp").c_str(), GetFileExInfoStandard, &sample);
    const DWORD least = (saver.nFileSizeLow + sample.nFileSizeLow) / 1024, size = number("EstimatedSize");
    Check(size >= least && size <= least + 64, "EstimatedSize is the files' size in KiB", std::to_string(size));
}

// Every other account's set-up at its next logon, run here twice: the
// sample for an account without a picture, and an account's own picture left
// alone.
void CheckUserSetup(const Layout& l)
{
    const std::string command = ReadRegistry(HKEY_LOCAL_MACHINE, kActiveSetupKey, "StubPath");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename");
    Check(Run(command) == 0, "the per-account set-up runs", command);
    CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", l.instdir + "\\sample.bmp", "it gives a new account the sample");
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", REG_SZ, "C:\\mine.bmp", 12);
    Run(command);
    CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", "C:\\mine.bmp", "and leaves an account's own picture alone");
}

// A reinstall while the installed saver runs: the saver in use is replaced
// at the next restart, in the system folder it came from.
void CheckReinstallWhileRunning(const Layout& l, const std::string& install)
{
    HANDLE saver = Start("\"" + l.saver + "\" /s");
    Sleep(2000);
    Check(Run(install) == 0, "silent install while the saver runs");
    const char kSessionKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
    std::string pending = ReadRegistry(HKEY_LOCAL_MACHINE, kSessionKey, "PendingFileRenameOperations", nullptr, 0);
    std::replace(pending.begin(), pending.end(), '\0', ' ');
    Check(StrStrIA(pending.c_str(), l.saver.substr(2).c_str()), "the replacement waits for the restart", pending);
    TerminateProcess(saver, 0);
    WaitForSingleObject(saver, 10000);
    CloseHandle(saver);
    // Wine's restart carries out the queued file operations.
    Run("wineboot.exe -r");
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM list)
{
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The installer's own pages, clicked through as a user would: a welcome, the
// progress, and the finish page with its two check boxes; never a licence,
// a folder or a start menu page. Finishing with the first box ticked makes
// Gyrofold the screen saver.
void CheckPages(const std::string& setup)
{
    HANDLE process = Start("\"" + setup + "\"");
    const DWORD id = GetProcessId(process);
    std::string seen;
    HWND runBox = nullptr, settingsBox = nullptr;
    int nexts = 0;
    for (DWORD start = GetTickCount(); WaitForSingleObject(process, 200) == WAIT_TIMEOUT && GetTickCount() - start < 60000;) {
        HWND top = nullptr;
        while ((top = FindWindowExA(nullptr, top, "#32770", nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(top, &owner);
            if (owner == id && IsWindowVisible(top)) break;
        }
        if (top == nullptr) continue;
        std::vector<HWND> controls;
        EnumChildWindows(top, CollectVisible, reinterpret_cast<LPARAM>(&controls));
        for (HWND c : controls) {
            char text[256] = "";
            GetWindowTextA(c, text, sizeof text);
            if (*text && seen.find(text) == std::string::npos) seen += std::string(text) + "|";
            if (std::strstr(text, "my screen saver")) runBox = c;
            if (std::strcmp(text, "Open screen saver settings") == 0) settingsBox = c;
        }
        // The Finish button can be live a moment before the finish page's
        // boxes show: it is clicked once they have been seen (or never).
        HWND next = GetDlgItem(top, IDOK);
        char label[64] = "";
        if (next) GetWindowTextA(next, label, sizeof label);
        const bool finish = std::strstr(label, "Finish") != nullptr;
        if (next && IsWindowEnabled(next) && (!finish || (runBox && settingsBox))) {
            ++nexts;
            SendMessageA(top, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
        }
    }
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
    DWORD code = 999;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    Check(code == 0 && nexts == 2, "two clicks (Next, Finish) install through the pages", std::to_string(nexts));
    Check(runBox && settingsBox, "the finish page offers both check boxes", seen);
    for (const char* unwanted : {"CPack", "icense", "Destination Folder", "Start Menu"})
        Check(seen.find(unwanted) == std::string::npos, std::string("no page says ") + unwanted);
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Uninstall(const Layout& l)
{
    // Run from a copy with _?=, as NSIS itself does, so that this waits for the real work.
    const std::string copy = "C:\\uninstall-copy.exe";
    CopyFileA((l.instdir + "\\Uninstall.exe").c_str(), copy.c_str(), FALSE);
    Check(Run("\"" + copy + "\" /S _?=" + l.instdir) == 0, "silent uninstall");
    DeleteFileA(copy.c_str());
}

void SetScreenSaver(const char* path)
{
    if (path) RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", REG_SZ, path, static_cast<DWORD>(std::strlen(path) + 1));
    else RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string setup = argv[1], install = "\"" + setup + "\" /S";
    const Layout l = Expected();
    const char kPrevious[] = "C:\\windows\\system32\\previous.scr", kOther[] = "C:\\windows\\system32\\other.scr";

    SetScreenSaver(kPrevious);
    CheckPages(setup);
    CheckInstalled(l, true);
    CheckUninstallEntry(l);
    for (const std::string& file : {l.saver, l.instdir + "\\sample.bmp"}) {
        const std::string installed = ReadAll(file), zipped = ReadAll(argv[2] + file.substr(file.find_last_of('\\')));
        Check(!installed.empty() && installed == zipped, file + " is the ZIP's, byte for byte");
    }
    CheckVersionAndIcon(l.saver);
    CheckManifest(l.saver);
    CheckVersion(setup, {{"CompanyName", "Quillbox"}, {"ProductName", "Quillbox Gyrofold"},
        {"FileVersion", GYROFOLD_VERSION_TEXT}, {"OriginalFilename", setup.substr(setup.find_last_of('\\') + 1)}});
    CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", l.instdir + "\\sample.bmp", "IMGFilename names the installed sample");
    CheckValue(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", l.saver, "SCRNSAVE.EXE names the installed saver");
    CheckUserSetup(l);

    // A user's own settings survive a second install, made while the saver runs.
    const int32_t numBuf = 5;
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "NumBuf", REG_BINARY, &numBuf, 4);
    CheckReinstallWhileRunning(l, install);
    CheckInstalled(l, true);
    CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", "C:\\mine.bmp", "second install keeps the user's IMGFilename");
    Check(ReadRegistry(HKEY_CURRENT_USER, kSettingsKey, "NumBuf") == std::string("\5\0\0\0", 4), "second install keeps NumBuf");

    // SCRNSAVE.EXE before an install, chosen since (0: left as the install
    // made it), and after the uninstall. The first install was the one above.
    const char* const cases[][3] = {{kPrevious, nullptr, kPrevious}, {nullptr, kOther, kOther}, {nullptr, nullptr, kAbsent}};
    for (const auto& c : cases) {
        if (&c != &cases[0]) {
            SetScreenSaver(c[0]);
            Check(Run(install) == 0, "install again");
        }
        if (c[1]) SetScreenSaver(c[1]);
        Uninstall(l);
        CheckInstalled(l, false);
        CheckValue(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", c[2], std::string("SCRNSAVE.EXE after the uninstall is ") + c[2]);
        CheckValue(HKEY_CURRENT_USER, kSettingsKey, "IMGFilename", "C:\\mine.bmp", "uninstall keeps the settings");
    }
    std::printf("%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
