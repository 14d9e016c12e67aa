#pragma once
// Black windows over every monitor but the primary one while the full-screen
// saver runs: the saver window itself covers only the primary monitor, and
// the others would go on showing the desktop to anyone walking past.

#include <windows.h>

// Covers every monitor the platform lists now, except the primary one, with
// a black topmost popup owned by `saver`; covers of monitors gone go, those
// of monitors still there stay. Input on a cover is handed to `saver`, so it
// ends the run as input there would.
void CoverOtherMonitors(HWND saver);

// Destroys the covers; nothing when there are none.
void RemoveCovers();
