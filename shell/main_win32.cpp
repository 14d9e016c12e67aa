// The program's entry point: picks the run mode from the command line and,
// for the two drawing modes, runs the only message loop.

#include <windows.h>
#include <commctrl.h>
#include <cstdlib>

#include "effect/render_frame.h"
#include "settings/settings_dialog.h"
#include "settings/registry_store_win32.h"
#include "settings/settings_persistence.h"
#include "shell/command_line.h"
#include "shell/password.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"

namespace {

constexpr DWORD kPreviewFramePause = 50;
// What a display that reports no rate (0 or 1, "the hardware default") runs at.
constexpr DWORD kDefaultRefreshRate = 60;

WindowHandle WindowOrZero(WindowHandle handle)
{
    return IsWindow(reinterpret_cast<HWND>(handle)) ? handle : 0;
}

DWORD CurrentRefreshRate()
{
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return kDefaultRefreshRate;
    return mode.dmDisplayFrequency > 1 ? mode.dmDisplayFrequency : kDefaultRefreshRate;
}

// Full-screen frames come at most once per refresh of the display: the camera
// moves one step per frame, so on a fast machine an unpaced loop turns the
// slow sine waves into a strobe. A machine that cannot keep up draws as fast
// as it can.
class FramePacer {
public:
    FramePacer()
    {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        countsPerSecond_ = frequency.QuadPart;
        ReadRefreshRate();
        next_ = Now();
    }

    void ReadRefreshRate() { interval_ = countsPerSecond_ / CurrentRefreshRate(); }

    // True when the next frame's time has come, and books the one after.
    bool FrameDue()
    {
        const LONGLONG now = Now();
        if (now < next_) return false;
        next_ += interval_;
        // More than a whole frame behind: start afresh rather than rush to
        // catch up.
        if (next_ <= now) next_ = now + interval_;
        return true;
    }

    // Whole milliseconds until the next frame's time, rounded up so the wait
    // never wakes early only to wait again.
    DWORD MillisecondsLeft() const
    {
        const LONGLONG left = next_ - Now();
        if (left <= 0) return 0;
        return static_cast<DWORD>((left * 1000 + countsPerSecond_ - 1) / countsPerSecond_);
    }

private:
    static LONGLONG Now()
    {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return counter.QuadPart;
    }

    LONGLONG countsPerSecond_ = 1;
    LONGLONG interval_ = 0;
    LONGLONG next_ = 0;
};

// A library of the system, from the system folder and nowhere else: the
// plain search starts in the saver's own folder, where a planted copy (say,
// beside a saver run from Downloads) would run inside the saver.
HMODULE LoadSystemLibrary(const char* name)
{
    // The search flags came with KB2533623 on Vista and 7; AddDllDirectory
    // came with them, so it tells whether this system knows them.
    if (GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory") != nullptr)
        return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(name) >= MAX_PATH) return nullptr;
    lstrcatA(lstrcatA(path, "\\"), name);
    return LoadLibraryA(path);
}

// Waits time out on the system's timer tick, 10 to 16 ms unless asked for
// finer; a 60 Hz frame is 16.7 ms. The multimedia library is loaded at run
// time so the saver imports nothing beyond what it always has.
class FineTimer {
public:
    FineTimer() : library_(LoadSystemLibrary("winmm.dll"))
    {
        if (library_ == nullptr) return;
        begin_ = reinterpret_cast<PeriodFunction>(reinterpret_cast<void*>(GetProcAddress(library_, "timeBeginPeriod")));
        end_ = reinterpret_cast<PeriodFunction>(reinterpret_cast<void*>(GetProcAddress(library_, "timeEndPeriod")));
        if (begin_ != nullptr && end_ != nullptr && begin_(1) == 0) active_ = true;
    }
    ~FineTimer()
    {
        if (active_) end_(1);
        if (library_ != nullptr) FreeLibrary(library_);
    }
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    typedef UINT(WINAPI* PeriodFunction)(UINT);
    HMODULE library_;
    PeriodFunction begin_ = nullptr;
    PeriodFunction end_ = nullptr;
    bool active_ = false;
};

int RunPacedLoop()
{
    FineTimer timer;
    FramePacer pacer;
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            DispatchMessageA(&msg);
            continue;
        }
        if (TakeDisplayChange()) pacer.ReadRefreshRate();
        if (pacer.FrameDue()) {
            RenderFrame();
            continue;
        }
        // Any message ends the wait at once, so input is handled as soon as
        // it comes and always before the next frame.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pacer.MillisecondsLeft(), QS_ALLINPUT);
    }
}

}  // namespace

int RunMessageLoop()
{
    if (!TheShell.preview) return RunPacedLoop();
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            // Keys are not translated: the saver never wants character messages.
            DispatchMessageA(&msg);
            continue;
        }
        // The preview pane needs no more than about 20 frames a second.
        Sleep(kPreviewFramePause);
        RenderFrame();
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    InitCommonControls();
    TheShell.instance = reinterpret_cast<uintptr_t>(instance);

    const RunRequest request = ParseCommandLine(__argc, __argv);
    switch (request.mode) {
    case RunMode::SettingsNoOwner:
        TheShell.parentWindow = 0;
        RunSettingsDialog(TheShell.instance, TheShell.parentWindow);
        return 0;
    case RunMode::PasswordChange:
        TheShell.parentWindow = WindowOrZero(ParseWindowArg(request.handleText));
        ChangePassword();
        return 0;
    case RunMode::Settings:
        // The number after the colon is passed on untested.
        TheShell.parentWindow = request.owner == OwnerSource::Text
                                    ? ParseWindowArg(request.handleText)
                                    : reinterpret_cast<WindowHandle>(GetForegroundWindow());
        RunSettingsDialog(TheShell.instance, TheShell.parentWindow);
        return 0;
    case RunMode::Preview:
        TheShell.parentWindow = WindowOrZero(ParseWindowArg(request.handleText));
        // A host that is no window gets the full-screen saver.
        TheShell.preview = TheShell.parentWindow != 0 ? 1 : 0;
        break;
    case RunMode::FullScreen:
        break;
    }

    LoadSettings();
    if (!RegisterSaverClass(instance)) return 0;
    HWND window = CreateSaverWindow(reinterpret_cast<HWND>(TheShell.parentWindow));
    if (window == nullptr) return 0;
    TheShell.saverWindow = reinterpret_cast<WindowHandle>(window);
    return RunMessageLoop();
}
