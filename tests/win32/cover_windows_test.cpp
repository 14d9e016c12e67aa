// The other monitors' covers in a full-screen run, on monitors this test
// makes up: wine on a virtual X display shows one monitor, so the platform's
// monitor list is replaced through the import table (iat_hook.h); every other
// call, message and window is the real thing.

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "settings/saver_settings.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"
#include "tests/support/test_window_win32.h"
#include "tests/win32/iat_hook.h"

namespace {

std::vector<RECT> monitors;  // the first is the primary one

BOOL WINAPI ListMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data)
{
    for (size_t i = 0; i < monitors.size() && proc(reinterpret_cast<HMONITOR>(i + 1), nullptr, &monitors[i], data); ++i) {}
    return TRUE;
}

BOOL WINAPI DescribeMonitor(HMONITOR monitor, LPMONITORINFO info)
{
    const size_t i = reinterpret_cast<size_t>(monitor) - 1;
    if (i >= monitors.size()) return FALSE;
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

// How many covers match a monitor other than the primary one: its rectangle,
// visible, topmost, owned by the saver window.
size_t CoveredMonitors(HWND saver)
{
    size_t covered = 0;
    for (size_t i = 1; i < monitors.size(); ++i)
        for (HWND cover : Covers()) {
            RECT r;
            GetWindowRect(cover, &r);
            covered += EqualRect(&r, &monitors[i]) && IsWindowVisible(cover) && GetWindow(cover, GW_OWNER) == saver &&
                       (GetWindowLongPtrA(cover, GWL_EXSTYLE) & WS_EX_TOPMOST);
        }
    return covered;
}

const RECT kPrimary = {0, 0, 1024, 768}, kRight = {1024, -100, 3584, 1340}, kLeft = {-1280, 0, 0, 1024},
           kBelow = {0, 768, 800, 1368};

class CoverWindowsTest : public ::testing::Test {
protected:
    // The saver window test registers the class itself: leave it
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
    }
    void TearDown() override
    {
        if (IsWindow(saver_)) DestroyWindow(saver_);
        PumpMessages();
        TheShell = ShellState{};
    }
    void Ticks(int count)
    {
        for (int tick = 0; tick < count; ++tick) SendMessageA(saver_, WM_TIMER, 1, 0);
        SetCursor(nullptr);
    }
    IatHook list_{"user32.dll", "EnumDisplayMonitors", reinterpret_cast<void*>(&ListMonitors)};
    IatHook describe_{"user32.dll", "GetMonitorInfoA", reinterpret_cast<void*>(&DescribeMonitor)};
    HWND saver_ = nullptr;
    static bool registered;
};
bool CoverWindowsTest::registered = false;

// Every monitor but the primary one gets a black topmost cover of its own
// size, again whenever the displays change; the covers go with the window.
TEST_F(CoverWindowsTest, EveryOtherMonitorIsCoveredAsTheDisplaysChange)
{
    monitors = {kPrimary, kRight, kLeft};
    ASSERT_NE(saver_ = CreateSaverWindow(nullptr), nullptr);
    EXPECT_EQ(CoveredMonitors(saver_), 2u);
    EXPECT_EQ(GetForegroundWindow(), saver_);  // the keyboard stays with the saver window
    for (const auto& change : std::vector<std::vector<RECT>>{{kPrimary, kBelow}, {kPrimary}, {kPrimary, kLeft, kBelow, kRight}}) {
        monitors = change;
        SendMessageA(saver_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
        EXPECT_EQ(CoveredMonitors(saver_), change.size() - 1);
        EXPECT_EQ(Covers().size(), change.size() - 1);
    }
    DestroyWindow(saver_);
    EXPECT_TRUE(Covers().empty());
}

// Input on a cover goes the saver window's way: ignored during start-up, then
// a close request; a real click there ends the run, covers and all. The
// made-up monitor overlaps the real screen so that the pointer can get there.
TEST_F(CoverWindowsTest, InputOnACoverEndsTheRun)
{
    monitors = {kPrimary, {600, 400, 900, 700}};
    ASSERT_NE(saver_ = CreateSaverWindow(nullptr), nullptr);
    HWND cover = Covers().at(0);
    const auto asksToClose = [this, cover](UINT message) {
        SendMessageA(cover, message, 0, 0);
        bool any = false;
        for (MSG msg; PeekMessageA(&msg, saver_, WM_CLOSE, WM_CLOSE, PM_REMOVE);) any = true;
        return any;
    };
    SetCursorPos(750, 550);  // the pointer rests on the cover from start-up on
    PumpMessages();
    Ticks(2);
    EXPECT_FALSE(asksToClose(WM_MOUSEMOVE));
    Ticks(1);
    for (UINT m : {WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) EXPECT_TRUE(asksToClose(m)) << m;
    SendMessageA(cover, WM_CLOSE, 0, 0);  // only the saver window ends the run
    ASSERT_TRUE(IsWindow(cover));

    // A display change that leaves the monitor as it was keeps its cover, so
    // the pointer resting on it reports no move.
    SendMessageA(saver_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 300; Sleep(10)) PumpMessages();
    ASSERT_TRUE(IsWindow(saver_));
    EXPECT_EQ(Covers(), std::vector<HWND>{cover});

    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN, click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(SendInput(2, click, sizeof(INPUT)), 2u);
    for (DWORD start = GetTickCount(); IsWindow(saver_) && GetTickCount() - start < 5000; Sleep(10)) PumpMessages();
    EXPECT_FALSE(IsWindow(saver_));
    EXPECT_TRUE(Covers().empty());
}

}  // namespace
