#include "tests/support/test_window_win32.h"

namespace {

LRESULT CALLBACK Quiet(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) return ValidateRect(window, nullptr), 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void PumpMessages()
{
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
}

HWND MakeTestWindow(int width, int height, DWORD style, int x, int y)
{
    static const bool registered = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Quiet;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "GyrofoldTestWindow";
        return RegisterClassA(&wc) != 0;
    }();
    HWND window = registered ? CreateWindowExA(0, "GyrofoldTestWindow", "test", style, x, y, width, height, nullptr,
                                               nullptr, GetModuleHandleA(nullptr), nullptr)
                             : nullptr;
    HDC dc = GetDC(window);
    RECT client = {};
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(window, dc);
    PumpMessages();
    return window;
}
