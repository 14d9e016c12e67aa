// The saver window's message table, driven by hand: start-up ticks, the close
// gate with the password and the display mode, the system commands, the input
// rule and the end of the loop; and the entry point's run modes that draw
// nothing. Calls into the platform are watched and answered through the
// import table (iat_hook.h): the password libraries, the display mode and
// the message boxes are stand-ins here.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/saver_settings.h"
#include "shell/password.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"
#include "tests/support/test_window_win32.h"
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

// The platform's password libraries, display mode and message boxes, as
// stand-ins: which libraries and entry points exist, and what each was asked.
struct Platform {
    std::vector<std::string> libraries = {"PASSWORD.CPL", "MPR.DLL"};
    std::vector<std::string> entries = {"VerifyScreenSavePwd", "PwdChangePasswordA"};
    BOOL answer = 1;             // the verifier's
    std::vector<std::string> loaded;
    int freed = 0;
    std::vector<HWND> verified;  // the window given to each verifier call
    std::string changeGiven;     // "provider owner reserved reserved" of each change call
    std::string boxes;           // "caption: text (owner, flags)" of each message box
    std::vector<bool> modeChanges;  // true for each switch, false for each restore
};
Platform platform;
char fakeLibrary;  // its address is the stand-in library's handle
HMODULE Fake() { return reinterpret_cast<HMODULE>(&fakeLibrary); }

BOOL WINAPI FakeVerify(HWND w) { return platform.verified.push_back(w), platform.answer; }
DWORD WINAPI FakeChange(LPCSTR provider, HWND owner, DWORD a, DWORD b)
{
    platform.changeGiven += std::string(provider) + " " + std::to_string(uintptr_t(owner)) + " " + std::to_string(a) +
                            " " + std::to_string(b) + ";";
    return 0;
}
HMODULE WINAPI FakeLoad(LPCSTR name)
{
    for (const std::string& library : platform.libraries)
        if (lstrcmpiA(name, library.c_str()) == 0) return platform.loaded.push_back(library), Fake();
    return nullptr;
}
FARPROC WINAPI FakeEntry(HMODULE module, LPCSTR name)
{
    for (const std::string& entry : platform.entries)
        if (module == Fake() && entry == name)
            return reinterpret_cast<FARPROC>(entry[0] == 'V' ? reinterpret_cast<void*>(&FakeVerify) : reinterpret_cast<void*>(&FakeChange));
    return nullptr;
}
BOOL WINAPI FakeFree(HMODULE module) { return module == Fake() ? ++platform.freed : FALSE; }
LONG WINAPI FakeModeChange(DEVMODEA* mode, DWORD) { return platform.modeChanges.push_back(mode != nullptr), DISP_CHANGE_SUCCESSFUL; }
int WINAPI FakeBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    platform.boxes += std::string(caption) + ": " + text + " (" + std::to_string(uintptr_t(owner)) + ", " +
                      std::to_string(flags) + ")";
    return IDOK;
}

struct PlatformHooks {
    PlatformHooks() { platform = Platform{}; }
    bool Installed() const { return load.Installed() && entry.Installed() && free.Installed() && mode.Installed() && box.Installed(); }
    IatHook load{"kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&FakeLoad)};
    IatHook entry{"kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeEntry)};
    IatHook free{"kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&FakeFree)};
    IatHook mode{"user32.dll", "ChangeDisplaySettingsA", reinterpret_cast<void*>(&FakeModeChange)};
    IatHook box{"user32.dll", "MessageBoxA", reinterpret_cast<void*>(&FakeBox)};
};

// ScreenSaveUsePassword of the desktop settings; no bytes removes it.
void UsePassword(DWORD type, const char* bytes, DWORD size)
{
    if (bytes) RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword", type, bytes, size);
    else RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword");
}

}  // namespace

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

namespace {

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
        drawn.clear(), announced.clear();
        failTimer = false;
        drawHook = &draw_, spiHook = &spi_, timerHook = &timer_;
        ASSERT_TRUE(draw_.Installed() && spi_.Installed() && timer_.Installed() && platform_.Installed());
    }
    void TearDown() override
    {
        for (HWND w : {window, host})
            if (IsWindow(w)) DestroyWindow(w);
        TakeQuit();
        TheShell = ShellState{};
        UsePassword(0, nullptr, 0);
    }
    HWND MakePreview()
    {
        host = MakeTestWindow(200, 150, WS_POPUP | WS_VISIBLE, 10, 10);
        TheShell.preview = 1, TheShell.parentWindow = reinterpret_cast<WindowHandle>(host);
        return window = CreateSaverWindow(host);
    }
    IatHook draw_{"user32.dll", "DrawTextA", reinterpret_cast<void*>(&RecordDrawText)};
    IatHook spi_{"user32.dll", "SystemParametersInfoA", reinterpret_cast<void*>(&RecordSpi)};
    IatHook timer_{"user32.dll", "SetTimer", reinterpret_cast<void*>(&MaybeFailTimer)};
    PlatformHooks platform_;
    HWND host = nullptr, window = nullptr;
};

TEST_F(SaverWindowTest, ClassIsRegisteredWithItsFields)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(Instance(), kSaverClass, &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_TRUE(wc.hCursor == nullptr && wc.hIcon == nullptr);
    EXPECT_EQ(wc.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// A preview never touches the display mode and closes without the password.
TEST_F(SaverWindowTest, PreviewIsAZeroSizeChildThatClosesOnlyAfterThreeTicks)
{
    TheSettings.Stretch = 16;
    UsePassword(REG_DWORD, "\1\0\0\0", 4);
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
    EXPECT_TRUE(platform.modeChanges.empty() && platform.loaded.empty());
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
    // the default handling would do), no drawing; what it showed stays.
    HDC dc = GetDC(window);
    const RECT corner = {0, 0, 8, 8};
    FillRect(dc, &corner, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
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
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_FALSE(AsksToClose(window, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1)) || AsksToClose(window, WM_KEYDOWN, 'A'));
    EXPECT_EQ(GetCursor(), nullptr);
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(window));
    const size_t drawnBefore = drawn.size();
    Tick(window);
    EXPECT_EQ(drawn.size(), drawnBefore);

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

// The full-screen close asks the verifier (given the saver window, its
// library loaded afresh and freed each time) and restores a switched display
// mode only when the close is accepted; a window destroyed otherwise leaves
// the mode switched.
TEST_F(SaverWindowTest, ClosePasswordAndDisplayMode)
{
    TheSettings.Stretch = 16;
    UsePassword(REG_DWORD, "\1\0\0\0", 4);
    for (const bool accepted : {true, false}) {
        SCOPED_TRACE(accepted ? "closed" : "destroyed");
        platform = Platform{};
        TheShell.tickCount = 0;
        ASSERT_NE(window = CreateSaverWindow(nullptr), nullptr);
        TheShell.saverWindow = reinterpret_cast<WindowHandle>(window);
        for (int i = 0; i < 3; ++i) Tick(window);
        platform.answer = FALSE;
        SendMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(IsWindow(window)) << "a refused close ended the saver";
        EXPECT_EQ(platform.verified, std::vector<HWND>{window});
        if (accepted) {
            platform.answer = TRUE;
            SendMessageA(window, WM_CLOSE, 0, 0);
            EXPECT_FALSE(IsWindow(window));
        } else {
            DestroyWindow(window);
        }
        EXPECT_EQ(platform.modeChanges, (accepted ? std::vector<bool>{true, false} : std::vector<bool>{true}));
        EXPECT_EQ(platform.loaded.size(), accepted ? 2u : 1u);
        EXPECT_EQ(platform.freed, int(platform.loaded.size()));
        EXPECT_EQ(TakeQuit(), 0);
    }
}

// ScreenSaveUsePassword and the verifier library decide whether a close may go
// on: any failure to read the value or to reach the verifier allows it.
TEST(Password, UsePasswordValueAndTheVerifierLibrary)
{
    const struct {
        const char* name;
        DWORD type;
        const char* bytes;
        DWORD size;
        std::vector<std::string> libraries, entries;
        int loads, calls, result;
    } cases[] = {
        {"absent", 0, nullptr, 0, {"PASSWORD.CPL"}, {"VerifyScreenSavePwd"}, 0, 0, 1},
        {"zero", REG_DWORD, "\0\0\0\0", 4, {"PASSWORD.CPL"}, {"VerifyScreenSavePwd"}, 0, 0, 1},
        {"one", REG_DWORD, "\1\0\0\0", 4, {"PASSWORD.CPL"}, {"VerifyScreenSavePwd"}, 1, 1, 0},
        // Longer than the 4-byte buffer: the query fails. Shorter: only the stored bytes count.
        {"eight bytes", REG_BINARY, "\1\0\0\0\0\0\0\0", 8, {"PASSWORD.CPL"}, {"VerifyScreenSavePwd"}, 0, 0, 1},
        {"two bytes of 0", REG_BINARY, "\0\0", 2, {"PASSWORD.CPL"}, {"VerifyScreenSavePwd"}, 0, 0, 1},
        {"two bytes of 1", REG_BINARY, "\1\0", 2, {"PASSWORD.CPL"}, {"VerifyScreenSavePwd"}, 1, 1, 0},
        {"no library", REG_DWORD, "\1\0\0\0", 4, {}, {"VerifyScreenSavePwd"}, 0, 0, 1},
        {"library without the verifier", REG_DWORD, "\1\0\0\0", 4, {"PASSWORD.CPL"}, {"PwdChangePasswordA"}, 1, 0, 1},
    };
    PlatformHooks hooks;
    ASSERT_TRUE(hooks.Installed());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UsePassword(c.type, c.bytes, c.size);
        platform = Platform{};
        platform.libraries = c.libraries, platform.entries = c.entries, platform.answer = FALSE;
        EXPECT_EQ(VerifyPasswordOnClose() != 0, c.result != 0);
        EXPECT_EQ(int(platform.loaded.size()), c.loads);
        EXPECT_EQ(int(platform.verified.size()), c.calls);
        EXPECT_EQ(platform.freed, c.loads);
    }
    UsePassword(0, nullptr, 0);
}

int windowsMade = 0;
DWORD madeStyle = 0;
HWND madeParent = nullptr;
BOOL classAccepted = FALSE;
ATOM WINAPI MaybeRefuseClass(const WNDCLASSEXA*) { return ATOM(classAccepted); }
HWND WINAPI RefuseWindow(DWORD, LPCSTR, LPCSTR, DWORD style, int, int, int, int, HWND parent, HMENU, HINSTANCE, LPVOID)
{ return ++windowsMade, madeStyle = style, madeParent = parent, nullptr; }

// The entry point's drawing modes: a class or a window the platform refuses
// ends the run at once with exit code 0; a preview whose handle names no
// window asks for the full-screen window (how handles are read:
// command_line_test).
TEST(EntryPoint, DrawingModesAskForTheirWindowAndEndWithZeroWhenRefused)
{
    IatHook refuse("user32.dll", "RegisterClassExA", reinterpret_cast<void*>(&MaybeRefuseClass));
    IatHook count("user32.dll", "CreateWindowExA", reinterpret_cast<void*>(&RefuseWindow));
    ASSERT_TRUE(refuse.Installed() && count.Installed());
    HWND host = MakeTestWindow(50, 50);
    const std::string hostText = std::to_string(uintptr_t(host));
    const struct {
        std::vector<std::string> arguments;
        BOOL classAccepted;
        HWND parent;  // of the window asked for; the host for a child
    } cases[] = {
        {{"/s"}, FALSE, nullptr}, {{"/s"}, TRUE, nullptr}, {{"/p", "123456789"}, TRUE, nullptr},
        {{"/p", hostText}, TRUE, host},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        classAccepted = c.classAccepted, windowsMade = 0, madeParent = nullptr, madeStyle = 0;
        EXPECT_EQ(RunMain(c.arguments), 0);
        EXPECT_EQ(windowsMade, c.classAccepted ? 1 : 0);
        EXPECT_EQ(madeParent, c.parent);
        EXPECT_EQ(madeStyle & (WS_CHILD | WS_POPUP), DWORD(!c.classAccepted ? 0 : c.parent ? WS_CHILD : WS_POPUP));
    }
    TheShell = ShellState{};
    DestroyWindow(host);
}

// The password-change mode: the service gets the provider, the owner (0 for
// a number that names no window) and two zeros; a missing library or entry
// point shows one exclamation box owned by the owner.
TEST(EntryPoint, PasswordChangeCallsTheServiceOrSaysWhatIsMissing)
{
    PlatformHooks hooks;
    ASSERT_TRUE(hooks.Installed());
    HWND owner = MakeTestWindow(50, 50);
    const std::string ownerText = std::to_string(uintptr_t(owner));
    const struct {
        std::vector<std::string> arguments, libraries, entries;
        std::string given, boxes;
    } cases[] = {
        {{"/a", ownerText}, {"MPR.DLL"}, {"PwdChangePasswordA"}, "SCRSAVE " + ownerText + " 0 0;", ""},
        {{"-A", "123456789"}, {"MPR.DLL"}, {"PwdChangePasswordA"}, "SCRSAVE 0 0 0;", ""},
        {{"/a", ownerText}, {"MPR.DLL"}, {}, "", "Error: Couldn't get PwdChangePassword (" + ownerText + ", 48)"},
        {{"/a", ownerText}, {}, {"PwdChangePasswordA"}, "", "Error: Couldn't load MRP.DLL (" + ownerText + ", 48)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1] + ", " + c.boxes);
        platform = Platform{};
        platform.libraries = c.libraries, platform.entries = c.entries;
        EXPECT_EQ(RunMain(c.arguments), 0);
        EXPECT_EQ(platform.changeGiven, c.given);
        EXPECT_EQ(platform.boxes, c.boxes);
        EXPECT_EQ(platform.freed, int(platform.loaded.size()));
    }
    DestroyWindow(owner);
}

}  // namespace
