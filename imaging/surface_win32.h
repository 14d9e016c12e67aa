#pragma once
// The Windows surfaces: a DIB section selected into a memory device context,
// shown through a realized 256-entry logical palette.

#include <windows.h>

#include "imaging/surface.h"

// A BITMAPINFO with room for the whole 256-entry colour table.
struct SurfaceBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// What both surface kinds share on Windows; Present works through it.
class GdiSurface : public Surface {
public:
    HDC memDC = nullptr;
    HBITMAP dibSection = nullptr;
    HGDIOBJ savedObject = nullptr;
    SurfaceBitmapInfo info = {};
    HPALETTE palette = nullptr;

protected:
    // Puts the initial bitmap back and frees the DIB section, the context and
    // the palette.
    void ReleaseCommon();
    // Selects the palette into dc and realizes it; the number of entries
    // the system palette took.
    int32_t RealizeInto(DeviceContextHandle dc);
    // Makes the memory context and the DIB section of the header in info.
    void CreatePixelStorage();
    void TakeRect(WindowHandle target, const Rect32& rect);
};

class PalettedSurface : public GdiSurface {
public:
    // Without a rectangle the window's client rectangle is the frame; without
    // colours the palette starts all black.
    PalettedSurface(WindowHandle target, const Rect32* rect, const uint8_t* colours768);

    void Init(WindowHandle target, const Rect32& rect) override;
    void Release() override;
    int32_t ApplyPalette(DeviceContextHandle dc) override;
    void SetPalette(const uint8_t* colours768) override;
    void BuildPalette() override;

    uint8_t colours[768] = {};
};

class HiColorSurface : public GdiSurface {
public:
    HiColorSurface(WindowHandle target, const Rect32* rect);

    void Init(WindowHandle target, const Rect32& rect) override;
    void Release() override;
    int32_t ApplyPalette(DeviceContextHandle dc) override;
    void SetPalette(const uint8_t* colours768) override;
    void BuildPalette() override;
};
