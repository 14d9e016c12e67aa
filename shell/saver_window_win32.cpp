#include "shell/saver_window_win32.h"

#include "effect/scene.h"
#include "settings/saver_settings.h"
#include "shell/cover_windows_win32.h"
#include "shell/display_mode.h"
#include "shell/password.h"
#include "shell/shell_state.h"

const char kSaverClassName[] = "Quillbox Whirlpan ScreenSaver";
const char kStartupText[] = "   ...Initializing...   ";

namespace {

constexpr UINT_PTR kStartupTimerId = 1;
constexpr UINT kStartupTimerPeriod = 250;
// Input and close are honoured once this many ticks have passed.
constexpr uint32_t kStartupTicks = 2;
// DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP
constexpr UINT kStatusTextFormat = 0x125;

// Set when WM_CREATE could not start the timer.
bool startupTimerMissing = false;
// Set by WM_DISPLAYCHANGE until the message loop has seen it.
bool displayChanged = false;

void AnnounceSaverRunning(UINT running)
{
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running, &previous, 0);
}

LRESULT OnCreate(HWND window)
{
    int width = 0;
    int height = 0;
    if (!TheShell.preview) {
        SetCursor(nullptr);
        AnnounceSaverRunning(1);
        if (TheSettings.Stretch != kStretchNoModeChange) SwitchDisplayMode();
    }
    if (TheShell.parentWindow == 0) {
        // Read after any mode switch, so this is the size of the new mode.
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    if (!TheShell.preview) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, width, height, 0);
        SetForegroundWindow(window);
        // The other monitors as they are after any mode switch.
        CoverOtherMonitors(window);
    }
    if (SetTimer(window, kStartupTimerId, kStartupTimerPeriod, nullptr) != 0) return 1;
    startupTimerMissing = true;
    return 0;
}

void OnInput(HWND window)
{
    if (TheShell.preview) return;
    // The first input after something showed a pointer only hides it again.
    if (SetCursor(nullptr) != nullptr) return;
    if (TheShell.tickCount > kStartupTicks) PostMessageA(window, WM_CLOSE, 0, 0);
}

void OnClose(HWND window)
{
    if (TheShell.tickCount <= kStartupTicks) return;
    if (!TheShell.preview) {
        if (VerifyPasswordOnClose() == 0) return;
        if (TheShell.modeChanged == 1) RestoreDisplayMode();
    }
    DestroyWindow(window);
}

void OnDestroy()
{
    RemoveCovers();
    if (!TheShell.preview) {
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        AnnounceSaverRunning(0);
    }
    TeardownScene(TheScene);
    PostQuitMessage(0);
}

}  // namespace

bool RegisterSaverClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SaverWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    // No class cursor: the window alone decides what the pointer shows.
    wc.hCursor = nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kSaverClassName;
    wc.hIconSm = nullptr;
    return RegisterClassExA(&wc) != 0;
}

HWND CreateSaverWindow(HWND parent)
{
    const DWORD style = TheShell.preview ? (WS_CHILD | WS_VISIBLE) : (WS_POPUP | WS_VISIBLE);
    startupTimerMissing = false;  // a window made after a failed one gets its own chance
    HWND window = CreateWindowExA(0, kSaverClassName, kSaverClassName, style, 0, 0, 0, 0, parent, nullptr,
                                  reinterpret_cast<HINSTANCE>(TheShell.instance), nullptr);
    if (window == nullptr) return nullptr;
    if (startupTimerMissing) {
        // Without ticks the scene is never set up and nothing may close the
        // saver: end the run now rather than leave a black screen that
        // ignores the user.
        if (!TheShell.preview && TheShell.modeChanged == 1) RestoreDisplayMode();
        DestroyWindow(window);
        return nullptr;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

bool TakeDisplayChange()
{
    const bool changed = displayChanged;
    displayChanged = false;
    return changed;
}

void OnStartupTick(HWND window, UINT_PTR timerId)
{
    if (TheShell.tickCount == 0) {
        HDC dc = GetDC(window);
        RECT rc;
        GetClientRect(window, &rc);
        DrawTextA(dc, kStartupText, -1, &rc, kStatusTextFormat);
        ReleaseDC(window, dc);
        SetupScene(TheScene, TheSettings, reinterpret_cast<WindowHandle>(window),
                   TheShell.preview ? TheShell.parentWindow : 0);
    }
    TheShell.tickCount = TheShell.tickCount + 1;
    if (TheShell.tickCount > kStartupTicks) KillTimer(window, timerId);
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_TIMER:
        OnStartupTick(window, static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        return 0;
    case WM_DISPLAYCHANGE:
        // The message loop paces frames to the new rate; a monitor that came
        // or moved is covered.
        displayChanged = true;
        if (!TheShell.preview) CoverOtherMonitors(window);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_KEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        OnInput(window);
        return 0;
    case WM_SYSCOMMAND:
        // The whole wParam is compared: Alt+F4 and a request to start the
        // saver again do nothing.
        if (wParam == SC_CLOSE || wParam == SC_SCREENSAVE) return 0;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
