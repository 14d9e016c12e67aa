#pragma once
// The off-screen frame the renderer draws into and then shows centred in a
// window. On Windows it is a DIB section (surface_win32.cpp); the native build
// uses a heap buffer with the same stride and row order (surface_memory.cpp).

#include <cstdint>

struct Rect32 {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Window and device-context handles cross into portable code as opaque values.
using WindowHandle = uintptr_t;
using DeviceContextHandle = uintptr_t;

// Rows of both surface kinds are a whole number of 32-bit words: the width is
// rounded up to a multiple of 4 pixels (318 -> 320, 321 -> 324).
inline int32_t SurfaceStride(int32_t width) { return (width & 3) ? ((width + 3) & ~3) : width; }

class Surface {
public:
    Rect32 bounds = {0, 0, 0, 0};
    WindowHandle window = 0;
    // Changes when the pixel storage is recreated (SetPalette); read it anew for
    // every frame.
    void* pixelMemory = nullptr;
    // Frames shown so far.
    uint32_t framesPresented = 0;

    int32_t Width() const { return bounds.right - bounds.left; }
    int32_t Height() const { return bounds.bottom - bounds.top; }
    int32_t Stride() const { return SurfaceStride(Width()); }

    // The five operations keep this slot order in both surface kinds.
    virtual void Init(WindowHandle target, const Rect32& rect) = 0;
    virtual void Release() = 0;
    virtual int32_t ApplyPalette(DeviceContextHandle dc) = 0;
    virtual void SetPalette(const uint8_t* colours768) = 0;
    virtual void BuildPalette() = 0;

    // Copies the frame, centred, into the window. Defined once per platform.
    void Present();

    // Releases nothing: the owner calls Release before deleting a surface.
    virtual ~Surface() {}

    // A surface that shows the frame through a copy of its own (the X11
    // surface converts it to the visual's pixels) copies each band of rows as
    // soon as it is drawn, on the thread that drew it, while it is still in
    // the cache. FramePrepared comes before the frame's bands; RowsDrawn gives
    // memory rows [first, end), bands apart; Present then shows the copy.
    virtual void FramePrepared() {}
    virtual void RowsDrawn(int32_t first, int32_t end)
    {
        (void)first;
        (void)end;
    }
};

// Makes the surface of the active colour mode for a target window: 8-bit
// palettised (rows bottom-up) or 16-bit 5-5-5 (rows top-down). Defined once per
// platform; null when the platform cannot provide one.
Surface* CreateSurface(int32_t hiColor, WindowHandle target, const Rect32& frame);
