// Setting the scene up and tearing it down, hundreds of times, over the real
// DIB surfaces, the GDI texture loader and a real window: every byte and every
// GDI object that setup takes, teardown gives back. A setup that fails to load
// its image gives everything back at once.

#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "tests/support/bmp_writer.h"

namespace {

const char kWindowClass[] = "GyrofoldSceneLeakWindow";

HWND MakeWindow(DWORD style, HWND parent, int width, int height)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kWindowClass;
        registered = RegisterClassA(&wc) != 0;
    }
    return CreateWindowExA(0, kWindowClass, "scene", style, 0, 0, width, height, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

std::string WriteTexture()
{
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
    bmpw::BmpImage image = bmpw::MakePalettedImage(256, 200, palette);
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 256; ++x) image.indices[size_t(y) * 256 + x] = uint8_t((x / 8) ^ (y / 8) * 3);
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string path =
        std::string(folder) + "gyrofold_scene_leak_" + std::to_string(GetCurrentProcessId()) + ".bmp";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return std::string();
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return path;
}

// Wine answers GetGuiResources with 0 (it is a stub there). Its GDI handle
// table takes a handle whose upper word is 0 as "any generation", so asking
// the type of every index counts the live objects of this process. On
// Windows the first answer is the real count and the probe is never needed.
DWORD GdiObjects()
{
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return reported;
    DWORD live = 0;
    for (uintptr_t index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
    return live;
}

// Committed private pages, from the address space itself: heap blocks, large
// allocations that went straight to VirtualAlloc and DIB section memory all
// count, touched or not. Wine fills PrivateUsage with 0 and PagefileUsage with
// the resident anonymous memory, which misses pages never written.
size_t CommittedPrivateBytes()
{
    size_t total = 0;
    const char* at = nullptr;
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

// Bytes handed out and not yet given back by every heap of the process (the C
// library's malloc lives on one of them). Unlike committed pages this sees a
// small block leaked into space the heap already had.
size_t HeapBytesInUse()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

struct Usage {
    size_t heapInUse = 0;
    size_t privateUsage = 0;
    size_t pagefileUsage = 0;
    size_t committedPrivate = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};

Usage Measure()
{
    Usage u;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        u.privateUsage = counters.PrivateUsage;
        u.pagefileUsage = counters.PagefileUsage;
    }
    u.heapInUse = HeapBytesInUse();
    u.committedPrivate = CommittedPrivateBytes();
    u.gdiObjects = GdiObjects();
    u.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return u;
}

void Report(const char* what, int cycles, const Usage& before, const Usage& after)
{
    std::printf("[scene leak] %s, %d cycles: heap in use %zu -> %zu bytes, committed private %zu -> %zu bytes, "
                "PrivateUsage %zu -> %zu, PagefileUsage %zu -> %zu, GDI objects %lu -> %lu\n",
                what, cycles, before.heapInUse, after.heapInUse, before.committedPrivate, after.committedPrivate, before.privateUsage,
                after.privateUsage, before.pagefileUsage, after.pagefileUsage,
                static_cast<unsigned long>(before.gdiObjects), static_cast<unsigned long>(after.gdiObjects));
}

// One way of running the scene: colour mode, blur depth and where it draws.
struct SceneRunKind {
    const char* name;
    int32_t useHiColor;
    int32_t numBuf;
    bool preview;
};

// The smallest blocks a cycle allocates are the 768-byte palette of the 8-bit
// loader and the 800 bytes of row offsets; 150 cycles leaking one of them
// would pass the heap bound almost thirty times over, and the bound on
// committed pages seven times. The bounds leave room for the heap's own
// bookkeeping, never for a block per cycle.
constexpr int kCycles = 150;
constexpr size_t kAllowedGrowth = 16 * 1024;
constexpr size_t kAllowedHeapGrowth = 4 * 1024;

class SceneLeak : public ::testing::Test {
protected:
    void SetUp() override
    {
        texture_ = WriteTexture();
        ASSERT_FALSE(texture_.empty());
        // A popup as the full-screen saver window, a plain window as the host
        // of the preview pane.
        window_ = MakeWindow(WS_POPUP | WS_VISIBLE, nullptr, 400, 300);
        host_ = MakeWindow(WS_POPUP | WS_VISIBLE, nullptr, 152, 112);
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(host_, nullptr);
        PumpMessages();
        scene_ = std::make_unique<Scene>();
    }
    void TearDown() override
    {
        TeardownScene(*scene_);
        DestroyWindow(window_);
        DestroyWindow(host_);
        PumpMessages();
        DeleteFileA(texture_.c_str());
    }

    // Sets up, draws two frames and tears down; false when setup failed
    // although the image was there.
    bool Cycle(const SceneRunKind& run, const char* image)
    {
        SaverSettings s;
        s.UseHiColor = run.useHiColor;
        s.NumBuf = run.numBuf;
        std::snprintf(s.IMGFilename, sizeof s.IMGFilename, "%s", image);
        SetupScene(*scene_, s, reinterpret_cast<WindowHandle>(window_),
                   run.preview ? reinterpret_cast<WindowHandle>(host_) : 0);
        const bool ready = scene_->sceneReady != 0;
        RenderFrame(*scene_, s);
        RenderFrame(*scene_, s);
        TeardownScene(*scene_);
        PumpMessages();
        return ready;
    }

    std::string texture_;
    HWND window_ = nullptr;
    HWND host_ = nullptr;
    std::unique_ptr<Scene> scene_;
};

TEST_F(SceneLeak, SetupAndTeardownGiveBackEveryByteAndGdiObject)
{
    const SceneRunKind runs[] = {
        {"8-bit, NumBuf 3, full screen", 0, 3, false},
        {"16-bit, NumBuf 3, full screen", 1, 3, false},
        {"8-bit, NumBuf 5, full screen", 0, 5, false},
        {"16-bit, NumBuf 1, full screen", 1, 1, false},
        {"8-bit preview", 0, 3, true},
        {"16-bit preview, NumBuf 3", 1, 3, true},
    };
    for (const SceneRunKind& run : runs) {
        // The first cycles fill the heap's free lists and the system's caches
        // (fonts of the countdown text, the screen's palette); what they keep
        // is not the scene's.
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(Cycle(run, texture_.c_str())) << run.name;
        const Usage before = Measure();
        for (int i = 0; i < kCycles; ++i) ASSERT_TRUE(Cycle(run, texture_.c_str())) << run.name << " cycle " << i;
        const Usage after = Measure();
        Report(run.name, kCycles, before, after);
        EXPECT_LE(after.heapInUse, before.heapInUse + kAllowedHeapGrowth) << run.name;
        EXPECT_LE(after.committedPrivate, before.committedPrivate + kAllowedGrowth) << run.name;
        EXPECT_LE(after.gdiObjects, before.gdiObjects) << run.name;
        EXPECT_LE(after.userObjects, before.userObjects) << run.name;
        if (before.privateUsage != 0) {
            EXPECT_LE(after.privateUsage, before.privateUsage + kAllowedGrowth) << run.name;
        }
    }
}

TEST_F(SceneLeak, FailedLoadsGiveBackTheSurfaceAtOnce)
{
    std::string missing = texture_ + ".missing";
    const SceneRunKind runs[] = {
        {"8-bit, NumBuf 3, missing image", 0, 3, false},
        {"16-bit, NumBuf 3, missing image", 1, 3, false},
        {"16-bit preview, missing image", 1, 3, true},
    };
    for (const SceneRunKind& run : runs) {
        for (int i = 0; i < 3; ++i) ASSERT_FALSE(Cycle(run, missing.c_str()));
        const Usage before = Measure();
        for (int i = 0; i < kCycles; ++i) ASSERT_FALSE(Cycle(run, missing.c_str())) << run.name;
        const Usage after = Measure();
        Report(run.name, kCycles, before, after);
        // The surface of a failed setup is freed before setup returns.
        EXPECT_EQ(scene_->currentSurface, nullptr);
        EXPECT_LE(after.heapInUse, before.heapInUse + kAllowedHeapGrowth) << run.name;
        EXPECT_LE(after.committedPrivate, before.committedPrivate + kAllowedGrowth) << run.name;
        EXPECT_LE(after.gdiObjects, before.gdiObjects) << run.name;
    }
}

// The measures must see a leak of the size a scene could leak, or the bounds
// above would hold for any leak.
TEST_F(SceneLeak, MeasuresSeeObjectsAndBlocksComeAndGo)
{
    const DWORD start = GdiObjects();
    HBRUSH brushes[5];
    for (HBRUSH& b : brushes) b = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GdiObjects(), start + 5);
    for (HBRUSH b : brushes) DeleteObject(b);
    EXPECT_EQ(GdiObjects(), start);

    // More than any heap keeps free in reserve, so the growth must show.
    const size_t committed = CommittedPrivateBytes();
    std::vector<void*> blocks;
    for (int i = 0; i < 16; ++i) blocks.push_back(std::calloc(1, 1 << 20));
    EXPECT_GE(CommittedPrivateBytes(), committed + (16u << 20) - kAllowedGrowth);
    for (void* b : blocks) std::free(b);
    EXPECT_LE(CommittedPrivateBytes(), committed + kAllowedGrowth);

    // Row offsets of one 200-row texture, as if teardown forgot them.
    const size_t inUse = HeapBytesInUse();
    std::vector<void*> small;
    for (int i = 0; i < 20; ++i) small.push_back(std::malloc(800));
    EXPECT_GE(HeapBytesInUse(), inUse + 20 * 800);
    EXPECT_GT(HeapBytesInUse(), inUse + kAllowedHeapGrowth);
    for (void* b : small) std::free(b);
    EXPECT_LE(HeapBytesInUse(), inUse + kAllowedHeapGrowth);
}

}  // namespace
