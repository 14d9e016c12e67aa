#pragma once
// The shell's process-wide record: which run mode this process serves and the
// windows it works with. All zero at start.

#include <cstdint>

#include "imaging/surface.h"

struct ShellState {
    uintptr_t instance = 0;      // the module instance handle
    int32_t preview = 0;         // 1 only while drawing into a host window
    WindowHandle parentWindow = 0;  // preview host, or the owner of a dialog
    uint32_t tickCount = 0;      // start-up timer ticks handled, 0 to 3
    int32_t modeChanged = 0;     // the display mode was switched and must be restored
    WindowHandle saverWindow = 0;
};

extern ShellState TheShell;
