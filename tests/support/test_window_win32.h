#pragma once
// Windows for the Win32 tests: a black window that paints nothing of its own
// once shown, so whatever a test reads back in it came from the code under test.

#include <windows.h>

HWND MakeTestWindow(int width, int height, DWORD style = WS_POPUP | WS_VISIBLE, int x = 0, int y = 0);

void PumpMessages();
