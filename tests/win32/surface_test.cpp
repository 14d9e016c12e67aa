// The DIB surfaces: stride, header, palette and the centred copy, read back
// from a real window; CreateDIBSection is watched through the import table.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "imaging/surface_win32.h"
#include "tests/support/test_window_win32.h"
#include "tests/win32/iat_hook.h"

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

// Every CreateDIBSection: the header and colour table it was given and the memory it gave.
struct DibCall {
    BITMAPINFOHEADER header;
    std::vector<RGBQUAD> table;
    void* bits;
};
std::vector<DibCall> dibCalls;
IatHook* dibHook = nullptr;

std::vector<void*> blockers;

HBITMAP WINAPI RecordDib(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset)
{
    // Keeps the last section's freed memory from being handed out again, so
    // that a surface still pointing there is told apart from one that moved.
    if (!dibCalls.empty()) blockers.push_back(VirtualAlloc(dibCalls.back().bits, 1, MEM_RESERVE, PAGE_NOACCESS));
    HBITMAP b = dibHook->Original<decltype(&CreateDIBSection)>()(dc, info, usage, bits, section, offset);
    dibCalls.push_back({info->bmiHeader, std::vector<RGBQUAD>(info->bmiColors, info->bmiColors + 256), *bits});
    return b;
}

// The headers of both kinds, with the width rounded up to 4. The 8-bit DIB
// takes its colours from the table in the header, so the table must hold the
// palette when the section is made, at construction and at every SetPalette;
// SetPalette makes a new section, whose memory the surface then points to.
TEST(Surface, HeadersAndTheColourTableBeforeEachDibSection)
{
    IatHook hook("gdi32.dll", "CreateDIBSection", reinterpret_cast<void*>(&RecordDib));
    ASSERT_TRUE(hook.Installed());
    dibHook = &hook;
    dibCalls.clear();
    uint8_t first[768], second[768];
    for (int i = 0; i < 768; ++i) first[i] = uint8_t(i * 7), second[i] = uint8_t(255 - i * 3);
    const Rect32 frame = {0, 0, 18, 4};
    PalettedSurface p(0, &frame, first);
    HBITMAP firstDib = p.dibSection;
    p.SetPalette(second);
    ASSERT_EQ(dibCalls.size(), 2u);
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 256; ++i) {
            const uint8_t* c = (round == 0 ? first : second) + 3 * i;
            const RGBQUAD& q = dibCalls[round].table[i];
            ASSERT_TRUE(q.rgbRed == c[0] && q.rgbGreen == c[1] && q.rgbBlue == c[2] && q.rgbReserved == 0) << round << ", " << i;
        }
    EXPECT_EQ(p.pixelMemory, dibCalls[1].bits);
    for (void* b : blockers) VirtualFree(b, 0, MEM_RELEASE);
    EXPECT_EQ(GetObjectType(firstDib), 0u);  // the old section is gone
    PALETTEENTRY e = {};
    ASSERT_EQ(GetPaletteEntries(p.palette, 5, 1, &e), 1u);
    EXPECT_EQ(RGB(e.peRed, e.peGreen, e.peBlue), RGB(second[15], second[16], second[17]));
    p.Release();

    // The 16-bit surface ignores SetPalette.
    HiColorSurface h(0, &frame);
    const auto before = std::tuple(h.pixelMemory, h.palette, h.dibSection);
    const SurfaceBitmapInfo info = h.info;
    h.SetPalette(second);
    EXPECT_EQ(dibCalls.size(), 3u);
    EXPECT_EQ(before, std::tuple(h.pixelMemory, h.palette, h.dibSection));
    EXPECT_EQ(std::memcmp(&info, &h.info, sizeof info), 0);
    // 8-bit rows bottom-up, 16-bit rows top-down.
    for (const auto& [x, height, bits, image] : {std::tuple{&dibCalls[0].header, 4, 8, 80u}, {&dibCalls[2].header, -4, 16, 0u}}) {
        EXPECT_EQ(std::vector<long>({long(x->biSize), x->biWidth, x->biHeight, x->biPlanes, x->biBitCount}),
                  std::vector<long>({40, 20, height, 1, bits}));
        EXPECT_EQ(std::vector<DWORD>({x->biCompression, x->biSizeImage, x->biClrUsed}), std::vector<DWORD>({BI_RGB, image, 0}));
    }
    PALETTEENTRY e16[256];  // the 16-bit surface's palette: a grey ramp
    ASSERT_EQ(GetPaletteEntries(h.palette, 0, 256, e16), 256u);
    for (int i : {0, 1, 127, 255}) EXPECT_EQ(RGB(e16[i].peRed, e16[i].peGreen, e16[i].peBlue), RGB(i, i, i));
    h.Release();
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
// frame size, truncated toward zero; 8-bit rows are bottom-up in memory.
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
