// The GDI side of the imaging: the texture loaders, joined to the portable
// decoder's results, with their own refusals; the DIB surfaces' release and
// centred copy, read back from a real window; and scene cycles over them
// giving back every GDI object (the sanitizer build checks the heap natively).

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/bmp_decoder.h"
#include "imaging/surface_win32.h"
#include "imaging/texture.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/test_window_win32.h"

using namespace bmpw;

namespace {

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    return SaveFile(::testing::TempDir() + "gyrofold_loader_" + name + ".bmp", bytes);
}

std::vector<BmpColor> Palette()
{
    std::vector<BmpColor> p;
    for (size_t i = 0; i < 256; ++i) p.push_back({uint8_t(i * 37 + 5), uint8_t(255 - i * 11), uint8_t(i * 3)});
    return p;
}

// An 8-bit file 257 wide loads as 256 wide, top row first, with the same
// texels and palette as the decoder gives.
TEST(TextureLoader, GivesTheDecodersTexels)
{
    const std::string path = WriteFile("paletted", WriteBmp(MakePalettedImage(257, 9, Palette()), Form(Info, 8)));
    Bitmap8 d8;
    std::string error;
    ASSERT_TRUE(LoadBmpFile8(path.c_str(), d8, error)) << error;
    int32_t width = 0, height = 0;
    uint8_t *palette = nullptr, *pixels = nullptr;
    ASSERT_EQ(LoadTexture8(path.c_str(), &width, &height, &palette, &pixels), 0);
    EXPECT_EQ(width * 100 + height, 25609);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 256 * 9), std::vector<uint8_t>(d8.pixels.begin(), d8.pixels.end()));
    EXPECT_EQ(std::vector<uint8_t>(palette, palette + 768), std::vector<uint8_t>(d8.palette, d8.palette + 768));
    for (void* p : {static_cast<void*>(pixels), static_cast<void*>(palette)}) std::free(p);
    std::remove(path.c_str());
}

// Sizes the mapper cannot use or that would cost too much memory are refused
// with the outputs untouched, as are files the platform cannot read.
TEST(TextureLoader, RefusalsLeaveOutputsUntouched)
{
    BmpForm huge = Form(Info, 8, BmpCompression::Rle8);
    huge.pixelData = std::vector<uint8_t>{0, 1};
    std::vector<uint8_t> hugeFile = WriteBmp(MakePalettedImage(8, 3, Palette()), huge);
    Put32(hugeFile, kWidthAt, 8192);
    Put32(hugeFile, kHeightAt, 8193);  // a few bytes declaring more than 64 Mi texels
    BmpForm oneBit = Form(Info, 1);
    oneBit.paletteEntries = 2;
    const std::string paths[] = {
        WriteFile("narrow3", WriteBmp(MakePalettedImage(3, 10, Palette()), Form(Info, 8))),
        WriteFile("too_wide", WriteBmp(MakePalettedImage(kMaxBitmapSide + 4, 1, Palette()), oneBit)),
        WriteFile("too_many", hugeFile), WriteFile("text", {'t', 'e', 'x', 't'}), "", "Z:\\no\\such\\file.bmp",
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        int32_t w = -7, h = -7;
        uint8_t *palette = nullptr, *pixels = nullptr;
        uint16_t* pixels16 = nullptr;
        EXPECT_EQ(LoadTexture8(path.c_str(), &w, &h, &palette, &pixels), -1);
        EXPECT_EQ(LoadTexture16(path.c_str(), &w, &h, &pixels16), -1);
        EXPECT_EQ(w * 10 + h, -77);
        EXPECT_TRUE(palette == nullptr && pixels == nullptr && pixels16 == nullptr);
        if (!path.empty()) std::remove(path.c_str());
    }
}

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
    p.Release();  // what it deleted: SceneCycles
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
// frame size, truncated toward zero. (The 8-bit rows, bottom-up in the
// colours SetPalette gave, are the end-to-end paletted frames'.)
TEST(SurfacePresent, CentresByTheOuterWindowSize)
{
    const struct {
        int windowWidth, windowHeight, frameWidth, frameHeight;
        DWORD style;
    } cases[] = {
        {641, 300, 318, 200, WS_POPUP},  // x = 323 / 2 = 161; rows 320 texels apart
        {317, 240, 320, 200, WS_POPUP},  // x = -3 / 2 = -1
        {400, 100, 318, 120, WS_POPUP},  // y = -20 / 2 = -10
        {400, 300, 200, 100, WS_POPUP | WS_CAPTION | WS_THICKFRAME},
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
        Surface* s = CreateSurface(1, reinterpret_cast<WindowHandle>(w), Rect32{0, 0, c.frameWidth, c.frameHeight});
        // Column c of picture row r shows a colour of its own.
        const int stride = (c.frameWidth + 3) & ~3;
        auto shown = [](int col, int r) { return Texel(16, r & 31, col & 31); };
        for (int r = 0; r < c.frameHeight; ++r)
            for (int col = 0; col < c.frameWidth; ++col)
                static_cast<uint16_t*>(s->pixelMemory)[r * stride + col] = shown(col, r);
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

// Wine answers GetGuiResources with 0 (a stub there). Its GDI handle table
// takes a handle whose upper word is 0 as "any generation", so asking the
// type of every index counts the live objects of this process.
DWORD GdiObjects()
{
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return reported;
    DWORD live = 0;
    for (uintptr_t index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
    return live;
}

TEST(SceneCycles, SetupAndTeardownGiveBackEveryGdiObject)
{
    const std::string texture = WriteFile("scene", WriteBmp(MakePalettedImage(256, 200, Palette()), Form(Info, 8)));
    const std::string missing = texture + ".missing";
    HWND window = MakeTestWindow(400, 300), host = MakeTestWindow(152, 112);
    auto scene = std::make_unique<Scene>();

    const struct {
        const char* name;
        int32_t useHiColor, numBuf, preview;
        const std::string* image;
    } runs[] = {
        {"8-bit, NumBuf 3, full screen", 0, 3, 0, &texture}, {"16-bit, NumBuf 5, full screen", 1, 5, 0, &texture},
        {"16-bit preview", 1, 3, 1, &texture},               {"8-bit, missing image", 0, 3, 0, &missing},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        auto cycle = [&] {
            SaverSettings s;
            s.UseHiColor = run.useHiColor, s.NumBuf = run.numBuf;
            std::snprintf(s.IMGFilename, sizeof s.IMGFilename, "%s", run.image->c_str());
            SetupScene(*scene, s, reinterpret_cast<WindowHandle>(window), run.preview ? reinterpret_cast<WindowHandle>(host) : 0);
            EXPECT_EQ(scene->sceneReady != 0, run.image == &texture);
            RenderFrame(*scene, s);
            TeardownScene(*scene);
            PumpMessages();
        };
        // The first cycles fill the heap's free lists and the system's caches.
        for (int i = 0; i < 3; ++i) cycle();
        const DWORD gdi = GdiObjects();
        for (int i = 0; i < 20; ++i) cycle();
        EXPECT_LE(GdiObjects(), gdi);
    }
    // The count sees one object more.
    const DWORD gdi = GdiObjects();
    HGDIOBJ brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GdiObjects(), gdi + 1);
    DeleteObject(brush);
    DestroyWindow(window);
    DestroyWindow(host);
    DeleteFileA(texture.c_str());
}

}  // namespace
