// The DIB surfaces: stride, header, palette and the centred copy, read back
// from a real window.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "imaging/surface_win32.h"

namespace {

const char kTestClass[] = "GyrofoldSurfaceTestWindow";

HWND MakeWindow(int width, int height)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kTestClass;
        registered = RegisterClassA(&wc) != 0;
    }
    HWND w = CreateWindowExA(WS_EX_TOPMOST, kTestClass, "surface", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(w);
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(5);
    }
    return w;
}

WindowHandle H(HWND w) { return reinterpret_cast<WindowHandle>(w); }

// A 5-5-5 texel from 5-bit channels.
uint16_t Texel(int r, int g, int b) { return static_cast<uint16_t>((r << 10) | (g << 5) | b); }

// The window's pixel, reduced to 5-bit channels.
struct Rgb5 {
    int r, g, b;
    bool operator==(const Rgb5& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb5& c) { return os << '(' << c.r << ',' << c.g << ',' << c.b << ')'; }

Rgb5 ReadBack(HWND w, int x, int y)
{
    HDC dc = GetDC(w);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return Rgb5{GetRValue(c) >> 3, GetGValue(c) >> 3, GetBValue(c) >> 3};
}

// 16-bit frame whose column c carries its number in green and blue.
void FillColumns(HiColorSurface& s)
{
    auto* base = static_cast<uint8_t*>(s.pixelMemory);
    for (int r = 0; r < s.Height(); ++r) {
        auto* row = reinterpret_cast<uint16_t*>(base + static_cast<size_t>(r) * 2 * s.Stride());
        for (int c = 0; c < s.Width(); ++c) row[c] = Texel(16, (c >> 5) & 31, c & 31);
    }
}

TEST(Surface, StrideIsWidthRoundedUpToFour)
{
    const struct {
        int32_t width, stride;
    } cases[] = {{318, 320}, {320, 320}, {321, 324}, {1, 4}, {4, 4}, {7, 8}};
    for (const auto& c : cases) {
        const Rect32 frame = {0, 0, c.width, 10};
        PalettedSurface p(0, &frame, nullptr);
        HiColorSurface h(0, &frame);
        EXPECT_EQ(p.info.header.biWidth, c.stride) << c.width;
        EXPECT_EQ(h.info.header.biWidth, c.stride) << c.width;
        EXPECT_EQ(p.Stride(), c.stride);
        BITMAP bm = {};
        ASSERT_NE(GetObjectA(p.dibSection, sizeof bm, &bm), 0);
        EXPECT_EQ(bm.bmWidthBytes, c.stride) << c.width;
        ASSERT_NE(GetObjectA(h.dibSection, sizeof bm, &bm), 0);
        EXPECT_EQ(bm.bmWidthBytes, 2 * c.stride) << c.width;
        p.Release();
        h.Release();
    }
}

TEST(Surface, HeaderValuesOfBothKinds)
{
    const Rect32 frame = {0, 0, 318, 200};
    uint8_t colours[768];
    for (int i = 0; i < 768; ++i) colours[i] = static_cast<uint8_t>(i * 7);
    PalettedSurface p(0, &frame, colours);
    const BITMAPINFOHEADER& ph = p.info.header;
    EXPECT_EQ(ph.biSize, 40u);
    EXPECT_EQ(ph.biWidth, 320);
    EXPECT_EQ(ph.biHeight, 200);
    EXPECT_EQ(ph.biPlanes, 1);
    EXPECT_EQ(ph.biBitCount, 8);
    EXPECT_EQ(ph.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(ph.biSizeImage, 64000u);
    EXPECT_EQ(ph.biClrUsed, 0u);
    EXPECT_EQ(ph.biClrImportant, 0u);
    // Colour table in blue, green, red order.
    EXPECT_EQ(p.info.colours[3].rgbRed, colours[9]);
    EXPECT_EQ(p.info.colours[3].rgbGreen, colours[10]);
    EXPECT_EQ(p.info.colours[3].rgbBlue, colours[11]);
    EXPECT_EQ(p.info.colours[3].rgbReserved, 0);
    EXPECT_NE(p.palette, nullptr);
    EXPECT_NE(p.pixelMemory, nullptr);

    HiColorSurface h(0, &frame);
    const BITMAPINFOHEADER& hh = h.info.header;
    EXPECT_EQ(hh.biSize, 40u);
    EXPECT_EQ(hh.biWidth, 320);
    EXPECT_EQ(hh.biHeight, -200);
    EXPECT_EQ(hh.biPlanes, 1);
    EXPECT_EQ(hh.biBitCount, 16);
    EXPECT_EQ(hh.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(hh.biSizeImage, 0u);
    EXPECT_NE(h.palette, nullptr);
    // The grey ramp.
    PALETTEENTRY e[256];
    ASSERT_EQ(GetPaletteEntries(h.palette, 0, 256, e), 256u);
    for (int i : {0, 1, 127, 255}) {
        EXPECT_EQ(e[i].peRed, i);
        EXPECT_EQ(e[i].peGreen, i);
        EXPECT_EQ(e[i].peBlue, i);
    }
    p.Release();
    h.Release();
}

TEST(Surface, ReleaseTwiceDeletesOnce)
{
    const Rect32 frame = {0, 0, 64, 32};
    PalettedSurface p(0, &frame, nullptr);
    HiColorSurface h(0, &frame);
    HDC dcs[2] = {p.memDC, h.memDC};
    HBITMAP bitmaps[2] = {p.dibSection, h.dibSection};
    HPALETTE palettes[2] = {p.palette, h.palette};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GetObjectType(bitmaps[i]), static_cast<DWORD>(OBJ_BITMAP));
        EXPECT_EQ(GetObjectType(palettes[i]), static_cast<DWORD>(OBJ_PAL));
        EXPECT_EQ(GetObjectType(dcs[i]), static_cast<DWORD>(OBJ_MEMDC));
    }
    p.Release();
    h.Release();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GetObjectType(bitmaps[i]), 0u);
        EXPECT_EQ(GetObjectType(palettes[i]), 0u);
        EXPECT_EQ(GetObjectType(dcs[i]), 0u);
    }
    EXPECT_EQ(p.memDC, nullptr);
    EXPECT_EQ(p.dibSection, nullptr);
    EXPECT_EQ(p.palette, nullptr);
    EXPECT_EQ(h.palette, nullptr);
    // Another surface may now hold recycled handle values; a second release
    // must not touch them.
    HiColorSurface other(0, &frame);
    p.Release();
    h.Release();
    EXPECT_EQ(GetObjectType(other.dibSection), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(GetObjectType(other.palette), static_cast<DWORD>(OBJ_PAL));
    other.Release();
}

TEST(Surface, SetPaletteOnHiColorChangesNothing)
{
    const Rect32 frame = {0, 0, 32, 8};
    HiColorSurface h(0, &frame);
    void* memory = h.pixelMemory;
    HBITMAP dib = h.dibSection;
    HPALETTE pal = h.palette;
    const SurfaceBitmapInfo before = h.info;
    uint8_t colours[768];
    std::memset(colours, 0x55, sizeof colours);
    h.SetPalette(colours);
    EXPECT_EQ(h.pixelMemory, memory);
    EXPECT_EQ(h.dibSection, dib);
    EXPECT_EQ(h.palette, pal);
    EXPECT_EQ(std::memcmp(&before, &h.info, sizeof before), 0);
    h.Release();
}

TEST(Surface, SetPaletteOnPalettedRemakesTheColourTable)
{
    const Rect32 frame = {0, 0, 16, 4};
    PalettedSurface p(0, &frame, nullptr);
    uint8_t colours[768] = {};
    colours[3 * 5] = 200;
    colours[3 * 5 + 1] = 100;
    colours[3 * 5 + 2] = 50;
    p.SetPalette(colours);
    RGBQUAD table[256] = {};
    ASSERT_EQ(GetDIBColorTable(p.memDC, 0, 256, table), 256u);
    EXPECT_EQ(table[5].rgbRed, 200);
    EXPECT_EQ(table[5].rgbGreen, 100);
    EXPECT_EQ(table[5].rgbBlue, 50);
    PALETTEENTRY e = {};
    ASSERT_EQ(GetPaletteEntries(p.palette, 5, 1, &e), 1u);
    EXPECT_EQ(e.peRed, 200);
    EXPECT_EQ(e.peBlue, 50);
    EXPECT_NE(p.pixelMemory, nullptr);
    p.Release();
}

TEST(Surface, CreateSurfacePicksTheKind)
{
    const Rect32 frame = {0, 0, 40, 30};
    Surface* s8 = CreateSurface(0, 0, frame);
    Surface* s16 = CreateSurface(1, 0, frame);
    ASSERT_NE(dynamic_cast<PalettedSurface*>(s8), nullptr);
    ASSERT_NE(dynamic_cast<HiColorSurface*>(s16), nullptr);
    EXPECT_EQ(s8->Width(), 40);
    EXPECT_EQ(s16->Height(), 30);
    s8->Release();
    s16->Release();
    delete s8;
    delete s16;
}

struct PresentCase {
    int windowWidth, windowHeight, frameWidth, frameHeight;
    int x, y;  // where the frame's top-left lands
};

TEST(SurfacePresent, CentresWithTruncatingDivision)
{
    const PresentCase cases[] = {
        {641, 300, 320, 200, 160, 50},   // 321 / 2
        {640, 301, 320, 200, 160, 50},
        {317, 240, 320, 200, -1, 20},    // -3 / 2 toward zero
        {320, 200, 320, 200, 0, 0},
        {400, 100, 318, 120, 41, -10},
    };
    for (const PresentCase& c : cases) {
        HWND w = MakeWindow(c.windowWidth, c.windowHeight);
        ASSERT_NE(w, nullptr);
        const Rect32 frame = {0, 0, c.frameWidth, c.frameHeight};
        HiColorSurface s(H(w), &frame);
        FillColumns(s);
        s.Present();
        GdiFlush();
        const char* label = "case";
        SCOPED_TRACE(testing::Message() << c.windowWidth << "x" << c.windowHeight << " frame " << c.frameWidth);
        (void)label;
        const int midY = c.y + c.frameHeight / 2 > 0 ? c.y + c.frameHeight / 2 : 0;
        // The first shown column, the last shown column, and black beside them.
        const int firstX = c.x < 0 ? 0 : c.x;
        const int firstCol = firstX - c.x;
        EXPECT_EQ(ReadBack(w, firstX, midY), (Rgb5{16, (firstCol >> 5) & 31, firstCol & 31}));
        const int lastX = c.x + c.frameWidth - 1 < c.windowWidth - 1 ? c.x + c.frameWidth - 1 : c.windowWidth - 1;
        const int lastCol = lastX - c.x;
        EXPECT_EQ(ReadBack(w, lastX, midY), (Rgb5{16, (lastCol >> 5) & 31, lastCol & 31}));
        if (c.x > 0) {
            EXPECT_EQ(ReadBack(w, c.x - 1, midY), (Rgb5{0, 0, 0}));
        }
        if (c.x + c.frameWidth < c.windowWidth) {
            EXPECT_EQ(ReadBack(w, c.x + c.frameWidth, midY), (Rgb5{0, 0, 0}));
        }
        if (c.y > 0) {
            EXPECT_EQ(ReadBack(w, firstX, c.y - 1), (Rgb5{0, 0, 0}));
            EXPECT_EQ(ReadBack(w, firstX, c.y), (Rgb5{16, (firstCol >> 5) & 31, firstCol & 31}));
        }
        EXPECT_EQ(s.framesPresented, 1u);
        s.Release();
        DestroyWindow(w);
    }
}

TEST(SurfacePresent, PalettedRowsAreBottomUpInMemory)
{
    HWND w = MakeWindow(64, 40);
    ASSERT_NE(w, nullptr);
    const Rect32 frame = {0, 0, 62, 40};  // stride 64
    PalettedSurface s(H(w), &frame, nullptr);
    uint8_t colours[768] = {};
    const uint8_t red[3] = {248, 0, 0}, green[3] = {0, 248, 0}, blue[3] = {0, 0, 248};
    std::memcpy(colours + 3, red, 3);
    std::memcpy(colours + 6, green, 3);
    std::memcpy(colours + 9, blue, 3);
    s.SetPalette(colours);
    auto* base = static_cast<uint8_t*>(s.pixelMemory);
    std::memset(base, 1, static_cast<size_t>(s.Stride()) * s.Height());
    // Memory row 0 is the bottom picture row.
    std::memset(base, 2, static_cast<size_t>(s.Stride()));
    // The last memory row is the top picture row.
    std::memset(base + static_cast<size_t>(s.Stride()) * (s.Height() - 1), 3, static_cast<size_t>(s.Stride()));
    s.Present();
    GdiFlush();
    EXPECT_EQ(ReadBack(w, 10, 0), (Rgb5{0, 0, 31}));
    EXPECT_EQ(ReadBack(w, 10, 39), (Rgb5{0, 31, 0}));
    EXPECT_EQ(ReadBack(w, 10, 20), (Rgb5{31, 0, 0}));
    // x = (64 - 62) / 2 = 1: column 0 stays black, the stride's padding is never shown.
    EXPECT_EQ(ReadBack(w, 0, 20), (Rgb5{0, 0, 0}));
    EXPECT_EQ(ReadBack(w, 1, 20), (Rgb5{31, 0, 0}));
    EXPECT_EQ(ReadBack(w, 62, 20), (Rgb5{31, 0, 0}));
    EXPECT_EQ(ReadBack(w, 63, 20), (Rgb5{0, 0, 0}));
    s.Release();
    DestroyWindow(w);
}

TEST(SurfacePresent, HiColorRowsAreTopDownInMemory)
{
    HWND w = MakeWindow(32, 20);
    ASSERT_NE(w, nullptr);
    const Rect32 frame = {0, 0, 32, 20};
    HiColorSurface s(H(w), &frame);
    auto* base = static_cast<uint16_t*>(s.pixelMemory);
    for (int i = 0; i < 32 * 20; ++i) base[i] = Texel(0, 0, 31);
    for (int c = 0; c < 32; ++c) base[c] = Texel(31, 0, 0);  // memory row 0 = top
    s.Present();
    GdiFlush();
    EXPECT_EQ(ReadBack(w, 5, 0), (Rgb5{31, 0, 0}));
    EXPECT_EQ(ReadBack(w, 5, 1), (Rgb5{0, 0, 31}));
    EXPECT_EQ(ReadBack(w, 5, 19), (Rgb5{0, 0, 31}));
    s.Release();
    DestroyWindow(w);
}

}  // namespace
