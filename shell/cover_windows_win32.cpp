#include "shell/cover_windows_win32.h"

#include <algorithm>
#include <vector>

#include "shell/shell_state.h"

namespace {

const char kCoverClassName[] = "Quillbox Whirlpan Cover";

std::vector<HWND> covers;

LRESULT CALLBACK CoverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // The saver window's own input rule decides, with its start-up gate,
        // its close request and the password check behind it.
        return SendMessageA(GetWindow(window, GW_OWNER), message, wParam, lParam);
    case WM_MOUSEACTIVATE:
        // A click here must not take the keyboard from the saver window.
        return MA_NOACTIVATE;
    case WM_CLOSE:
        // Only the saver window ends the run; a cover lives as long as it.
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE || wParam == SC_SCREENSAVE) return 0;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterCoverClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(instance, kCoverClassName, &wc)) return true;
    wc.lpfnWndProc = CoverWindowProc;
    wc.hInstance = instance;
    // No cursor: the pointer stays as hidden here as over the saver window.
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kCoverClassName;
    return RegisterClassExA(&wc) != 0;
}

BOOL CALLBACK CollectOtherMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info) && (info.dwFlags & MONITORINFOF_PRIMARY) == 0)
        reinterpret_cast<std::vector<RECT>*>(context)->push_back(info.rcMonitor);
    return TRUE;
}

}  // namespace

void CoverOtherMonitors(HWND saver)
{
    auto instance = reinterpret_cast<HINSTANCE>(TheShell.instance);
    std::vector<RECT> monitors;
    if (RegisterCoverClass(instance))
        EnumDisplayMonitors(nullptr, nullptr, CollectOtherMonitor, reinterpret_cast<LPARAM>(&monitors));
    // A cover that still fits a monitor stays: a window made or destroyed
    // under a resting pointer makes the platform report a mouse move, which
    // would end the run.
    std::vector<HWND> kept;
    for (HWND cover : covers) {
        RECT r = {};
        GetWindowRect(cover, &r);
        auto same = std::find_if(monitors.begin(), monitors.end(), [&](const RECT& m) { return EqualRect(&m, &r); });
        if (IsWindow(cover) && GetWindow(cover, GW_OWNER) == saver && same != monitors.end()) {
            kept.push_back(cover);
            monitors.erase(same);
        } else if (IsWindow(cover)) {
            DestroyWindow(cover);
        }
    }
    covers = kept;
    for (const RECT& r : monitors) {
        // Owned by the saver window, so they go with it whatever destroys it.
        HWND cover = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kCoverClassName, kCoverClassName, WS_POPUP,
                                     r.left, r.top, r.right - r.left, r.bottom - r.top, saver, nullptr, instance,
                                     nullptr);
        if (cover == nullptr) continue;
        // Shown without activation: the saver window keeps the keyboard.
        ShowWindow(cover, SW_SHOWNA);
        covers.push_back(cover);
    }
}

void RemoveCovers()
{
    for (HWND cover : covers)
        if (IsWindow(cover)) DestroyWindow(cover);
    covers.clear();
}
