#include "imaging/surface_win32.h"

#include <cstring>

namespace {

HWND AsHwnd(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

Rect32 FrameOf(WindowHandle target, const Rect32* rect)
{
    if (rect != nullptr) return *rect;
    RECT rc = {0, 0, 0, 0};
    GetClientRect(AsHwnd(target), &rc);
    return Rect32{rc.left, rc.top, rc.right, rc.bottom};
}

// A LOGPALETTE with all 256 entries.
struct LogPalette256 {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY entries[256];
};

// Makes the palette the one the screen shows and recolours what is there.
void RealizeOnScreen(HPALETTE palette)
{
    HDC dc = GetDC(nullptr);
    SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
    UpdateColors(dc);
    ReleaseDC(nullptr, dc);
}

HPALETTE MakePalette(const LogPalette256& lp)
{
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&lp));
}

void SetCommonHeader(BITMAPINFOHEADER& h, int32_t stride)
{
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = stride;
    h.biPlanes = 1;
    h.biCompression = BI_RGB;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
}

}  // namespace

void GdiSurface::TakeRect(WindowHandle target, const Rect32& rect)
{
    bounds = rect;
    window = target;
}

void GdiSurface::CreatePixelStorage()
{
    memDC = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    dibSection = CreateDIBSection(memDC, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                  nullptr, 0);
    pixelMemory = bits;
    savedObject = SelectObject(memDC, dibSection);
}

void GdiSurface::ReleaseCommon()
{
    if (memDC != nullptr) {
        SelectObject(memDC, savedObject);
        DeleteObject(dibSection);
        DeleteDC(memDC);
    }
    if (palette != nullptr) DeleteObject(palette);
    memDC = nullptr;
    dibSection = nullptr;
    savedObject = nullptr;
    pixelMemory = nullptr;
    palette = nullptr;
}

int32_t GdiSurface::RealizeInto(DeviceContextHandle dc)
{
    HDC hdc = reinterpret_cast<HDC>(dc);
    SelectPalette(hdc, palette, FALSE);
    return static_cast<int32_t>(RealizePalette(hdc));
}

// --- PalettedSurface -------------------------------------------------------

PalettedSurface::PalettedSurface(WindowHandle target, const Rect32* rect, const uint8_t* colours768)
{
    if (colours768 != nullptr) std::memcpy(colours, colours768, sizeof colours);
    const Rect32 frame = FrameOf(target, rect);
    Init(target, frame);
}

void PalettedSurface::Init(WindowHandle target, const Rect32& rect)
{
    // A second Init must not leak the first one's objects.
    ReleaseCommon();
    TakeRect(target, rect);
    BuildPalette();
    BITMAPINFOHEADER& h = info.header;
    SetCommonHeader(h, Stride());
    // Positive height: the bottom picture row comes first in memory.
    h.biHeight = Height();
    h.biBitCount = 8;
    h.biSizeImage = static_cast<DWORD>(Height()) * static_cast<DWORD>(Stride());
    CreatePixelStorage();
}

void PalettedSurface::Release() { ReleaseCommon(); }

int32_t PalettedSurface::ApplyPalette(DeviceContextHandle dc) { return RealizeInto(dc); }

void PalettedSurface::SetPalette(const uint8_t* colours768)
{
    std::memcpy(colours, colours768, sizeof colours);
    BuildPalette();
    if (memDC == nullptr) return;
    // The colour table of a DIB section is fixed at creation: make a new one.
    DeleteObject(SelectObject(memDC, savedObject));
    void* bits = nullptr;
    dibSection = CreateDIBSection(memDC, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                  nullptr, 0);
    pixelMemory = bits;
    SelectObject(memDC, dibSection);
}

void PalettedSurface::BuildPalette()
{
    LogPalette256 lp;
    lp.palVersion = 0x300;
    lp.palNumEntries = 256;
    for (int i = 0; i < 256; ++i) {
        lp.entries[i].peRed = colours[3 * i];
        lp.entries[i].peGreen = colours[3 * i + 1];
        lp.entries[i].peBlue = colours[3 * i + 2];
        lp.entries[i].peFlags = 0;
        info.colours[i].rgbBlue = colours[3 * i + 2];
        info.colours[i].rgbGreen = colours[3 * i + 1];
        info.colours[i].rgbRed = colours[3 * i];
        info.colours[i].rgbReserved = 0;
    }
    if (palette != nullptr) DeleteObject(palette);
    palette = MakePalette(lp);
    RealizeOnScreen(palette);
}

// --- HiColorSurface --------------------------------------------------------

HiColorSurface::HiColorSurface(WindowHandle target, const Rect32* rect)
{
    const Rect32 frame = FrameOf(target, rect);
    Init(target, frame);
}

void HiColorSurface::Init(WindowHandle target, const Rect32& rect)
{
    ReleaseCommon();
    TakeRect(target, rect);
    BITMAPINFOHEADER& h = info.header;
    SetCommonHeader(h, Stride());
    // Negative height: the top picture row comes first in memory.
    h.biHeight = -Height();
    h.biBitCount = 16;
    h.biSizeImage = 0;
    CreatePixelStorage();
    BuildPalette();
}

void HiColorSurface::Release() { ReleaseCommon(); }

int32_t HiColorSurface::ApplyPalette(DeviceContextHandle dc) { return RealizeInto(dc); }

// 16-bit texels carry their own colours.
void HiColorSurface::SetPalette(const uint8_t*) {}

void HiColorSurface::BuildPalette()
{
    LogPalette256 lp;
    lp.palVersion = 0x300;
    lp.palNumEntries = 256;
    for (int i = 0; i < 256; ++i) {
        lp.entries[i].peRed = lp.entries[i].peGreen = lp.entries[i].peBlue = static_cast<BYTE>(i);
        lp.entries[i].peFlags = 0;
    }
    if (palette != nullptr) DeleteObject(palette);
    palette = MakePalette(lp);
    RealizeOnScreen(palette);
}

// --- Surface ---------------------------------------------------------------

void Surface::Present()
{
    // Every surface of the Windows build is a GdiSurface (CreateSurface).
    auto* self = static_cast<GdiSurface*>(this);
    HWND hwnd = AsHwnd(window);
    HDC dc = GetDC(hwnd);
    ApplyPalette(reinterpret_cast<DeviceContextHandle>(dc));
    RECT wr = {0, 0, 0, 0};
    GetWindowRect(hwnd, &wr);
    // Signed 32-bit, truncating toward zero: a frame 3 wider than the window
    // sits at x = -1 and is cropped on both sides.
    const int32_t x = ((wr.right - wr.left) - Width()) / 2;
    const int32_t y = ((wr.bottom - wr.top) - Height()) / 2;
    BitBlt(dc, x, y, Width(), Height(), self->memDC, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, dc);
    ++framesPresented;
}

Surface* CreateSurface(int32_t hiColor, WindowHandle target, const Rect32& frame)
{
    Surface* surface = nullptr;
    if (hiColor)
        surface = new HiColorSurface(target, &frame);
    else
        surface = new PalettedSurface(target, &frame, nullptr);
    // Without pixel memory the renderer has nowhere to draw.
    if (surface->pixelMemory == nullptr && surface->Width() > 0 && surface->Height() > 0) {
        surface->Release();
        delete surface;
        return nullptr;
    }
    return surface;
}
