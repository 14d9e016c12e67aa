// The DIB surfaces: stride, row order, palette and the centred copy, read back
// from a real window.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "imaging/surface_win32.h"
#include "tests/support/test_window_win32.h"

namespace {

uint16_t Texel(int r, int g, int b) { return static_cast<uint16_t>((r << 10) | (g << 5) | b); }

// The window's pixel as a 5-5-5 value.
uint16_t ReadBack(HWND w, int x, int y)
{
    HDC dc = GetDC(w);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return Texel(GetRValue(c) >> 3, GetGValue(c) >> 3, GetBValue(c) >> 3);
}

TEST(Surface, ReleaseTwiceDeletesOnce)
{
    const Rect32 frame = {0, 0, 64, 32};
    PalettedSurface p(0, &frame, nullptr);
    HGDIOBJ objects[3] = {p.memDC, p.dibSection, p.palette};
    p.Release();
    for (HGDIOBJ o : objects) EXPECT_EQ(GetObjectType(o), 0u);
    EXPECT_TRUE(p.memDC == nullptr && p.palette == nullptr);
    // Another surface may now hold recycled handle values; a second release
    // must not touch them.
    HiColorSurface other(0, &frame);
    p.Release();
    EXPECT_EQ(GetObjectType(other.dibSection), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(GetObjectType(other.palette), static_cast<DWORD>(OBJ_PAL));
    other.Release();
}

// The frame lands at half the difference of the window's outer size and the
// frame size, truncated toward zero; 8-bit rows are bottom-up in memory, in
// the colours the last SetPalette gave.
TEST(SurfacePresent, CentresByTheOuterWindowSize)
{
    const struct {
        int windowWidth, windowHeight, frameWidth, frameHeight;
        DWORD style;
        int hiColor;
    } cases[] = {
        {641, 300, 318, 200, WS_POPUP, true},    // x = 323 / 2 = 161; rows 320 texels apart
        {317, 240, 320, 200, WS_POPUP, true},    // x = -3 / 2 = -1
        {400, 100, 318, 120, WS_POPUP, false},   // y = -20 / 2 = -10
        {400, 300, 200, 100, WS_POPUP | WS_CAPTION | WS_THICKFRAME, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.windowWidth << "x" << c.windowHeight << " style " << c.style);
        HWND w = MakeTestWindow(c.windowWidth, c.windowHeight, c.style | WS_VISIBLE);
        ASSERT_NE(w, nullptr);
        RECT outer, client;
        GetWindowRect(w, &outer);
        GetClientRect(w, &client);
        const int x = ((outer.right - outer.left) - c.frameWidth) / 2;
        const int y = ((outer.bottom - outer.top) - c.frameHeight) / 2;
        ASSERT_TRUE(!(c.style & WS_CAPTION) || client.right - client.left != outer.right - outer.left);
        Surface* s = CreateSurface(c.hiColor, reinterpret_cast<WindowHandle>(w), Rect32{0, 0, c.frameWidth, c.frameHeight});
        // Column c of picture row r shows a colour of its own; the 8-bit
        // palette maps index i to the 5-5-5 colour (i, i, 0).
        uint8_t colours[768] = {};
        for (int i = 0; i < 32; ++i) colours[3 * i] = colours[3 * i + 1] = static_cast<uint8_t>(i << 3);
        s->SetPalette(colours);
        const int stride = (c.frameWidth + 3) & ~3;
        auto shown = [&](int col, int r) { return c.hiColor ? Texel(16, r & 31, col & 31) : Texel((col + r) & 31, (col + r) & 31, 0); };
        for (int r = 0; r < c.frameHeight; ++r)
            for (int col = 0; col < c.frameWidth; ++col)
                if (c.hiColor) static_cast<uint16_t*>(s->pixelMemory)[r * stride + col] = shown(col, r);
                else static_cast<uint8_t*>(s->pixelMemory)[(c.frameHeight - 1 - r) * stride + col] = uint8_t((col + r) & 31);
        s->Present();
        GdiFlush();
        const int clientW = client.right - client.left, clientH = client.bottom - client.top;
        const int px[] = {std::max(x, 0), std::min(x + c.frameWidth, clientW) - 1};
        const int py[] = {std::max(y, 0), std::min(y + c.frameHeight, clientH) - 1};
        for (int X : px)
            for (int Y : py) EXPECT_EQ(ReadBack(w, X, Y), shown(X - x, Y - y)) << X << "," << Y;
        EXPECT_EQ(x > 0 ? ReadBack(w, x - 1, py[0]) : 0, 0) << "left of the frame";
        EXPECT_EQ(x + c.frameWidth < clientW ? ReadBack(w, x + c.frameWidth, py[0]) : 0, 0) << "right of the frame";
        s->Release();
        delete s;
        DestroyWindow(w);
    }
}

}  // namespace
