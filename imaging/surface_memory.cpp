#include "imaging/surface_memory.h"

#include <cstring>

MemorySurface::MemorySurface(int32_t hiColor, const Rect32& rect) : hiColor_(hiColor)
{
    Init(0, rect);
}

void MemorySurface::Init(WindowHandle target, const Rect32& rect)
{
    bounds = rect;
    window = target;
    BuildPalette();
    const int32_t w = Width() > 0 ? Width() : 0, h = Height() > 0 ? Height() : 0;
    storage_.assign(static_cast<size_t>(SurfaceStride(w)) * static_cast<size_t>(h) * BytesPerPixel() + 4, 0);
    pixelMemory = storage_.data();
}

void MemorySurface::Release()
{
    storage_.clear();
    storage_.shrink_to_fit();
    pixelMemory = nullptr;
}

int32_t MemorySurface::ApplyPalette(DeviceContextHandle) { return 256; }

void MemorySurface::SetPalette(const uint8_t* colours768)
{
    if (hiColor_) return;
    std::memcpy(colours, colours768, sizeof colours);
}

void MemorySurface::BuildPalette()
{
    if (!hiColor_) return;
    for (int32_t i = 0; i < 256; ++i) colours[3 * i] = colours[3 * i + 1] = colours[3 * i + 2] = static_cast<uint8_t>(i);
}

void MemorySurface::RowsDrawn(int32_t first, int32_t end)
{
    if (hiColor_)
        PictureRowsDrawn(first, end);
    else
        PictureRowsDrawn(Height() - end, Height() - first);
}

const uint8_t* MemorySurface::PictureRow(int32_t r) const
{
    const int32_t memoryRow = hiColor_ ? r : Height() - 1 - r;
    return static_cast<const uint8_t*>(pixelMemory) +
           static_cast<size_t>(memoryRow) * static_cast<size_t>(Stride()) * BytesPerPixel();
}
