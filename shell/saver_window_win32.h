#pragma once
// The one window of the drawing modes: a topmost full-screen popup, or an
// invisible child of the preview host.

#include <windows.h>

extern const char kSaverClassName[];
extern const char kStartupText[];

// Registers the saver's window class; false when the platform refuses it.
bool RegisterSaverClass(HINSTANCE instance);

// Creates and shows the saver window (a child of parent when parent is not 0);
// 0 when creation fails. WM_CREATE has run when this returns.
HWND CreateSaverWindow(HWND parent);

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One tick of the start-up timer: the first draws the start-up text and sets
// the scene up, the third stops the timer.
void OnStartupTick(HWND window, UINT_PTR timerId);

// Whether the display mode changed since the last call.
bool TakeDisplayChange();
