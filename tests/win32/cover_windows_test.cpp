// The other monitors' covers in a full-screen run, on monitors this test
// makes up: wine on a virtual X display shows one monitor, so the platform's
// monitor list is replaced through the import table (iat_hook.h) and every
// other call, message and window is the real thing.

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "settings/saver_settings.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"
#include "tests/win32/iat_hook.h"

namespace {

// The first is the primary monitor, which the saver window covers itself.
std::vector<RECT> monitors;

BOOL WINAPI ListMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data)
{
    for (size_t i = 0; i < monitors.size(); ++i)
        if (!proc(reinterpret_cast<HMONITOR>(i + 1), nullptr, &monitors[i], data)) break;
    return TRUE;
}

BOOL WINAPI DescribeMonitor(HMONITOR monitor, LPMONITORINFO info)
{
    const size_t i = reinterpret_cast<size_t>(monitor) - 1;
    if (i >= monitors.size() || info->cbSize < sizeof(MONITORINFO)) return FALSE;
    info->rcMonitor = info->rcWork = monitors[i];
    info->dwFlags = i == 0 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

BOOL CALLBACK CollectCover(HWND window, LPARAM found)
{
    char name[64];
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "Quillbox Whirlpan Cover") == 0) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::vector<HWND> Covers()
{
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectCover, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The covers' rectangles, in the order of the monitor list.
std::vector<RECT> CoveredRects(HWND saver)
{
    std::vector<RECT> rects;
    for (const RECT& m : monitors)
        for (HWND cover : Covers()) {
            RECT r;
            GetWindowRect(cover, &r);
            if (EqualRect(&r, &m) && IsWindowVisible(cover) && GetWindow(cover, GW_OWNER) == saver &&
                (GetWindowLongPtrA(cover, GWL_EXSTYLE) & WS_EX_TOPMOST))
                rects.push_back(r);
        }
    return rects;
}

bool QuitPosted()
{
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&msg))
        if (msg.message == WM_QUIT) return true;
    return false;
}

const RECT kPrimary = {0, 0, 1024, 768}, kRight = {1024, -100, 3584, 1340}, kLeft = {-1280, 0, 0, 1024},
           kBelow = {0, 768, 800, 1368};

class CoverWindowsTest : public ::testing::Test {
protected:
    // The saver window test checks that the class registers once: leave it
    // as this suite found it.
    static void SetUpTestSuite() { registered = RegisterSaverClass(GetModuleHandleA(nullptr)); }
    static void TearDownTestSuite()
    {
        if (registered) UnregisterClassA("Quillbox Whirlpan ScreenSaver", GetModuleHandleA(nullptr));
    }
    void SetUp() override
    {
        ASSERT_TRUE(list_.Installed() && describe_.Installed());
        TheShell = ShellState{};
        TheShell.instance = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
        TheSettings = SaverSettings{};
        TheSettings.Stretch = -1;
        TheSettings.IMGFilename[0] = '\0';
        monitors = {kPrimary, kRight, kLeft};
    }
    void TearDown() override
    {
        if (IsWindow(saver_)) DestroyWindow(saver_);
        QuitPosted();
        TheShell = ShellState{};
    }
    // A full-screen run past its start-up.
    void Start()
    {
        ASSERT_NE(saver_ = CreateSaverWindow(nullptr), nullptr);
        for (int tick = 0; tick < 3; ++tick) SendMessageA(saver_, WM_TIMER, 1, 0);
        SetCursor(nullptr);
    }
    IatHook list_{"user32.dll", "EnumDisplayMonitors", reinterpret_cast<void*>(&ListMonitors)};
    IatHook describe_{"user32.dll", "GetMonitorInfoA", reinterpret_cast<void*>(&DescribeMonitor)};
    HWND saver_ = nullptr;
    static bool registered;
};
bool CoverWindowsTest::registered = false;

// Every monitor but the primary gets a black topmost cover of its own size
// for the run, again whenever the displays change, and none in a preview.
TEST_F(CoverWindowsTest, EveryOtherMonitorIsCoveredAsTheDisplaysChange)
{
    Start();
    EXPECT_EQ(CoveredRects(saver_).size(), 2u);
    EXPECT_EQ(Covers().size(), 2u);
    EXPECT_EQ(GetForegroundWindow(), saver_);  // the keyboard stays with the saver window
    const std::vector<std::vector<RECT>> changes = {{kPrimary, kBelow}, {kPrimary}, {kPrimary, kLeft, kBelow, kRight}};
    for (const auto& change : changes) {
        monitors = change;
        SendMessageA(saver_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
        EXPECT_EQ(CoveredRects(saver_).size(), change.size() - 1);
        EXPECT_EQ(Covers().size(), change.size() - 1);
    }
    SendMessageA(saver_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(saver_));
    EXPECT_TRUE(Covers().empty());

    HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 10, 10, 200, 150, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    TheShell = ShellState{};
    TheShell.preview = 1, TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
    ASSERT_NE(saver_ = CreateSaverWindow(host), nullptr);
    SendMessageA(saver_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    EXPECT_TRUE(Covers().empty());
    DestroyWindow(host);
}

// Input on a cover goes the saver window's way: ignored during start-up,
// then a close request to the saver window; Alt+F4 and WM_CLOSE on a cover
// do nothing.
TEST_F(CoverWindowsTest, InputOnACoverAsksTheSaverToClose)
{
    ASSERT_NE(saver_ = CreateSaverWindow(nullptr), nullptr);
    const auto asksToClose = [this](UINT message) {
        SendMessageA(Covers().front(), message, 0, 0);
        bool any = false;
        for (MSG msg; PeekMessageA(&msg, saver_, WM_CLOSE, WM_CLOSE, PM_REMOVE);) any = true;
        return any;
    };
    EXPECT_FALSE(asksToClose(WM_MOUSEMOVE));
    for (int tick = 0; tick < 3; ++tick) SendMessageA(saver_, WM_TIMER, 1, 0);
    SetCursor(nullptr);
    for (UINT m : {WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
        EXPECT_TRUE(asksToClose(m)) << m;
    SendMessageA(Covers().front(), WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageA(Covers().front(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Covers().size(), 2u);
    EXPECT_TRUE(IsWindow(saver_));
}

// A real click where a cover lies ends the run, covers and all. The made-up
// monitor overlaps the real screen so that the pointer can get there.
TEST_F(CoverWindowsTest, AClickOnACoverEndsTheRun)
{
    monitors = {kPrimary, {600, 400, 900, 700}};
    Start();
    SetCursorPos(750, 550);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN, click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SetCursor(nullptr);
    ASSERT_EQ(SendInput(2, click, sizeof(INPUT)), 2u);
    for (DWORD start = GetTickCount(); IsWindow(saver_) && GetTickCount() - start < 5000;) {
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
        Sleep(10);
    }
    EXPECT_FALSE(IsWindow(saver_));
    EXPECT_TRUE(Covers().empty());
}

UINT_PTR WINAPI RefuseTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }

// The run ends without its start-up timer: the covers go with the window.
TEST_F(CoverWindowsTest, ARunThatNeverStartsLeavesNoCover)
{
    IatHook noTimer("user32.dll", "SetTimer", reinterpret_cast<void*>(&RefuseTimer));
    EXPECT_EQ(CreateSaverWindow(nullptr), nullptr);
    EXPECT_TRUE(Covers().empty());
    EXPECT_TRUE(QuitPosted());
}

}  // namespace
