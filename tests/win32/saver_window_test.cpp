// The saver window's message table, driven by hand: start-up ticks, the close
// gate, the system commands, the input rule and the end of the loop. Calls
// the window makes are watched through the import table (iat_hook.h).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/saver_settings.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"
#include "tests/win32/iat_hook.h"

namespace {

const char kSaverClass[] = "Quillbox Whirlpan ScreenSaver";
const UINT kInput[] = {WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

struct DrawnText {
    std::string text;
    int count;
    RECT rect;
    UINT format;
};
std::vector<DrawnText> drawn;  // every DrawTextA
std::vector<UINT> announced;  // the flag of every SPI_SETSCREENSAVERRUNNING
std::vector<UINT> seen;       // messages that reached the window
WNDPROC saverProc = nullptr;
bool failTimer = false;
IatHook *drawHook, *spiHook, *timerHook;

int WINAPI RecordDrawText(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    drawn.push_back({text, count, *rect, format});
    return drawHook->Original<decltype(&DrawTextA)>()(dc, text, count, rect, format);
}

BOOL WINAPI RecordSpi(UINT action, UINT value, PVOID data, UINT winIni)
{
    if (action == SPI_SETSCREENSAVERRUNNING) announced.push_back(value);
    return spiHook->Original<decltype(&SystemParametersInfoA)>()(action, value, data, winIni);
}

UINT_PTR WINAPI MaybeFailTimer(HWND w, UINT_PTR id, UINT period, TIMERPROC proc)
{
    return failTimer ? 0 : timerHook->Original<decltype(&SetTimer)>()(w, id, period, proc);
}

LRESULT CALLBACK Watch(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    seen.push_back(m);
    return CallWindowProcA(saverProc, w, m, wp, lp);
}

// The exit code of the WM_QUIT the window's destruction posted, or -1.
int TakeQuit()
{
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&msg))
        if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
    return -1;
}

// Sends m and says whether the window asked itself to close.
bool AsksToClose(HWND w, UINT m, WPARAM wp = 0, LPARAM lp = 0)
{
    SendMessageA(w, m, wp, lp);
    bool any = false;
    for (MSG msg; PeekMessageA(&msg, w, WM_CLOSE, WM_CLOSE, PM_REMOVE);) any = true;
    return any;
}

void Tick(HWND w) { SendMessageA(w, WM_TIMER, 1, 0); }

class SaverWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(RegisterSaverClass(Instance())); }
    void SetUp() override
    {
        TheShell = ShellState{};
        TheShell.instance = reinterpret_cast<uintptr_t>(Instance());
        TheSettings = SaverSettings{};
        TheSettings.Stretch = -1;           // leave the display alone
        TheSettings.IMGFilename[0] = '\0';  // the scene setup fails quietly
        drawn.clear(), announced.clear(), seen.clear();
        failTimer = false;
        drawHook = &draw_, spiHook = &spi_, timerHook = &timer_;
        ASSERT_TRUE(draw_.Installed() && spi_.Installed() && timer_.Installed());
    }
    void TearDown() override
    {
        for (HWND w : {window, host})
            if (IsWindow(w)) DestroyWindow(w);
        TakeQuit();
        TheShell = ShellState{};
    }
    HWND MakePreview()
    {
        host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 10, 10, 200, 150, nullptr, nullptr,
                               Instance(), nullptr);
        TheShell.preview = 1, TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
        return window = CreateSaverWindow(host);
    }
    IatHook draw_{"user32.dll", "DrawTextA", reinterpret_cast<void*>(&RecordDrawText)};
    IatHook spi_{"user32.dll", "SystemParametersInfoA", reinterpret_cast<void*>(&RecordSpi)};
    IatHook timer_{"user32.dll", "SetTimer", reinterpret_cast<void*>(&MaybeFailTimer)};
    HWND host = nullptr, window = nullptr;
};

TEST_F(SaverWindowTest, ClassIsRegisteredOnceWithItsFields)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(Instance(), kSaverClass, &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_TRUE(wc.hCursor == nullptr && wc.hIcon == nullptr);
    EXPECT_EQ(wc.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_FALSE(RegisterSaverClass(Instance()));  // a second registration is refused
}

TEST_F(SaverWindowTest, PreviewIsAZeroSizeChildThatClosesOnlyAfterThreeTicks)
{
    ASSERT_NE(MakePreview(), nullptr);
    EXPECT_EQ(GetParent(window), host);
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_TRUE(rc.right == rc.left && rc.bottom == rc.top);
    for (uint32_t ticks = 0; ticks < 3; ++ticks) {
        SendMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(IsWindow(window)) << "closed after " << ticks << " ticks";
        Tick(window);
    }
    EXPECT_FALSE(KillTimer(window, 1));  // the third tick stopped it
    // Input never asks to close a preview, and a preview announces nothing.
    for (UINT m : kInput) EXPECT_FALSE(AsksToClose(window, m)) << m;
    EXPECT_TRUE(announced.empty());
    // Exactly SC_CLOSE and SC_SCREENSAVE are swallowed; SC_CLOSE with its low
    // bits set takes the default path, which closes through WM_CLOSE.
    EXPECT_FALSE(AsksToClose(window, WM_SYSCOMMAND, SC_CLOSE) || AsksToClose(window, WM_SYSCOMMAND, SC_SCREENSAVE));
    ASSERT_TRUE(IsWindow(window));
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE | 0x3, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TakeQuit(), 0);
    EXPECT_TRUE(IsWindow(host));
    // The host destroying a new preview ends the loop, before start-up is over.
    ASSERT_NE(window = CreateSaverWindow(host), nullptr);
    DestroyWindow(host);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TakeQuit(), 0);
}

TEST_F(SaverWindowTest, FullScreenRunFromStartToClose)
{
    ASSERT_NE(window = CreateSaverWindow(nullptr), nullptr);
    RECT rc, client;
    GetWindowRect(window, &rc);
    GetClientRect(window, &client);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    EXPECT_TRUE(EqualRect(&rc, &screen));
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(announced, std::vector<UINT>{1});  // on while the saver runs

    // WM_PAINT only marks the window painted: no erase (which BeginPaint or
    // the default handling would ask for), no drawing.
    saverProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Watch)));
    InvalidateRect(window, nullptr, TRUE);
    seen.clear();
    EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 0);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    EXPECT_EQ(seen, std::vector<UINT>{WM_PAINT});
    EXPECT_TRUE(drawn.empty());
    EXPECT_EQ(SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(640, 480)), 0);

    // The start-up text is drawn once, on the first tick, centred in the
    // client area; the failed scene setup then draws its own error text.
    SetCursor(nullptr);
    Tick(window);
    Tick(window);
    int startup = 0;
    for (const DrawnText& d : drawn)
        if (d.text == "   ...Initializing...   ") {
            ++startup;
            EXPECT_TRUE(d.count == -1 && d.format == 0x125u && EqualRect(&d.rect, &client)) << d.format;
        }
    EXPECT_EQ(startup, 1);
    EXPECT_NE(drawn.front().text, drawn.back().text);

    // Before the third tick input only hides the pointer, and a close is refused.
    EXPECT_FALSE(AsksToClose(window, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1)) || AsksToClose(window, WM_KEYDOWN, 'A'));
    EXPECT_EQ(GetCursor(), nullptr);
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(window));
    const size_t drawnBefore = drawn.size();
    Tick(window);
    EXPECT_EQ(drawn.size(), drawnBefore);

    // Alt+F4 and a request to start the saver do nothing, even now that a
    // close would be honoured.
    EXPECT_FALSE(AsksToClose(window, WM_SYSCOMMAND, SC_CLOSE) || AsksToClose(window, WM_SYSCOMMAND, SC_SCREENSAVE));
    ASSERT_TRUE(IsWindow(window));

    // A visible pointer: the first input hides it, the next asks to close.
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_FALSE(AsksToClose(window, WM_MOUSEMOVE));
    for (UINT m : kInput) EXPECT_TRUE(AsksToClose(window, m)) << m;
    for (UINT m : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_SYSKEYUP}) EXPECT_FALSE(AsksToClose(window, m)) << m;
    EXPECT_EQ(announced, std::vector<UINT>{1});

    // Without a password the close goes through; the pointer comes back and
    // the announcement goes off.
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_NE(GetCursor(), nullptr);
    EXPECT_EQ(announced, (std::vector<UINT>{1, 0}));
    EXPECT_EQ(TakeQuit(), 0);
}

// Without its start-up timer the saver could never set up or close: the
// window is destroyed at once and the loop told to end.
TEST_F(SaverWindowTest, AFailedTimerEndsTheRun)
{
    failTimer = true;
    EXPECT_EQ(CreateSaverWindow(nullptr), nullptr);
    EXPECT_EQ(FindWindowA(kSaverClass, nullptr), nullptr);
    EXPECT_EQ(announced, (std::vector<UINT>{1, 0}));
    EXPECT_EQ(TakeQuit(), 0);
    failTimer = false;  // the next window, with a timer, runs
    EXPECT_NE(window = CreateSaverWindow(nullptr), nullptr);
}

int windowsMade = 0;
ATOM WINAPI RefuseClass(const WNDCLASSEXA*) { return 0; }
HWND WINAPI CountWindow(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID)
{ return ++windowsMade, nullptr; }

// The entry point itself, run full screen: a class the platform refuses ends
// the run at once with exit code 0.
TEST(SaverRunTest, ARefusedClassEndsWithExitCodeZero)
{
    IatHook refuse("user32.dll", "RegisterClassExA", reinterpret_cast<void*>(&RefuseClass));
    IatHook count("user32.dll", "CreateWindowExA", reinterpret_cast<void*>(&CountWindow));
    ASSERT_TRUE(refuse.Installed() && count.Installed());
    // The entry point reads the arguments the run-time library split.
    const int argc = __argc;
    char** const argv = __argv;
    char program[] = "gyrofold.scr", fullScreen[] = "/s", *args[] = {program, fullScreen, nullptr};
    __argc = 2, __argv = args;
    const int exitCode = WinMain(Instance(), nullptr, fullScreen, SW_SHOWNORMAL);
    __argc = argc, __argv = argv;
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(windowsMade, 0);
}

}  // namespace
