#pragma once
// Switching the display to the configured mode for a full-screen run, and back.

// Switches the display as Stretch, ScreenWidth and ScreenHeight ask, falling
// back to the smallest listed mode that holds the size; sets
// TheShell.modeChanged.
void SwitchDisplayMode();

// Returns the display to its stored default mode.
void RestoreDisplayMode();
