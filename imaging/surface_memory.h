#pragma once
// The native build's surface: a heap pixel buffer with the stride and row
// order of the Windows surfaces (8-bit rows bottom-up, 16-bit rows top-down).

#include <vector>

#include "imaging/surface.h"

class MemorySurface : public Surface {
public:
    MemorySurface(int32_t hiColor, const Rect32& rect);

    void Init(WindowHandle target, const Rect32& rect) override;
    void Release() override;
    int32_t ApplyPalette(DeviceContextHandle dc) override;
    void SetPalette(const uint8_t* colours768) override;
    void BuildPalette() override;

    int32_t BytesPerPixel() const { return hiColor_ ? 2 : 1; }
    bool HiColor() const { return hiColor_ != 0; }
    // The memory of picture row r (0 = top row on screen).
    const uint8_t* PictureRow(int32_t r) const;

    // Hands each band on as picture rows [firstRow, endRow), those a copy of
    // the frame takes, in the order of the screen.
    void RowsDrawn(int32_t first, int32_t end) override;
    virtual void PictureRowsDrawn(int32_t firstRow, int32_t endRow)
    {
        (void)firstRow;
        (void)endRow;
    }
    // The 8-bit frame's palette, or the 16-bit surface's grey ramp.
    uint8_t colours[768] = {};

private:
    int32_t hiColor_;
    std::vector<uint8_t> storage_;
};

// The stand-ins for window sizes and the texts drawn into windows in programs
// without a window (memory_frames.cpp), so that tests can see what scene setup
// did.
void SetNativeClientRect(WindowHandle window, const Rect32& rect);
struct StatusTextRecord {
    WindowHandle window;
    int32_t wholeWindow;
    Rect32 rect;
    char text[64];
};
std::vector<StatusTextRecord>& NativeStatusTexts();
