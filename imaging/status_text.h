#pragma once
// The centred one-line texts the saver draws straight into a window (start-up,
// blend table countdown, image load error). Defined once per platform.

#include "imaging/surface.h"

// The client rectangle of a window.
Rect32 ClientRectOf(WindowHandle window);

// Which device context the text goes through: the client area's (GetDC) or
// the whole window's (GetWindowDC).
enum class TextContext { Client, WholeWindow };

// Draws text centred in rect, with the context's default colours.
void DrawStatusText(WindowHandle window, TextContext context, const char* text, const Rect32& rect);
