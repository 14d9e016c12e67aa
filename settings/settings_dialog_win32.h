#pragma once
// The settings dialog's procedure, for the platform's dialog manager.

#include <windows.h>

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
