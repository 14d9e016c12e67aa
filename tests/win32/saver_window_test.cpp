// The saver window's message table driven by hand, the other monitors' covers
// and the entry point's run modes. The platform's password libraries, display
// mode, message boxes and monitor list (wine on a virtual X display shows one
// monitor) are stand-ins reached through the import table (iat_hook.h).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "settings/resource.h"
#include "settings/saver_settings.h"
#include "shell/password.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"
#include "tests/support/test_window_win32.h"
#include "tests/win32/iat_hook.h"

namespace {

const UINT kInput[] = {WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }
std::string Number(HWND w) { return std::to_string(uintptr_t(w)); }

struct DrawnText {
    std::string text;
    RECT rect;
    UINT format;
};
std::vector<DrawnText> drawn;  // every DrawTextA
std::vector<UINT> announced;  // the flag of every SPI_SETSCREENSAVERRUNNING
bool failTimer = false;
IatHook *drawHook, *spiHook, *timerHook;

int WINAPI RecordDrawText(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    drawn.push_back({text, *rect, format});
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

// The exit code of the WM_QUIT the window's destruction posted, or -1.
int TakeQuit()
{
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&msg))
        if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
    return -1;
}

// Sends m (to the saver window w, or to another window of the run) and says
// whether w asked itself to close.
bool AsksToClose(HWND w, UINT m, WPARAM wp = 0, HWND to = nullptr)
{
    SendMessageA(to ? to : w, m, wp, 0);
    bool any = false;
    for (MSG msg; PeekMessageA(&msg, w, WM_CLOSE, WM_CLOSE, PM_REMOVE);) any = true;
    return any;
}

void Ticks(HWND w, int count)
{
    for (int tick = 0; tick < count; ++tick) SendMessageA(w, WM_TIMER, 1, 0);
}

// The platform's password libraries, display mode, message boxes and the
// windows the entry point asks for, as stand-ins.
struct Platform {
    int reach = 2;               // 0: no library loads, 1: loads without the entry point, 2: both there
    BOOL answer = 1;             // the verifier's
    std::vector<std::string> loaded;
    int freed = 0;
    std::vector<HWND> verified;  // the window given to each verifier call
    std::string asked;           // change calls, message boxes, dialogs and windows, in order
    std::vector<bool> modeChanges;  // true for each switch, false for each restore
};
Platform platform;
char fakeLibrary;  // its address is the stand-in library's handle
HMODULE Fake() { return reinterpret_cast<HMODULE>(&fakeLibrary); }

BOOL WINAPI FakeVerify(HWND w) { return platform.verified.push_back(w), platform.answer; }
DWORD WINAPI FakeChange(LPCSTR provider, HWND owner, DWORD a, DWORD b)
{
    platform.asked +=
        std::string(provider) + " " + Number(owner) + " " + std::to_string(a) + " " + std::to_string(b) + ";";
    return 0;
}
HMODULE WINAPI FakeLoad(LPCSTR name)
{
    const bool known = lstrcmpiA(name, "PASSWORD.CPL") == 0 || lstrcmpiA(name, "MPR.DLL") == 0;
    if (!known || platform.reach == 0) return nullptr;
    return platform.loaded.push_back(name), Fake();
}
FARPROC WINAPI FakeEntry(HMODULE module, LPCSTR name)
{
    const std::string entry = module == Fake() && platform.reach == 2 ? name : "";
    void* found = entry == "VerifyScreenSavePwd"  ? reinterpret_cast<void*>(&FakeVerify)
                  : entry == "PwdChangePasswordA" ? reinterpret_cast<void*>(&FakeChange)
                                                  : nullptr;
    return reinterpret_cast<FARPROC>(found);
}
BOOL WINAPI FakeFree(HMODULE module) { return module == Fake() ? ++platform.freed : FALSE; }
LONG WINAPI FakeModeChange(DEVMODEA* mode, DWORD) { return platform.modeChanges.push_back(mode != nullptr), DISP_CHANGE_SUCCESSFUL; }
int WINAPI FakeBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    platform.asked += std::string(caption) + ": " + text + " (" + Number(owner) + ", " + std::to_string(flags) + ");";
    return IDOK;
}

// ScreenSaveUsePassword of the desktop settings; no bytes removes it.
void UsePassword(DWORD type, const char* bytes, DWORD size)
{
    if (bytes) RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword", type, bytes, size);
    else RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword");
}

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

std::vector<HWND> Covers()
{
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "Quillbox Whirlpan Cover", nullptr)) != nullptr;)
        found.push_back(w);
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

// The entry point, as the platform starts the program with these arguments.
int RunMain(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    arguments.insert(arguments.begin(), "gyrofold.scr");
    for (std::string& a : arguments) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const int argc = __argc;
    char** const saved = __argv;
    __argc = int(arguments.size()), __argv = argv.data();
    const int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, argv.size() > 2 ? argv[1] : argv[0], SW_SHOWNORMAL);
    __argc = argc, __argv = saved;
    return exitCode;
}

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
        drawn.clear(), announced.clear(), monitors.clear();
        failTimer = false;
        platform = Platform{};
        drawHook = &draw_, spiHook = &spi_, timerHook = &timer_;
        for (const IatHook* hook : {&draw_, &spi_, &timer_, &load_, &entry_, &free_, &mode_, &box_, &list_, &describe_})
            ASSERT_TRUE(hook->Installed());
    }
    void TearDown() override
    {
        for (HWND w : {window, host})
            if (IsWindow(w)) DestroyWindow(w);
        TakeQuit();
        TheShell = ShellState{};
        UsePassword(0, nullptr, 0);
    }
    IatHook draw_{"user32.dll", "DrawTextA", reinterpret_cast<void*>(&RecordDrawText)};
    IatHook spi_{"user32.dll", "SystemParametersInfoA", reinterpret_cast<void*>(&RecordSpi)};
    IatHook timer_{"user32.dll", "SetTimer", reinterpret_cast<void*>(&MaybeFailTimer)};
    IatHook load_{"kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&FakeLoad)};
    IatHook entry_{"kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeEntry)};
    IatHook free_{"kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&FakeFree)};
    IatHook mode_{"user32.dll", "ChangeDisplaySettingsA", reinterpret_cast<void*>(&FakeModeChange)};
    IatHook box_{"user32.dll", "MessageBoxA", reinterpret_cast<void*>(&FakeBox)};
    IatHook list_{"user32.dll", "EnumDisplayMonitors", reinterpret_cast<void*>(&ListMonitors)};
    IatHook describe_{"user32.dll", "GetMonitorInfoA", reinterpret_cast<void*>(&DescribeMonitor)};
    HWND host = nullptr, window = nullptr;
};

// A preview never touches the display mode, announces nothing, ignores input
// and closes without the password, once start-up is over.
TEST_F(SaverWindowTest, PreviewIsAZeroSizeChildThatClosesOnlyAfterThreeTicks)
{
    TheSettings.Stretch = 16;
    UsePassword(REG_DWORD, "\1\0\0\0", 4);
    host = MakeTestWindow(200, 150, WS_POPUP | WS_VISIBLE, 10, 10);
    TheShell.preview = 1, TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
    ASSERT_NE(window = CreateSaverWindow(host), nullptr);
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_TRUE(rc.right == rc.left && rc.bottom == rc.top);
    Ticks(window, 2);
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(window)) << "closed after two ticks";
    Ticks(window, 1);
    EXPECT_FALSE(KillTimer(window, 1));  // the third tick stopped it
    for (UINT m : kInput) EXPECT_FALSE(AsksToClose(window, m)) << m;
    EXPECT_TRUE(announced.empty());
    // Exactly SC_CLOSE and SC_SCREENSAVE are swallowed; SC_CLOSE with its low
    // bits set takes the default path, which closes through WM_CLOSE.
    EXPECT_FALSE(AsksToClose(window, WM_SYSCOMMAND, SC_CLOSE) || AsksToClose(window, WM_SYSCOMMAND, SC_SCREENSAVE));
    ASSERT_TRUE(IsWindow(window));
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE | 0x3, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(platform.modeChanges.empty() && platform.loaded.empty());
    EXPECT_EQ(TakeQuit(), 0);
}

TEST_F(SaverWindowTest, FullScreenRunFromStartToClose)
{
    TheSettings.Stretch = 16;
    ASSERT_NE(window = CreateSaverWindow(nullptr), nullptr);
    // No class cursor: the window alone decides what the pointer shows.
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HCURSOR), 0);
    EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), CS_HREDRAW | CS_VREDRAW);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HICON), 0);
    RECT rc, client;
    GetWindowRect(window, &rc);
    GetClientRect(window, &client);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    EXPECT_TRUE(EqualRect(&rc, &screen));
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(announced, std::vector<UINT>{1});  // on while the saver runs

    // WM_PAINT only marks the window painted: no erase (which BeginPaint or
    // the default handling would do), no drawing; what it showed stays.
    HDC dc = GetDC(window);
    SetPixel(dc, 3, 3, RGB(255, 255, 255));
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    EXPECT_EQ(GetPixel(dc, 3, 3), RGB(255, 255, 255)) << "the paint changed the window";
    ReleaseDC(window, dc);
    EXPECT_TRUE(drawn.empty());
    // A display change tells the loop to read the refresh rate again, once.
    TakeDisplayChange();
    SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(640, 480));
    EXPECT_TRUE(TakeDisplayChange());
    EXPECT_FALSE(TakeDisplayChange());

    // The start-up text is drawn once, on the first tick, centred in the
    // client area; the failed scene setup then draws its own error text.
    Ticks(window, 2);
    int startup = 0;
    for (const DrawnText& d : drawn)
        if (d.text == "   ...Initializing...   ") {
            ++startup;
            EXPECT_TRUE(d.format == 0x125u && EqualRect(&d.rect, &client)) << d.format;
        }
    EXPECT_EQ(startup, 1);
    EXPECT_NE(drawn.front().text, drawn.back().text);

    // Before the third tick input only hides the pointer, and a close is refused.
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_FALSE(AsksToClose(window, WM_MOUSEMOVE) || AsksToClose(window, WM_KEYDOWN, 'A'));
    EXPECT_EQ(GetCursor(), nullptr);
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(window));
    const size_t drawnBefore = drawn.size();
    Ticks(window, 1);
    EXPECT_EQ(drawn.size(), drawnBefore);

    // A visible pointer: the first input hides it, the next asks to close.
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_FALSE(AsksToClose(window, WM_MOUSEMOVE));
    for (UINT m : kInput) EXPECT_TRUE(AsksToClose(window, m)) << m;
    for (UINT m : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_SYSKEYUP}) EXPECT_FALSE(AsksToClose(window, m)) << m;
    EXPECT_EQ(announced, std::vector<UINT>{1});

    // Without a password the close goes through; the display mode is restored,
    // the pointer comes back and the announcement goes off.
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(platform.modeChanges, (std::vector<bool>{true, false}));
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
    EXPECT_EQ(FindWindowA(kSaverClassName, nullptr), nullptr);
    EXPECT_EQ(announced, (std::vector<UINT>{1, 0}));
    EXPECT_EQ(TakeQuit(), 0);
    failTimer = false;  // the next window, with a timer, runs
    EXPECT_NE(window = CreateSaverWindow(nullptr), nullptr);
}

// Each full-screen close asks the verifier, given the saver window; a refused
// close keeps the run and the switched mode, and so does a window destroyed
// without an accepted close (the library's loads are the next test's table).
TEST_F(SaverWindowTest, RefusedClosesKeepTheRunAndTheDisplayMode)
{
    TheSettings.Stretch = 16;
    UsePassword(REG_DWORD, "\1\0\0\0", 4);
    ASSERT_NE(window = CreateSaverWindow(nullptr), nullptr);
    TheShell.saverWindow = reinterpret_cast<WindowHandle>(window);
    Ticks(window, 3);
    platform.answer = FALSE;
    SendMessageA(window, WM_CLOSE, 0, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(window)) << "a refused close ended the saver";
    EXPECT_EQ(platform.verified, (std::vector<HWND>{window, window}));
    DestroyWindow(window);
    EXPECT_EQ(platform.modeChanges, std::vector<bool>{true});
    EXPECT_EQ(TakeQuit(), 0);
}

// ScreenSaveUsePassword and the verifier library decide whether a close may go
// on: any failure to read the value or to reach the verifier allows it.
TEST_F(SaverWindowTest, UsePasswordValueAndTheVerifierLibrary)
{
    const struct {
        const char *name, *bytes;
        DWORD type, size;
        int reach, loads, calls, result;
    } cases[] = {
        {"absent", nullptr, 0, 0, 2, 0, 0, 1},
        {"zero", "\0\0\0\0", REG_DWORD, 4, 2, 0, 0, 1},
        {"one", "\1\0\0\0", REG_DWORD, 4, 2, 1, 1, 0},
        // Longer than the 4-byte buffer: the query fails. Shorter: only the stored bytes count.
        {"eight bytes", "\1\0\0\0\0\0\0\0", REG_BINARY, 8, 2, 0, 0, 1},
        {"two bytes of 0", "\0\0", REG_BINARY, 2, 2, 0, 0, 1},
        {"two bytes of 1", "\1\0", REG_BINARY, 2, 2, 1, 1, 0},
        {"no library", "\1\0\0\0", REG_DWORD, 4, 0, 0, 0, 1},
        {"library without the verifier", "\1\0\0\0", REG_DWORD, 4, 1, 1, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UsePassword(c.type, c.bytes, c.size);
        platform = Platform{};
        platform.reach = c.reach, platform.answer = FALSE;
        EXPECT_EQ(VerifyPasswordOnClose() != 0, c.result != 0);
        EXPECT_EQ(int(platform.loaded.size()), c.loads);
        EXPECT_EQ(int(platform.verified.size()), c.calls);
        EXPECT_EQ(platform.freed, c.loads);
    }
}

// Every other monitor gets a black topmost cover of its own size, again
// whenever the displays change. Input on a cover goes the saver window's way:
// ignored during start-up, then a close request; a real click there ends the
// run, covers and all. The last made-up monitor overlaps the real screen so
// that the pointer can get there.
TEST_F(SaverWindowTest, OtherMonitorsAreCoveredAndInputThereEndsTheRun)
{
    monitors = {kPrimary, kRight, kLeft};
    ASSERT_NE(window = CreateSaverWindow(nullptr), nullptr);
    EXPECT_EQ(CoveredMonitors(window), 2u);
    EXPECT_EQ(GetForegroundWindow(), window);  // the keyboard stays with the saver window
    const std::vector<std::vector<RECT>> changes = {
        {kPrimary, kBelow}, {kPrimary}, {kPrimary, kLeft, kBelow, kRight}, {kPrimary, {600, 400, 900, 700}}};
    for (const auto& change : changes) {
        monitors = change;
        SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
        EXPECT_EQ(CoveredMonitors(window), change.size() - 1);
        EXPECT_EQ(Covers().size(), change.size() - 1);
    }
    HWND cover = Covers().at(0);
    SetCursorPos(750, 550);  // the pointer rests on the cover from start-up on
    PumpMessages();
    Ticks(window, 2);
    EXPECT_FALSE(AsksToClose(window, WM_MOUSEMOVE, 0, cover));
    Ticks(window, 1);
    SetCursor(nullptr);
    for (UINT m : kInput) EXPECT_TRUE(AsksToClose(window, m, 0, cover)) << m;
    SendMessageA(cover, WM_CLOSE, 0, 0);  // only the saver window ends the run
    ASSERT_TRUE(IsWindow(cover));

    // A display change that leaves the monitor as it was keeps its cover, so
    // the pointer resting on it reports no move.
    SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 300; Sleep(10)) PumpMessages();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(Covers(), std::vector<HWND>{cover});

    mouse_event(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    for (DWORD start = GetTickCount(); IsWindow(window) && GetTickCount() - start < 5000; Sleep(10)) PumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(Covers().empty());
}

BOOL classAccepted = FALSE;
INT_PTR dialogAnswer = 0;
ATOM WINAPI MaybeRefuseClass(const WNDCLASSEXA*) { return ATOM(classAccepted); }
HWND WINAPI RefuseWindow(DWORD, LPCSTR, LPCSTR, DWORD style, int, int, int, int, HWND parent, HMENU, HINSTANCE, LPVOID)
{
    const DWORD kind = style & (WS_CHILD | WS_POPUP);
    platform.asked += "window " + Number(parent) + (kind == WS_CHILD ? " child;" : kind == WS_POPUP ? " popup;" : ";");
    return nullptr;
}
INT_PTR WINAPI FakeDialog(HINSTANCE, LPCSTR name, HWND owner, DLGPROC, LPARAM)
{
    platform.asked += "dialog " + Number(owner) + ";";
    if (dialogAnswer < 0) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return name == MAKEINTRESOURCEA(IDD_SETTINGS) ? dialogAnswer : -2;
}

// The entry point's modes, with the class, the window and the dialog the
// platform would make replaced: what each mode asks the platform for, and the
// exit code 0 even when the platform refuses. A number that names no window is
// no preview host and no owner of the password change, but the settings
// dialog's owner is passed on untested (how numbers are read: command_line_test).
TEST_F(SaverWindowTest, EntryPointModesAskThePlatformAndEndWithZero)
{
    host = MakeTestWindow(50, 50);
    const std::string h = Number(host);
    IatHook refuse("user32.dll", "RegisterClassExA", reinterpret_cast<void*>(&MaybeRefuseClass));
    IatHook count("user32.dll", "CreateWindowExA", reinterpret_cast<void*>(&RefuseWindow));
    IatHook dialog("user32.dll", "DialogBoxParamA", reinterpret_cast<void*>(&FakeDialog));
    ASSERT_TRUE(refuse.Installed() && count.Installed() && dialog.Installed());
    char failed[128];  // the launch failure box of a dialog the platform refuses
    std::snprintf(failed, sizeof failed, "Blah: Dialog box failed: %d,%d,%d\n (%s, 0);", int(intptr_t(Instance())),
                  int(intptr_t(host)), int(ERROR_INVALID_WINDOW_HANDLE), h.c_str());
    const struct {
        std::vector<std::string> arguments;
        std::string asked;
        int reach = 2;  // of the password-change service
        INT_PTR dialogAnswer = 0;
        BOOL classAccepted = TRUE;
    } cases[] = {
        {{"/s"}, "", 2, 0, FALSE},
        {{"/s"}, "window 0 popup;"},
        {{"/p", "123456789"}, "window 0 popup;"},
        {{"/p", h}, "window " + h + " child;"},
        {{"/a", h}, "SCRSAVE " + h + " 0 0;"},
        {{"-A", "123456789"}, "SCRSAVE 0 0 0;"},
        {{"/a", h}, "Error: Couldn't get PwdChangePassword (" + h + ", 48);", 1},
        {{"/a", h}, "Error: Couldn't load MRP.DLL (" + h + ", 48);", 0},
        {{"/c:" + h}, "dialog " + h + ";"},
        {{"-C"}, "dialog " + Number(GetForegroundWindow()) + ";", 2, 1},
        {{}, "dialog 0;"},
        {{"/c:123456789"}, "dialog 123456789;"},
        {{"/c:" + h}, "dialog " + h + ";" + failed, 2, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.arguments.empty() ? "no arguments" : c.arguments[0]) + ": " + c.asked);
        TheShell = ShellState{};
        platform = Platform{};
        platform.reach = c.reach, dialogAnswer = c.dialogAnswer, classAccepted = c.classAccepted;
        EXPECT_EQ(RunMain(c.arguments), 0);
        EXPECT_EQ(platform.asked, c.asked);
        EXPECT_EQ(platform.freed, int(platform.loaded.size()));
    }
    // String 1 is the name the platform lists the saver under.
    char name[64] = "";
    LoadStringA(Instance(), IDS_DESCRIPTION, name, sizeof name);
    EXPECT_STREQ(name, "Quillbox Gyrofold");
}

}  // namespace
