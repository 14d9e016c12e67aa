// The centred one-line texts drawn straight into a window.

#include <windows.h>

#include "imaging/status_text.h"

Rect32 ClientRectOf(WindowHandle window)
{
    RECT rc = {0, 0, 0, 0};
    GetClientRect(reinterpret_cast<HWND>(window), &rc);
    return Rect32{rc.left, rc.top, rc.right, rc.bottom};
}

void DrawStatusText(WindowHandle window, TextContext context, const char* text, const Rect32& rect)
{
    HWND hwnd = reinterpret_cast<HWND>(window);
    HDC dc = context == TextContext::WholeWindow ? GetWindowDC(hwnd) : GetDC(hwnd);
    RECT rc = {rect.left, rect.top, rect.right, rect.bottom};
    // DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP, default colours.
    DrawTextA(dc, text, -1, &rc, 0x125);
    ReleaseDC(hwnd, dc);
}
