// The saver window's message table, driven by hand: start-up ticks, the close
// gate, the system commands, the input rule and the end of the loop.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "imaging/scene.h"
#include "settings/saver_settings.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"

namespace {

const char kHostClass[] = "GyrofoldPreviewHost";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

void EnsureClasses()
{
    static bool done = false;
    if (done) return;
    done = true;
    TheShell.instance = reinterpret_cast<uintptr_t>(Instance());
    ASSERT_TRUE(RegisterSaverClass(Instance()));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = Instance();
    wc.lpszClassName = kHostClass;
    RegisterClassA(&wc);
}

// Takes the WM_QUIT the window's destruction posted, if any.
bool TakeQuit(WPARAM* code)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            *code = msg.wParam;
            return true;
        }
        DispatchMessageA(&msg);
    }
    return false;
}

bool CloseQueued(HWND w)
{
    MSG msg;
    return PeekMessageA(&msg, w, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != 0;
}

void DropQueuedCloses(HWND w)
{
    MSG msg;
    while (PeekMessageA(&msg, w, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
    }
}

void Tick(HWND w) { SendMessageA(w, WM_TIMER, 1, 0); }

class SaverWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureClasses();
        const uintptr_t instance = reinterpret_cast<uintptr_t>(Instance());
        TheShell = ShellState{};
        TheShell.instance = instance;
        TheSettings = SaverSettings{};
        TheSettings.Stretch = -1;  // leave the display alone
        TheSettings.IMGFilename[0] = '\0';  // the scene setup fails quietly
    }
    void TearDown() override
    {
        if (window && IsWindow(window)) DestroyWindow(window);
        if (host && IsWindow(host)) DestroyWindow(host);
        WPARAM code = 0;
        TakeQuit(&code);
        TheShell = ShellState{};
    }
    HWND MakeHost()
    {
        host = CreateWindowExA(0, kHostClass, "host", WS_POPUP | WS_VISIBLE, 10, 10, 200, 150, nullptr, nullptr,
                               Instance(), nullptr);
        return host;
    }
    HWND host = nullptr;
    HWND window = nullptr;
};

TEST_F(SaverWindowTest, ClassIsRegisteredOnceWithItsFields)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(Instance(), "Quillbox Whirlpan ScreenSaver", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.hCursor, nullptr);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_FALSE(RegisterSaverClass(Instance()));  // a second registration is refused
}

TEST_F(SaverWindowTest, PreviewIsAZeroSizeChildThatClosesOnlyAfterThreeTicks)
{
    ASSERT_NE(MakeHost(), nullptr);
    TheShell.preview = 1;
    TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
    window = CreateSaverWindow(host);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), host);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_EQ(rc.right - rc.left, 0);
    EXPECT_EQ(rc.bottom - rc.top, 0);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Quillbox Whirlpan ScreenSaver");

    for (uint32_t ticks = 0; ticks < 3; ++ticks) {
        EXPECT_EQ(TheShell.tickCount, ticks);
        SendMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(IsWindow(window)) << "closed after " << ticks << " ticks";
        Tick(window);
    }
    EXPECT_EQ(TheShell.tickCount, 3u);
    // The third tick stopped the timer: there is none left to kill.
    EXPECT_FALSE(KillTimer(window, 1));
    // No texture: the scene stays unready.
    EXPECT_EQ(TheScene.sceneReady, 0);

    // Input never asks to close a preview.
    for (UINT m : {WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        EXPECT_EQ(SendMessageA(window, m, 0, 0), 0);
        EXPECT_FALSE(CloseQueued(window)) << m;
    }

    // Exactly SC_CLOSE and SC_SCREENSAVE are swallowed...
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    ASSERT_TRUE(IsWindow(window));
    // ...while SC_CLOSE with its low bits set takes the default path, which
    // closes the window through WM_CLOSE.
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE | 0x3, 0);
    EXPECT_FALSE(IsWindow(window));
    WPARAM code = 99;
    EXPECT_TRUE(TakeQuit(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(IsWindow(host));
}

TEST_F(SaverWindowTest, PaintAndDisplayChangeAreHandledQuietly)
{
    ASSERT_NE(MakeHost(), nullptr);
    TheShell.preview = 1;
    TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
    window = CreateSaverWindow(host);
    ASSERT_NE(window, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 0);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    EXPECT_EQ(SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(640, 480)), 0);
}

TEST_F(SaverWindowTest, HostDestroyingTheWindowEndsTheLoop)
{
    ASSERT_NE(MakeHost(), nullptr);
    TheShell.preview = 1;
    TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
    window = CreateSaverWindow(host);
    ASSERT_NE(window, nullptr);
    DestroyWindow(host);  // before start-up is over: no close gate applies
    EXPECT_FALSE(IsWindow(window));
    WPARAM code = 99;
    EXPECT_TRUE(TakeQuit(&code));
    EXPECT_EQ(code, 0u);
}

TEST_F(SaverWindowTest, FullScreenCoversTheScreenAndFollowsTheInputRule)
{
    window = CreateSaverWindow(nullptr);
    ASSERT_NE(window, nullptr);
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rc.bottom - rc.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & WS_POPUP, static_cast<LONG_PTR>(WS_POPUP));

    // Before the third tick input only hides the pointer.
    SetCursor(nullptr);
    Tick(window);
    Tick(window);
    SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    SendMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_FALSE(CloseQueued(window));
    EXPECT_EQ(GetCursor(), nullptr);
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(window));
    Tick(window);
    ASSERT_EQ(TheShell.tickCount, 3u);

    // A visible pointer: the first input hides it, the next asks to close.
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    SendMessageA(window, WM_MOUSEMOVE, 0, 0);
    EXPECT_FALSE(CloseQueued(window));
    EXPECT_EQ(GetCursor(), nullptr);
    SendMessageA(window, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(CloseQueued(window));
    DropQueuedCloses(window);
    for (UINT m : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        SendMessageA(window, m, 0, 0);
        EXPECT_TRUE(CloseQueued(window)) << m;
        DropQueuedCloses(window);
    }
    // Button releases and Alt keys take the default path and close nothing.
    for (UINT m : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_SYSKEYUP}) {
        SendMessageA(window, m, 0, 0);
        EXPECT_FALSE(CloseQueued(window)) << m;
    }

    // Without a password the close goes through and the pointer comes back.
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_NE(GetCursor(), nullptr);
    WPARAM code = 99;
    EXPECT_TRUE(TakeQuit(&code));
    EXPECT_EQ(code, 0u);
}

}  // namespace
