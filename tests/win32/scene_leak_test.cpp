// Setting the scene up and tearing it down many times over the real DIB
// surfaces, the GDI texture loader and a real window gives back every GDI
// object; so does a setup that fails to load its image. (Heap blocks of the
// portable scene code are checked by the sanitizer build natively.)

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "tests/support/bmp_writer.h"

namespace {

HWND MakeWindow(int width, int height)
{
    return CreateWindowExA(0, "STATIC", "scene", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
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

TEST(SceneLeak, SetupAndTeardownGiveBackEveryGdiObject)
{
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(bmpw::MakePalettedImage(256, 200, palette), form);
    const std::string texture = ::testing::TempDir() + "gyrofold_scene_leak.bmp", missing = texture + ".missing";
    std::ofstream(texture, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    HWND window = MakeWindow(400, 300), host = MakeWindow(152, 112);
    PumpMessages();
    auto scene = std::make_unique<Scene>();

    const struct {
        const char* name;
        int32_t useHiColor, numBuf;
        bool preview;
        const std::string* image;
    } runs[] = {
        {"8-bit, NumBuf 3, full screen", 0, 3, false, &texture},
        {"16-bit, NumBuf 5, full screen", 1, 5, false, &texture}, {"16-bit preview", 1, 3, true, &texture},
        {"8-bit, missing image", 0, 3, false, &missing},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        auto cycle = [&] {
            SaverSettings s;
            s.UseHiColor = run.useHiColor;
            s.NumBuf = run.numBuf;
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
        EXPECT_EQ(scene->currentSurface, nullptr);
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
