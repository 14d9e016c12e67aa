#pragma once
// The X11 surface: the frame in heap memory as on every platform, shown by
// converting it through lookup tables into an XImage of the window's visual
// and putting that, centred and cropped, into the window (MIT-SHM when the
// server offers it).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

#include "imaging/surface_memory.h"

// The one display and window the program draws into, set up by the front end
// before the first scene; width and height follow the window's configure
// events.
struct X11Target {
    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    int width = 0;
    int height = 0;
    GC gc = nullptr;
    XFontStruct* font = nullptr;
    // Cleared when the server refuses shared memory; plain XPutImage then.
    bool shmAllowed = true;
};
extern X11Target TheX11Target;

// The visual's pixel value for an 8-bit-per-channel colour.
struct VisualPixels {
    unsigned long redMask = 0, greenMask = 0, blueMask = 0;
    unsigned long Pixel(uint8_t r, uint8_t g, uint8_t b) const;
};

// What GDI shows for a 5-5-5 channel: the five bits widened to eight by
// repeating the top ones.
inline uint8_t WidenChannel5(uint32_t c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); }

class X11Surface : public MemorySurface {
public:
    X11Surface(int32_t hiColor, WindowHandle target, const Rect32& rect);

    void Release() override;
    void SetPalette(const uint8_t* colours768) override;

    // Converts and puts the visible part of the frame; the window's size is
    // TheX11Target's.
    void Show();

private:
    void MakeImage(int width, int height);
    void DropImage();
    void ConvertRows(int32_t srcX, int32_t srcY);

    VisualPixels pixels_;
    // 8-bit frames: palette index -> pixel; 16-bit frames: 5-5-5 word -> pixel.
    std::vector<uint32_t> lookup_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_ = {};
    bool shmImage_ = false;
};

// Draws a line of text centred in the window, black on white as GDI's default
// colours are, over a black window.
void DrawCentredText(const char* text);
