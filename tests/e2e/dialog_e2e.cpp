// The settings mode of the real gyrofold.scr driven as a user would: this
// program writes the settings key, starts the dialog, reads what every control
// shows, then clicks into the fields and types with real keystrokes, moves the
// sliders from the keyboard, clicks the boxes and the buttons with the mouse,
// answers the message boxes, and reads the registry back. Every input goes
// through SendInput, so the saver's thread sees it in the order it was sent.
//
// Usage: dialog_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [gtest options]

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/e2e_support.h"
// After <windows.h>, which the support header brings.
#include <commctrl.h>
#include "tests/support/bmp_writer.h"

namespace {

std::string SaverPath;
std::string ArtifactsFolder;

constexpr char kCaption[] = "Quillbox Gyrofold v0.9 Setup";
constexpr char kWarningText[] = "Color depths less than 15bpp aren't recommended for HiColor mode";
constexpr char kChooserTitle[] = "Select BMP File";

// Control ids of template 101.
enum : int {
    kWidth = 1000, kHeight = 1002, kChangeMode = 1004, kImageFile = 1006, kBrowse = 1007,
    kWarpy = 1009, kXScale = 1011, kYScale = 1012, kRotFrequency = 1018, kRotAmplitude = 1019,
    kZoomAmplitude = 1020, kZoomFrequency = 1021, kBitDepth = 1022, kBlur = 1023, kHiColor = 1025,
};

std::string Artifact(const std::string& name) { return ArtifactsFolder + "\\" + name; }

// Pumps this thread's messages until `done` holds. The limit only bounds how
// long a broken saver can keep a test waiting: it never decides an outcome.
template <typename Condition>
bool WaitUntil(Condition done, DWORD milliseconds = 10000) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        e2e::Pump(20);
    }
}

// ---- Input, as the keyboard and the mouse give it ------------------------

void SendKeys(std::vector<INPUT> inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT Key(WORD virtualKey, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

void PressKey(WORD virtualKey, int times = 1) {
    std::vector<INPUT> inputs;
    for (int i = 0; i < times; ++i) {
        inputs.push_back(Key(virtualKey, false));
        inputs.push_back(Key(virtualKey, true));
    }
    SendKeys(inputs);
}

void PressKeyWith(WORD modifier, WORD virtualKey) {
    SendKeys({Key(modifier, false), Key(virtualKey, false), Key(virtualKey, true), Key(modifier, true)});
}

// Each character as a keystroke that carries it (VK_PACKET), so the edit
// control gets the WM_CHAR a user's typing gives. Carrying the character
// rather than the key and Shift keeps it independent of the modifier state,
// which wine resyncs from the X server whenever the X focus moves.
void TypeCharacters(const std::string& text) {
    std::vector<INPUT> inputs;
    for (char letter : text) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<unsigned char>(letter);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendKeys(inputs);
}

// Wine moves the X pointer on its own time, and a button pressed before the
// move has landed hits whatever was under the old position. So the pointer
// is moved first and seen to arrive, and the click itself carries the
// absolute position again.
void ClickAt(POINT point) {
    SetCursorPos(point.x, point.y);
    for (int waited = 0; waited < 1000; waited += 10) {
        POINT now = {};
        GetCursorPos(&now);
        if (now.x == point.x && now.y == point.y) break;
        e2e::Pump(10);
    }
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>((point.x * 65535LL + (width - 1) / 2) / (width - 1));
        input.mi.dy = static_cast<LONG>((point.y * 65535LL + (height - 1) / 2) / (height - 1));
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, inputs, sizeof inputs[0]);
}

POINT CentreOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The window holding the keyboard focus in the thread that owns `window`.
HWND FocusOfThread(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level window of this process that stands in for Display Properties.
// It sits in a corner, away from where the dialog opens. One serves every
// run: wine takes up to two seconds to destroy a framed window on a display
// without a window manager.
HWND OwnerWindow() {
    static HWND owner = nullptr;
    if (!owner) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = OwnerProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DialogE2EOwner";
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        RegisterClassA(&windowClass);
        owner = CreateWindowA("DialogE2EOwner", "Display Properties", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                              120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    // A saver killed inside its modal loop leaves its owner disabled.
    EnableWindow(owner, TRUE);
    return owner;
}

// ---- One run of the settings dialog ---------------------------------------

class DialogRun {
public:
    ~DialogRun() { process_.Kill(); }

    // arguments: the command line after the program name; "%OWNER%" becomes
    // the handle of a window this program creates.
    // With `foregroundOwner` that window is made the foreground window
    // first, the one the platform would hand out as the user's.
    bool Open(std::string arguments = "/c:%OWNER%", bool foregroundOwner = false) {
        const size_t at = arguments.find("%OWNER%");
        if (at != std::string::npos || foregroundOwner) owner_ = OwnerWindow();
        if (at != std::string::npos) arguments.replace(at, 7, std::to_string(reinterpret_cast<uintptr_t>(owner_)));
        if (foregroundOwner) {
            SetForegroundWindow(owner_);
            if (!WaitUntil([&] { return GetForegroundWindow() == owner_; })) return false;
        }
        if (!process_.Start(SaverPath, arguments)) {
            ADD_FAILURE() << "cannot start the saver: error " << GetLastError();
            return false;
        }
        dialog_ = e2e::WaitForTopLevelWindow(process_.id(), 15000, e2e::kDialogClass, kCaption);
        if (!dialog_) {
            ADD_FAILURE() << "no dialog; saver running: " << process_.Running();
            return false;
        }
        // The dialog procedure returns FALSE from WM_INITDIALOG, so no control
        // has the focus yet; the window must be the active one before typed
        // keys can reach it.
        if (!WaitUntil([&] { return GetForegroundWindow() == dialog_; }, 3000)) SetForegroundWindow(dialog_);
        return WaitUntil([&] { return GetForegroundWindow() == dialog_; }, 5000);
    }

    HWND dialog() const { return dialog_; }
    HWND owner() const { return owner_; }
    e2e::Process& process() { return process_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    std::string Text(int id) const { return e2e::WindowText(Item(id)); }
    bool Checked(int id) const { return Send(id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    int Position(int id) const { return static_cast<int>(Send(id, TBM_GETPOS, 0, 0)); }
    std::pair<int, int> Range(int id) const {
        return {static_cast<int>(Send(id, TBM_GETRANGEMIN, 0, 0)), static_cast<int>(Send(id, TBM_GETRANGEMAX, 0, 0))};
    }
    HWND Focus() const { return FocusOfThread(dialog_); }

    // A click into a control; true once the saver's thread has handled it.
    // Wine on a display without a window manager now and then loses a
    // click; focus is the platform's part, so one more click is no fault of
    // the dialog's.
    bool FocusByClick(int id) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            ClickAt(CentreOf(Item(id)));
            if (WaitUntil([&] { return Focus() == Item(id); }, 3000)) return true;
        }
        ADD_FAILURE() << "two clicks did not put the focus into control " << id;
        return false;
    }

    // Clicks into the field, selects what it holds, types over it, and
    // waits until the field shows `shows` (what an ES_NUMBER field keeps of
    // the keys), so the next step sees the typing done.
    bool Type(int id, const std::string& text, const std::string& shows) {
        if (!FocusByClick(id)) return false;
        PressKey(VK_HOME);
        PressKeyWith(VK_SHIFT, VK_END);
        PressKey(VK_DELETE);
        if (!WaitUntil([&] { return Text(id).empty(); })) return false;
        TypeCharacters(text);
        if (WaitUntil([&] { return Text(id) == shows; })) return true;
        ADD_FAILURE() << "typed \"" << text << "\", the field shows \"" << Text(id) << "\"";
        return false;
    }
    bool Type(int id, const std::string& text) { return Type(id, text, text); }

    // The slider from the keyboard: Home takes it to its lowest position,
    // each Right one step up. The click that gives it the focus may page it
    // first; Home undoes that.
    bool Slide(int id, int position) {
        if (!FocusByClick(id)) return false;
        const int lowest = Range(id).first;
        PressKey(VK_HOME);
        if (!WaitUntil([&] { return Position(id) == lowest; })) return false;
        PressKey(VK_RIGHT, position - lowest);
        return WaitUntil([&] { return Position(id) == position; });
    }

    // Like FocusByClick, a second click covers one the platform lost.
    bool SetCheck(int id, bool checked) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (Checked(id) == checked) return true;
            ClickAt(CentreOf(Item(id)));
            if (WaitUntil([&] { return Checked(id) == checked; }, 3000)) return true;
        }
        ADD_FAILURE() << "two clicks did not set control " << id;
        return false;
    }

    void Click(int id) { ClickAt(CentreOf(Item(id))); }

    bool WaitForEnd(DWORD* exitCode = nullptr) { return process_.WaitForExitOrKill(15000, exitCode); }

    void Screenshot(const std::string& name) const {
        RECT rect;
        GetWindowRect(dialog_, &rect);
        // Let the saver finish painting what the last input changed.
        e2e::Pump(300);
        const e2e::Pixels pixels = e2e::CaptureScreen(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        EXPECT_TRUE(e2e::SaveBmp(pixels, Artifact(name))) << name;
    }

private:
    LRESULT Send(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(Item(id), message, wParam, lParam, SMTO_ABORTIFHUNG, 3000, &result);
        return static_cast<LRESULT>(result);
    }

    e2e::Process process_;
    HWND owner_ = nullptr;
    HWND dialog_ = nullptr;
};

// ---- The settings key ------------------------------------------------------

// The thirteen values, read back with their stored types and sizes.
struct Stored {
    int32_t screenWidth = 0, screenHeight = 0, stretch = 0, warpy = 0, numBuf = 0, useHiColor = 0;
    double xScale = 0, yScale = 0, rot1 = 0, rot2 = 0, zoom1 = 0, zoom2 = 0;
    std::string imageFile;
};

void ExpectShape(const char* name, DWORD type, DWORD size) {
    DWORD storedType = 0, storedSize = 0;
    ASSERT_TRUE(e2e::ReadSettingShape(name, &storedType, &storedSize)) << name;
    EXPECT_EQ(storedType, type) << name;
    EXPECT_EQ(storedSize, size) << name;
}

Stored ReadStored() {
    Stored s;
    for (const char* name : {"ScreenWidth", "ScreenHeight", "Stretch", "Warpy", "NumBuf", "UseHiColor"})
        ExpectShape(name, REG_BINARY, 4);
    for (const char* name : {"XScale", "YScale", "Rot1", "Rot2", "Zoom1", "Zoom2"}) ExpectShape(name, REG_BINARY, 8);
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenWidth", &s.screenWidth));
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenHeight", &s.screenHeight));
    EXPECT_TRUE(e2e::ReadSettingInt("Stretch", &s.stretch));
    EXPECT_TRUE(e2e::ReadSettingInt("Warpy", &s.warpy));
    EXPECT_TRUE(e2e::ReadSettingInt("NumBuf", &s.numBuf));
    EXPECT_TRUE(e2e::ReadSettingInt("UseHiColor", &s.useHiColor));
    EXPECT_TRUE(e2e::ReadSettingDouble("XScale", &s.xScale));
    EXPECT_TRUE(e2e::ReadSettingDouble("YScale", &s.yScale));
    EXPECT_TRUE(e2e::ReadSettingDouble("Rot1", &s.rot1));
    EXPECT_TRUE(e2e::ReadSettingDouble("Rot2", &s.rot2));
    EXPECT_TRUE(e2e::ReadSettingDouble("Zoom1", &s.zoom1));
    EXPECT_TRUE(e2e::ReadSettingDouble("Zoom2", &s.zoom2));
    EXPECT_TRUE(e2e::ReadSettingText("IMGFilename", &s.imageFile));
    DWORD type = 0, size = 0;
    EXPECT_TRUE(e2e::ReadSettingShape("IMGFilename", &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, s.imageFile.size() + 1);
    return s;
}

// The bytes of a stored value exactly as they lie in the key.
std::vector<uint8_t> StoredBytes(const char* name) {
    std::vector<uint8_t> bytes(512);
    DWORD size = static_cast<DWORD>(bytes.size());
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, e2e::kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, bytes.data(), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return {};
    bytes.resize(size);
    return bytes;
}

std::vector<std::string> StoredNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, e2e::kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, e2e::kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

HWND WarningBox(DWORD processId) {
    const std::vector<HWND> boxes = e2e::TopLevelWindows(processId, e2e::kDialogClass, "Warning");
    return boxes.empty() ? nullptr : boxes.front();
}

// Clicks OK, answers the warning if it comes, and waits for the end. Returns
// whether the warning was shown. The box is modal and only this program
// closes it, so a saver that ends by itself after OK never showed it: no
// waiting for a box that might still come.
bool PressOk(DialogRun& run, bool keyWasAbsent = false) {
    const DWORD id = run.process().id();
    run.Click(IDOK);
    HWND box = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        box = WarningBox(id);
        return box != nullptr || !run.process().Running();
    }, 15000)) << "OK neither ended the dialog nor warned";
    const bool warned = box != nullptr;
    if (warned) {
        const e2e::MessageBoxSeen seen = e2e::WaitForMessageBox(id, 5000);
        EXPECT_EQ(seen.caption, "Warning");
        EXPECT_EQ(seen.text, kWarningText);
        EXPECT_EQ(GetWindow(box, GW_OWNER), run.dialog()) << "the warning belongs to the dialog";
        // Only an OK button: MB_OK.
        int buttons = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (e2e::WindowClass(child) == "Button" && IsWindowVisible(child)) ++buttons;
        EXPECT_EQ(buttons, 1);
        // Nothing is saved while the box waits.
        EXPECT_TRUE(run.process().Running());
        if (keyWasAbsent) {
            EXPECT_FALSE(KeyExists()) << "saved before the warning was answered";
        }
        // Answered from the keyboard, as most users do.
        WaitUntil([&] { return GetForegroundWindow() == box; }, 3000);
        PressKey(VK_RETURN);
    }
    DWORD exitCode = 1;
    EXPECT_TRUE(run.WaitForEnd(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    return warned;
}

// Cancel, Escape or the close box: the dialog ends, exit code 0.
void ExpectEndsWithZero(DialogRun& run) {
    DWORD exitCode = 1;
    EXPECT_TRUE(run.WaitForEnd(&exitCode));
    EXPECT_EQ(exitCode, 0u);
}

class DialogE2E : public ::testing::Test {
protected:
    void SetUp() override { e2e::DeleteSettingsKey(); }
    void TearDown() override { e2e::DeleteSettingsKey(); }
};

// ---- What the dialog shows --------------------------------------------------

TEST_F(DialogE2E, DefaultSettingsShowAndSaveAsDocumented) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(GetWindow(run.dialog(), GW_OWNER), run.owner());
    EXPECT_EQ(run.Text(kWidth), "320");
    EXPECT_EQ(run.Text(kHeight), "240");
    EXPECT_TRUE(run.Checked(kChangeMode));
    EXPECT_EQ(run.Text(kBitDepth), "");
    EXPECT_TRUE(run.Checked(kHiColor));
    EXPECT_FALSE(run.Checked(kWarpy));
    EXPECT_EQ(run.Position(kBlur), 3);
    EXPECT_EQ(run.Range(kBlur), std::make_pair(1, 5));
    EXPECT_EQ(run.Text(kXScale), "1.00");
    EXPECT_EQ(run.Text(kYScale), "1.00");
    for (int id : {kRotFrequency, kRotAmplitude, kZoomFrequency, kZoomAmplitude}) {
        EXPECT_EQ(run.Position(id), 8) << id;
        EXPECT_EQ(run.Range(id), std::make_pair(0, 15)) << id;
    }
    EXPECT_EQ(run.Text(kImageFile), "");
    run.Screenshot("dialog-default.bmp");
    // Opening alone writes nothing.
    EXPECT_FALSE(KeyExists());

    EXPECT_FALSE(PressOk(run));
    const Stored s = ReadStored();
    EXPECT_EQ(s.screenWidth, 320);
    EXPECT_EQ(s.screenHeight, 240);
    EXPECT_EQ(s.stretch, 0);
    EXPECT_EQ(s.warpy, 0);
    EXPECT_EQ(s.numBuf, 3);
    EXPECT_EQ(s.useHiColor, 1);
    EXPECT_EQ(s.xScale, 1.0);
    EXPECT_EQ(s.yScale, 1.0);
    // 1.0 is not on the sliders: it shows at 1.1 and is saved as 1.1.
    EXPECT_EQ(s.rot1, 1.1);
    EXPECT_EQ(s.rot2, 1.1);
    EXPECT_EQ(s.zoom1, 1.1);
    EXPECT_EQ(s.zoom2, 1.1);
    EXPECT_EQ(s.imageFile, "");
}

// Every field away from its default, so a control wired to the wrong value
// shows it.
TEST_F(DialogE2E, StoredSettingsShowInTheirOwnControls) {
    e2e::SettingsValues settings;
    settings.imageFile = "C:\\pictures\\tiles.bmp";
    settings.screenWidth = 640;
    settings.screenHeight = 480;
    settings.stretch = 16;
    settings.numBuf = 4;
    settings.useHiColor = 0;
    settings.warpy = 1;
    settings.xScale = 2.5;
    settings.yScale = -0.75;
    settings.rot1 = 0.3;   // 4
    settings.rot2 = 2.0;   // 11
    settings.zoom1 = 7.0;  // 14
    settings.zoom2 = 0.05; // 1
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kWidth), "640");
    EXPECT_EQ(run.Text(kHeight), "480");
    EXPECT_TRUE(run.Checked(kChangeMode));
    EXPECT_EQ(run.Text(kBitDepth), "16");
    EXPECT_EQ(run.Position(kBlur), 4);
    EXPECT_FALSE(run.Checked(kHiColor));
    EXPECT_TRUE(run.Checked(kWarpy));
    EXPECT_EQ(run.Text(kXScale), "2.50");
    EXPECT_EQ(run.Text(kYScale), "-0.75");
    EXPECT_EQ(run.Position(kRotAmplitude), 4);
    EXPECT_EQ(run.Position(kRotFrequency), 11);
    EXPECT_EQ(run.Position(kZoomAmplitude), 14);
    EXPECT_EQ(run.Position(kZoomFrequency), 1);
    EXPECT_EQ(run.Text(kImageFile), "C:\\pictures\\tiles.bmp");

    // OK on an untouched dialog gives back what was loaded, byte for byte.
    EXPECT_FALSE(PressOk(run));
    const Stored s = ReadStored();
    EXPECT_EQ(s.imageFile, "C:\\pictures\\tiles.bmp");
    EXPECT_EQ(s.screenWidth, 640);
    EXPECT_EQ(s.screenHeight, 480);
    EXPECT_EQ(s.stretch, 16);
    EXPECT_EQ(s.numBuf, 4);
    EXPECT_EQ(s.useHiColor, 0);
    EXPECT_EQ(s.warpy, 1);
    EXPECT_EQ(s.xScale, 2.5);
    EXPECT_EQ(s.yScale, -0.75);
    EXPECT_EQ(s.rot1, 0.3);
    EXPECT_EQ(s.rot2, 2.0);
    EXPECT_EQ(s.zoom1, 7.0);
    EXPECT_EQ(s.zoom2, 0.05);
    // Little-endian, exactly as the fields lie in memory.
    EXPECT_EQ(StoredBytes("ScreenWidth"), (std::vector<uint8_t>{0x80, 0x02, 0x00, 0x00}));
    EXPECT_EQ(StoredBytes("Stretch"), (std::vector<uint8_t>{0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(StoredBytes("XScale"), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x04, 0x40}));
    EXPECT_EQ(StoredBytes("YScale"), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xE8, 0xBF}));
    const std::vector<uint8_t> name = StoredBytes("IMGFilename");
    ASSERT_EQ(name.size(), 22u);
    EXPECT_EQ(name.back(), 0) << "the terminator is stored";
}

TEST_F(DialogE2E, SavedValuesAreExactlyTheThirteen) {
    e2e::WriteSettingInt("SomebodyElse", 77);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    PressOk(run);
    std::vector<std::string> names = StoredNames();
    // Wine's registry hands values out sorted by name, whatever order they
    // were written in, so the write order cannot be seen from here; the
    // persistence unit tests check it on a recording store.
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {"IMGFilename", "NumBuf", "Rot1", "Rot2", "ScreenHeight",
                                               "ScreenWidth", "SomebodyElse", "Stretch", "UseHiColor", "Warpy",
                                               "XScale", "YScale", "Zoom1", "Zoom2"};
    EXPECT_EQ(names, expected);
    int32_t other = 0;
    EXPECT_TRUE(e2e::ReadSettingInt("SomebodyElse", &other));
    EXPECT_EQ(other, 77);
}

TEST_F(DialogE2E, MotionSettingsGoThroughTheSliderTable) {
    e2e::SettingsValues settings;
    settings.rot1 = 0.9;    // exact entry
    settings.rot2 = 0.95;   // between two entries: the upper
    settings.zoom1 = 12.0;  // above the table
    settings.zoom2 = -3.0;  // below the table
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Position(kRotAmplitude), 7);
    EXPECT_EQ(run.Position(kRotFrequency), 8);
    EXPECT_EQ(run.Position(kZoomAmplitude), 15);
    EXPECT_EQ(run.Position(kZoomFrequency), 0);
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.rot1, 0.9);
    EXPECT_EQ(s.rot2, 1.1);
    EXPECT_EQ(s.zoom1, 10.0);
    EXPECT_EQ(s.zoom2, 0.0);
}

TEST_F(DialogE2E, NotANumberMotionSettingShowsAtTheBottom) {
    const uint64_t quietNaN = 0x7FF8000000000000ull;
    e2e::WriteSettingBytes("Rot1", REG_BINARY, &quietNaN, 8);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Position(kRotAmplitude), 0);
    PressOk(run);
    EXPECT_EQ(ReadStored().rot1, 0.0);
}

TEST_F(DialogE2E, MovedSlidersSaveTheirTableValues) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Slide(kRotAmplitude, 0));
    ASSERT_TRUE(run.Slide(kRotFrequency, 15));
    ASSERT_TRUE(run.Slide(kZoomAmplitude, 5));
    ASSERT_TRUE(run.Slide(kZoomFrequency, 12));
    ASSERT_TRUE(run.Slide(kBlur, 5));
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.rot1, 0.0);
    EXPECT_EQ(s.rot2, 10.0);
    EXPECT_EQ(s.zoom1, 0.5);
    EXPECT_EQ(s.zoom2, 3.0);
    EXPECT_EQ(s.numBuf, 5);
}

// ---- Scale fields -------------------------------------------------------------

TEST_F(DialogE2E, ScaleShowsTwoDecimalsAndIsParsedBackFromTheField) {
    e2e::SettingsValues settings;
    settings.xScale = 0.333;
    settings.yScale = -2.0;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kXScale), "0.33");
    EXPECT_EQ(run.Text(kYScale), "-2.00");
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.xScale, 0.33);
    EXPECT_EQ(s.yScale, -2.0);
}

// The scale text shares one 299-byte buffer. 5e294 has 295 integer digits,
// so its two-decimal text is 298 characters and just fits; 5e295 needs 299
// and the largest double 312, which would run past the buffer: those show in
// exponent form, with the digits that read back as the same number.
TEST_F(DialogE2E, ScaleTooLongForTwoDecimalsShowsInExponentFormAndSurvivesOk) {
    e2e::SettingsValues settings;
    settings.xScale = 5e295;
    settings.yScale = -1.7976931348623157e308;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kXScale), "5e+295");
    EXPECT_EQ(run.Text(kYScale), "-1.7976931348623157e+308");
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.xScale, 5e295);
    EXPECT_EQ(s.yScale, -1.7976931348623157e308);
}

TEST_F(DialogE2E, ScaleThatJustFitsKeepsItsTwoDecimals) {
    e2e::SettingsValues settings;
    settings.xScale = 5e294;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    const std::string text = run.Text(kXScale);
    ASSERT_EQ(text.size(), 298u);
    EXPECT_EQ(text.substr(0, 2), "49") << "the exact value of the double nearest 5e294";
    EXPECT_EQ(text.substr(295), ".00");
    PressOk(run);
    // The full decimal expansion reads back as the very same double.
    EXPECT_EQ(ReadStored().xScale, 5e294);
}

struct ScaleEdit {
    const char* text;
    double stored;
};

class ScaleFieldE2E : public DialogE2E, public ::testing::WithParamInterface<ScaleEdit> {};

TEST_P(ScaleFieldE2E, TypedTextIsStored) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kXScale, GetParam().text));
    ASSERT_TRUE(run.Type(kYScale, GetParam().text));
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.xScale, GetParam().stored) << GetParam().text;
    EXPECT_EQ(s.yScale, GetParam().stored) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ScaleFieldE2E,
                         ::testing::Values(ScaleEdit{"2.5x", 2.5}, ScaleEdit{"abc", 1.0}, ScaleEdit{"", 1.0},
                                           ScaleEdit{" 3", 3.0}, ScaleEdit{"0", 0.0}, ScaleEdit{"-4e-1", -0.4},
                                           ScaleEdit{"x2", 1.0},
                                           // Only decimal numbers: no hexadecimal, no infinity, no NaN
                                           // that would reach the renderer's fixed-point steps.
                                           ScaleEdit{"0x10", 0.0}, ScaleEdit{"inf", 1.0}, ScaleEdit{"nan", 1.0},
                                           ScaleEdit{"-Infinity", 1.0}));

// ---- Size and bit depth fields ---------------------------------------------------

struct SizeEdit {
    const char* width;
    const char* height;
    int32_t storedWidth;
    int32_t storedHeight;
};

class SizeFieldE2E : public DialogE2E, public ::testing::WithParamInterface<SizeEdit> {};

TEST_P(SizeFieldE2E, FallbacksMinimumAndRounding) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kWidth, GetParam().width));
    ASSERT_TRUE(run.Type(kHeight, GetParam().height));
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.screenWidth, GetParam().storedWidth);
    EXPECT_EQ(s.screenHeight, GetParam().storedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeFieldE2E,
                         ::testing::Values(SizeEdit{"0", "0", 32, 32}, SizeEdit{"31", "31", 32, 32},
                                           SizeEdit{"322", "243", 320, 243}, SizeEdit{"", "", 320, 240},
                                           SizeEdit{"33", "32", 32, 32}));

TEST_F(DialogE2E, NumberFieldsKeepOnlyTheDigitsTyped) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kWidth, "4a0", "40"));
    ASSERT_TRUE(run.Type(kHeight, "xyz", ""));
    ASSERT_TRUE(run.Type(kBitDepth, "-8", "8"));
    PressOk(run);
    const Stored s = ReadStored();
    EXPECT_EQ(s.screenWidth, 40);
    EXPECT_EQ(s.screenHeight, 240);
    EXPECT_EQ(s.stretch, 8);
}

struct DepthEdit {
    bool changeMode;
    const char* depth;
    bool hiColor;
    bool warning;
    int32_t stretch;
};

class BitDepthE2E : public DialogE2E, public ::testing::WithParamInterface<DepthEdit> {};

TEST_P(BitDepthE2E, WarningExactlyWhenTheRuleSays) {
    const DepthEdit& c = GetParam();
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.SetCheck(kChangeMode, c.changeMode));
    ASSERT_TRUE(run.Type(kBitDepth, c.depth));
    ASSERT_TRUE(run.SetCheck(kHiColor, c.hiColor));
    EXPECT_EQ(PressOk(run, true), c.warning);
    // Saved as entered, warning or not.
    const Stored s = ReadStored();
    EXPECT_EQ(s.stretch, c.stretch);
    EXPECT_EQ(s.useHiColor, c.hiColor ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, BitDepthE2E,
                         ::testing::Values(DepthEdit{true, "8", true, true, 8}, DepthEdit{true, "14", true, true, 14},
                                           DepthEdit{true, "8", false, false, 8},
                                           DepthEdit{true, "15", true, false, 15},
                                           DepthEdit{true, "16", true, false, 16},
                                           DepthEdit{true, "", true, false, 0}, DepthEdit{true, "0", true, false, 0},
                                           // typed with the box unchecked: ignored
                                           DepthEdit{false, "8", true, false, -1}));

TEST_F(DialogE2E, DepthTypedWithTheBoxUncheckedIsIgnoredAndNotShownNextTime) {
    {
        DialogRun run;
        ASSERT_TRUE(run.Open());
        ASSERT_TRUE(run.SetCheck(kChangeMode, false));
        // The field stays editable with the box unchecked.
        EXPECT_TRUE(IsWindowEnabled(run.Item(kBitDepth)));
        ASSERT_TRUE(run.Type(kBitDepth, "24"));
        ASSERT_TRUE(run.SetCheck(kWarpy, true));
        // Boxes change only their own state.
        EXPECT_EQ(run.Text(kBitDepth), "24");
        EXPECT_TRUE(run.Checked(kHiColor));
        EXPECT_FALSE(PressOk(run));
    }
    const Stored s = ReadStored();
    EXPECT_EQ(s.stretch, -1);
    EXPECT_EQ(s.warpy, 1);

    DialogRun again;
    ASSERT_TRUE(again.Open());
    EXPECT_FALSE(again.Checked(kChangeMode));
    EXPECT_EQ(again.Text(kBitDepth), "");
    EXPECT_TRUE(again.Checked(kWarpy));
}

class BlurCountE2E : public DialogE2E, public ::testing::WithParamInterface<std::pair<int32_t, int32_t>> {};

TEST_P(BlurCountE2E, StoredCountOutsideTheSliderIsClamped) {
    e2e::SettingsValues settings;
    settings.numBuf = GetParam().first;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Position(kBlur), GetParam().second);
    PressOk(run);
    EXPECT_EQ(ReadStored().numBuf, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Counts, BlurCountE2E,
                         ::testing::Values(std::make_pair(0, 1), std::make_pair(9, 5), std::make_pair(-7, 1)));

// ---- Closing without saving --------------------------------------------------

enum class CancelBy { Button, Escape, CloseBox };

class CancelE2E : public DialogE2E, public ::testing::WithParamInterface<CancelBy> {};

TEST_P(CancelE2E, SavesNothing) {
    e2e::SettingsValues settings;
    settings.screenWidth = 400;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kWidth), "400");
    ASSERT_TRUE(run.Type(kWidth, "640"));
    ASSERT_TRUE(run.SetCheck(kHiColor, false));
    switch (GetParam()) {
    case CancelBy::Button: run.Click(IDCANCEL); break;
    case CancelBy::Escape: PressKey(VK_ESCAPE); break;
    // What the close box of the caption sends.
    case CancelBy::CloseBox: PostMessageA(run.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); break;
    }
    ExpectEndsWithZero(run);
    int32_t width = 0, hiColor = 0;
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenWidth", &width));
    EXPECT_TRUE(e2e::ReadSettingInt("UseHiColor", &hiColor));
    EXPECT_EQ(width, 400);
    EXPECT_EQ(hiColor, 1);
    // Untouched: the rest of the key is still what this program wrote.
    DWORD type = 0, size = 0;
    EXPECT_TRUE(e2e::ReadSettingShape("Rot1", &type, &size));
    double rot1 = 0;
    EXPECT_TRUE(e2e::ReadSettingDouble("Rot1", &rot1));
    EXPECT_EQ(rot1, 1.0) << "Cancel saved the slider's 1.1";
}

INSTANTIATE_TEST_SUITE_P(Ways, CancelE2E, ::testing::Values(CancelBy::Button, CancelBy::Escape, CancelBy::CloseBox));

TEST_F(DialogE2E, EnterInAFieldIsOk) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kHeight, "200"));
    PressKey(VK_RETURN);
    ExpectEndsWithZero(run);
    int32_t height = 0;
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenHeight", &height));
    EXPECT_EQ(height, 200);
}

// ---- Browse ---------------------------------------------------------------------

// A texture of one colour, every palette entry the same, so that every pixel
// of every frame drawn from it has that colour.
std::string WriteOneColourTexture(const std::string& name, bmpw::BmpColor colour) {
    std::vector<bmpw::BmpColor> palette(256, colour);
    bmpw::BmpImage image = bmpw::MakePalettedImage(64, 64, palette);
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    const std::string path = Artifact(name);
    e2e::WriteFileBytes(path, bytes);
    return path;
}

// Ids inside the platform's file chooser.
constexpr int kChooserFileName = 0x47c;  // cmb13, the explorer-style name box
constexpr int kChooserFileNameOld = 0x480;  // edt1
constexpr int kChooserFileType = 0x470;  // cmb1, the filter list

// The chooser's controls are Unicode windows; their item texts are read as
// such and kept to plain ASCII here.
std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        if (SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 255) continue;
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        std::string item;
        for (const wchar_t* at = text; *at; ++at) item += static_cast<char>(*at);
        items.push_back(item);
    }
    return items;
}

std::string FileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Presses Browse, checks what the chooser offers, then types the path into
// its name box and presses Enter, or Escape when `path` is empty.
bool ChooseFile(DialogRun& run, const std::string& path, const std::string& initialName) {
    run.Click(kBrowse);
    const HWND chooser = e2e::WaitForTopLevelWindow(run.process().id(), 15000, e2e::kDialogClass, kChooserTitle);
    if (!chooser) {
        ADD_FAILURE() << "no file chooser";
        return false;
    }
    HWND name = GetDlgItem(chooser, kChooserFileName);
    if (!name) name = GetDlgItem(chooser, kChooserFileNameOld);
    if (!name) {
        ADD_FAILURE() << "no file name box in the chooser";
        return false;
    }
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), run.dialog());
    // The chooser opens in the field's folder and shows the name in it.
    EXPECT_EQ(e2e::WindowText(name), FileNamePart(initialName)) << "the field's text is the chooser's first name";
    if (HWND types = GetDlgItem(chooser, kChooserFileType)) {
        EXPECT_EQ(ComboItems(types), (std::vector<std::string>{"BMP Files", "All files"}));
        EXPECT_EQ(SendMessageA(types, CB_GETCURSEL, 0, 0), 0);
    }
    // The chooser puts the focus in its name box; wait for it to be ready.
    if (!WaitUntil([&] {
            const HWND focus = FocusOfThread(chooser);
            return GetForegroundWindow() == chooser && focus && (focus == name || IsChild(name, focus));
        })) {
        ADD_FAILURE() << "the chooser never took the keyboard";
        return false;
    }
    if (path.empty()) {
        PressKey(VK_ESCAPE);
    } else {
        PressKey(VK_HOME);
        PressKeyWith(VK_SHIFT, VK_END);
        PressKey(VK_DELETE);
        TypeCharacters(path);
        if (!WaitUntil([&] { return e2e::WindowText(name) == path; })) {
            ADD_FAILURE() << "typing into the chooser";
            return false;
        }
        PressKey(VK_RETURN);
    }
    return WaitUntil([&] { return !IsWindow(chooser); }, 15000);
}

TEST_F(DialogE2E, BrowseFillsTheFieldAndCancelKeepsItOutOfTheRegistry) {
    const std::string picture = WriteOneColourTexture("dialog-e2e-browse.bmp", {200, 100, 50});
    e2e::WriteSettingText("IMGFilename", "C:\\before.bmp");
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kImageFile), "C:\\before.bmp");
    ASSERT_TRUE(ChooseFile(run, picture, "C:\\before.bmp"));
    ASSERT_TRUE(WaitUntil([&] { return _stricmp(run.Text(kImageFile).c_str(), picture.c_str()) == 0; }))
        << run.Text(kImageFile);
    run.Click(IDCANCEL);
    ExpectEndsWithZero(run);
    std::string stored;
    EXPECT_TRUE(e2e::ReadSettingText("IMGFilename", &stored));
    EXPECT_EQ(stored, "C:\\before.bmp");

    // The next dialog loads from the registry, not from the chooser.
    DialogRun again;
    ASSERT_TRUE(again.Open());
    EXPECT_EQ(again.Text(kImageFile), "C:\\before.bmp");
}

TEST_F(DialogE2E, CancelledChooserKeepsTheField) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kImageFile, "C:\\kept.bmp"));
    ASSERT_TRUE(ChooseFile(run, "", "C:\\kept.bmp"));
    EXPECT_EQ(run.Text(kImageFile), "C:\\kept.bmp");
    EXPECT_TRUE(run.process().Running());
    PressOk(run);
    EXPECT_EQ(ReadStored().imageFile, "C:\\kept.bmp");
}

TEST_F(DialogE2E, FileNameFieldHoldsAtMost298Characters) {
    // Too long to type key by key in good time: this one goes in as text.
    const std::string longName = "C:\\" + std::string(400, 'a') + ".bmp";
    DialogRun run;
    ASSERT_TRUE(run.Open());
    SendMessageA(run.Item(kImageFile), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longName.c_str()));
    PressOk(run);
    EXPECT_EQ(ReadStored().imageFile, longName.substr(0, 298));
}

// ---- The template -----------------------------------------------------------------

struct TemplateControl {
    int id;
    const char* className;
    const char* text;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    int x, y, width, height;
};

// Template 101 as the dialog should stand, in its order (the tab order).
const TemplateControl kTemplate[] = {
    {IDOK, "Button", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 244, 72, 50, 14},
    {IDCANCEL, "Button", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, 244, 93, 50, 14},
    {kWidth, "Edit", nullptr, ES_NUMBER | WS_BORDER | WS_TABSTOP, 12, 22, 40, 14},
    {kHeight, "Edit", nullptr, ES_NUMBER | WS_BORDER | WS_TABSTOP, 62, 22, 40, 14},
    {kChangeMode, "Button", "Change &Video Mode:", BS_AUTOCHECKBOX | WS_TABSTOP, 14, 44, 79, 10},
    {kBitDepth, "Edit", "", ES_NUMBER | WS_BORDER | WS_TABSTOP, 96, 43, 19, 12},
    {kWarpy, "Button", "&Warpy", BS_AUTOCHECKBOX | WS_TABSTOP, 17, 170, 34, 10},
    {kImageFile, "Edit", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 17, 78, 156, 12},
    {kBrowse, "Button", "&Browse...", BS_PUSHBUTTON | WS_TABSTOP, 177, 77, 50, 12},
    {kXScale, "Edit", nullptr, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 53, 94, 20, 12},
    {kYScale, "Edit", nullptr, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 86, 94, 20, 12},
    {kRotFrequency, "msctls_trackbar32", "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 77, 135, 90, 11},
    {kRotAmplitude, "msctls_trackbar32", "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 77, 154, 90, 11},
    {kZoomFrequency, "msctls_trackbar32", "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 187, 135, 90, 11},
    {kZoomAmplitude, "msctls_trackbar32", "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 187, 154, 90, 11},
    {-1, "Static", "x", SS_LEFT | WS_GROUP, 54, 25, 8, 8},
    {-1, "Static", "Pixels", SS_LEFT | WS_GROUP, 105, 26, 19, 8},
    {-1, "Button", "Render", BS_GROUPBOX, 7, 7, 136, 56},
    {-1, "Button", "Motion Blur", BS_GROUPBOX, 142, 7, 152, 56},
    {-1, "Static", "Scaling:  x", SS_LEFT | WS_GROUP, 17, 96, 34, 8},
    {-1, "Static", "y", SS_RIGHT | WS_GROUP, 76, 96, 8, 8},
    {-1, "Static", "Blur", SS_RIGHT | WS_GROUP, 148, 19, 12, 8},
    {-1, "Button", "Image (BMP)", BS_GROUPBOX, 7, 66, 226, 47},
    {-1, "Button", "Movement", BS_GROUPBOX, 7, 115, 287, 72},
    {-1, "Button", "Rotation", BS_GROUPBOX, 71, 123, 104, 58},
    {-1, "Button", "Zoom", BS_GROUPBOX, 181, 123, 104, 58},
    {-1, "Static", "Amplitude ---------", SS_LEFTNOWORDWRAP | WS_GROUP, 17, 156, 50, 8},
    {-1, "Static", "Frequncy ---------", SS_LEFT | WS_GROUP, 17, 136, 50, 8},
    {-1, "Static", "Low", SS_LEFT | WS_GROUP, 76, 168, 14, 8},
    {-1, "Static", "Low", SS_LEFT | WS_GROUP, 185, 168, 14, 8},
    {-1, "Static", "High", SS_LEFT | WS_GROUP, 153, 168, 16, 8},
    {-1, "Static", "High", SS_LEFT | WS_GROUP, 263, 168, 16, 8},
    {-1, "Static", "bpp", SS_LEFT | WS_GROUP, 118, 45, 12, 8},
    {kBlur, "msctls_trackbar32", "Slider1", TBS_AUTOTICKS | WS_TABSTOP, 167, 16, 109, 16},
    {-1, "Static", "None", SS_LEFT | WS_GROUP, 168, 36, 19, 9},
    {-1, "Static", "Some", SS_LEFT | WS_GROUP, 213, 36, 19, 9},
    {-1, "Static", "Tons", SS_LEFT | WS_GROUP, 259, 37, 19, 9},
    {kHiColor, "Button", "HiColor Blur (for 15bpp and up)", BS_AUTOCHECKBOX | WS_TABSTOP, 150, 47, 113, 10},
};

// The style bits that say what kind of control it is; the platform is free
// to add the rest (3-D borders, owner flags).
DWORD KindBits(const char* className, DWORD style) {
    if (std::strcmp(className, "Button") == 0) return style & BS_TYPEMASK;
    if (std::strcmp(className, "Static") == 0) return style & SS_TYPEMASK;
    if (std::strcmp(className, "Edit") == 0) return style & (ES_NUMBER | ES_AUTOHSCROLL | ES_MULTILINE | ES_PASSWORD);
    return style & (TBS_AUTOTICKS | TBS_VERT | TBS_NOTICKS | TBS_BOTH | TBS_ENABLESELRANGE);
}

// A dialog of this program in the template's font, for the size of a dialog
// unit: 301 x 193 units of "MS Sans Serif" 8 point, measured the way the
// platform measures the saver's own dialog.
struct DialogUnits {
    HWND probe = nullptr;
    // A named function, not a lambda: on x86 a dialog procedure is stdcall.
    static INT_PTR CALLBACK ProbeProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
    ~DialogUnits() {
        if (probe) DestroyWindow(probe);
    }
    bool Make() {
        alignas(4) static WORD words[64] = {};
        auto* header = reinterpret_cast<DLGTEMPLATE*>(words);
        header->style = DS_SETFONT | WS_POPUP;
        header->cdit = 0;
        header->cx = 10;
        header->cy = 10;
        WORD* at = words + sizeof(DLGTEMPLATE) / sizeof(WORD);
        *at++ = 0;  // no menu
        *at++ = 0;  // default class
        *at++ = 0;  // no caption
        *at++ = 8;  // point size
        for (const char* face = "MS Sans Serif";; ++face) {
            *at++ = static_cast<WORD>(*face);
            if (!*face) break;
        }
        probe = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), header, nullptr, ProbeProc, 0);
        return probe != nullptr;
    }
    // The dialog manager converts the position and the size of a control
    // each on its own, so a right edge carries two roundings, not one.
    RECT Map(int x, int y, int width, int height) const {
        RECT place = {x, y, width, height};
        MapDialogRect(probe, &place);
        return {place.left, place.top, place.left + place.right, place.top + place.bottom};
    }
};

TEST_F(DialogE2E, EveryControlStandsWhereTheTemplatePutsIt) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    DialogUnits units;
    ASSERT_TRUE(units.Make());

    const LONG style = GetWindowLongA(run.dialog(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME), WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    EXPECT_EQ(e2e::WindowText(run.dialog()), kCaption);
    RECT client;
    GetClientRect(run.dialog(), &client);
    const RECT size = units.Map(0, 0, 301, 193);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    std::vector<HWND> children;
    for (HWND child = GetWindow(run.dialog(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    ASSERT_EQ(children.size(), std::size(kTemplate));
    for (size_t i = 0; i < children.size(); ++i) {
        const TemplateControl& c = kTemplate[i];
        const HWND item = children[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + " (" + (c.text ? c.text : "") + ")");
        // A DIALOG template keeps ids in 16 bits: -1 comes back as 65535.
        EXPECT_EQ(GetDlgCtrlID(item) & 0xFFFF, c.id & 0xFFFF) << "id";
        EXPECT_STRCASEEQ(e2e::WindowClass(item).c_str(), c.className);
        if (c.text && std::strcmp(c.className, "msctls_trackbar32") != 0) {
            EXPECT_EQ(e2e::WindowText(item), c.text);
        }
        const DWORD itemStyle = static_cast<DWORD>(GetWindowLongA(item, GWL_STYLE));
        EXPECT_EQ(itemStyle & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
        EXPECT_EQ(KindBits(c.className, itemStyle), KindBits(c.className, c.style)) << std::hex << itemStyle;
        EXPECT_EQ(itemStyle & WS_TABSTOP, c.style & WS_TABSTOP) << "tab stop";
        EXPECT_EQ(itemStyle & WS_GROUP, c.style & WS_GROUP) << "group";
        RECT rect;
        GetWindowRect(item, &rect);
        MapWindowPoints(nullptr, run.dialog(), reinterpret_cast<POINT*>(&rect), 2);
        const RECT want = units.Map(c.x, c.y, c.width, c.height);
        EXPECT_EQ(rect.left, want.left);
        EXPECT_EQ(rect.top, want.top);
        EXPECT_EQ(rect.right, want.right);
        EXPECT_EQ(rect.bottom, want.bottom);
    }
}

TEST_F(DialogE2E, TabVisitsTheControlsInTemplateOrder) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.FocusByClick(kWidth));
    const int order[] = {kHeight, kChangeMode, kBitDepth, kWarpy, kImageFile, kBrowse, kXScale, kYScale,
                         kRotFrequency, kRotAmplitude, kZoomFrequency, kZoomAmplitude, kBlur, kHiColor,
                         IDOK, IDCANCEL, kWidth};
    for (int id : order) {
        PressKey(VK_TAB);
        ASSERT_TRUE(WaitUntil([&] { return run.Focus() == run.Item(id); })) << "expected control " << id;
    }
}

TEST_F(DialogE2E, EditedDialogScreenshot) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kWidth, "640"));
    ASSERT_TRUE(run.Type(kHeight, "480"));
    ASSERT_TRUE(run.Type(kBitDepth, "16"));
    ASSERT_TRUE(run.SetCheck(kWarpy, true));
    ASSERT_TRUE(run.SetCheck(kHiColor, false));
    ASSERT_TRUE(run.Type(kImageFile, "C:\\pictures\\tiles.bmp"));
    ASSERT_TRUE(run.Type(kXScale, "2.5"));
    ASSERT_TRUE(run.Slide(kBlur, 5));
    ASSERT_TRUE(run.Slide(kRotAmplitude, 15));
    ASSERT_TRUE(run.Slide(kZoomFrequency, 0));
    run.Screenshot("dialog-edited.bmp");
    // The screenshot shows what was entered; OK stores it.
    EXPECT_FALSE(PressOk(run));
    const Stored s = ReadStored();
    EXPECT_EQ(s.screenWidth, 640);
    EXPECT_EQ(s.screenHeight, 480);
    EXPECT_EQ(s.stretch, 16);
    EXPECT_EQ(s.warpy, 1);
    EXPECT_EQ(s.useHiColor, 0);
    EXPECT_EQ(s.imageFile, "C:\\pictures\\tiles.bmp");
    EXPECT_EQ(s.xScale, 2.5);
    EXPECT_EQ(s.numBuf, 5);
    EXPECT_EQ(s.rot1, 10.0);
    EXPECT_EQ(s.zoom2, 0.0);
    EXPECT_EQ(s.rot2, 1.1);
    EXPECT_EQ(s.zoom1, 1.1);
}

// ---- Run modes -----------------------------------------------------------------

struct ModeRun {
    const char* arguments;
    bool ownedByTest;  // the dialog's owner is the window this program made
};

class SettingsModeE2E : public DialogE2E, public ::testing::WithParamInterface<ModeRun> {};

TEST_P(SettingsModeE2E, OpensTheDialogAndEndsWithZero) {
    DialogRun run;
    // A window of this program is in the foreground every time, so "/c"
    // shows that it is taken as owner, and the forms without a switch that
    // they take none.
    ASSERT_TRUE(run.Open(GetParam().arguments, true)) << GetParam().arguments;
    if (GetParam().ownedByTest) {
        EXPECT_EQ(GetWindow(run.dialog(), GW_OWNER), run.owner());
        // Modal: the owner takes no input while the dialog is up.
        EXPECT_FALSE(IsWindowEnabled(run.owner()));
    } else {
        EXPECT_EQ(GetWindow(run.dialog(), GW_OWNER), nullptr);
    }
    run.Click(IDCANCEL);
    ExpectEndsWithZero(run);
    EXPECT_FALSE(KeyExists());
}

INSTANTIATE_TEST_SUITE_P(Arguments, SettingsModeE2E,
                         ::testing::Values(ModeRun{"/c:%OWNER%", true}, ModeRun{"-C:%OWNER%", true},
                                           ModeRun{"/c", true}, ModeRun{"-cabc", true}, ModeRun{"", false},
                                           ModeRun{"\"\"", false}, ModeRun{"\" x\"", false}));

TEST_F(DialogE2E, OwnerThatIsNoWindowShowsNothingAndSavesNothing) {
    DialogRun run;
    ASSERT_TRUE(run.process().Start(SaverPath, "/c:12345678"));
    DWORD exitCode = 1;
    EXPECT_TRUE(run.process().WaitForExitOrKill(15000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(e2e::TopLevelWindows(run.process().id(), e2e::kDialogClass).empty());
    EXPECT_FALSE(KeyExists());
}

// ---- Round trip: what the dialog saves is what the saver shows -----------------

struct RoundTrip {
    bool hiColor;
};

class RoundTripE2E : public DialogE2E, public ::testing::WithParamInterface<RoundTrip> {};

// The dialog picks the image through Browse, a 160 x 100 frame, no display
// mode change, no blur, and the colour mode; then /s runs with the key as the
// dialog left it. The texture has one colour, 203, 45, 99, whose channels all
// have low bits that 5-5-5 pixels cannot hold: in 8-bit mode the frame shows
// it exactly, in HiColor mode never.
TEST_P(RoundTripE2E, SaverShowsWhatTheDialogSaved) {
    const bmpw::BmpColor colour = {203, 45, 99};
    const uint32_t exact = 0xCB2D63;
    const std::string picture = WriteOneColourTexture("dialog-e2e-roundtrip.bmp", colour);
    {
        DialogRun run;
        ASSERT_TRUE(run.Open());
        ASSERT_TRUE(ChooseFile(run, picture, ""));
        ASSERT_TRUE(run.Type(kWidth, "162"));  // saved as 160
        ASSERT_TRUE(run.Type(kHeight, "100"));
        ASSERT_TRUE(run.SetCheck(kChangeMode, false));  // leave the display mode alone
        ASSERT_TRUE(run.SetCheck(kHiColor, GetParam().hiColor));
        ASSERT_TRUE(run.Slide(kBlur, 1));
        EXPECT_FALSE(PressOk(run));
    }
    const Stored s = ReadStored();
    ASSERT_EQ(s.screenWidth, 160);
    ASSERT_EQ(s.screenHeight, 100);
    ASSERT_EQ(s.stretch, -1);
    ASSERT_EQ(s.numBuf, 1);
    ASSERT_EQ(s.useHiColor, GetParam().hiColor ? 1 : 0);
    ASSERT_STRCASEEQ(s.imageFile.c_str(), picture.c_str());

    e2e::Process saver;
    ASSERT_TRUE(saver.Start(SaverPath, "/s"));
    ASSERT_NE(e2e::WaitForTopLevelWindow(saver.id(), 15000, e2e::kSaverClass), nullptr);
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int32_t left = (screenWidth - 160) / 2;
    const int32_t top = (screenHeight - 100) / 2;
    e2e::Pixels screen;
    ASSERT_TRUE(WaitUntil([&] {
        screen = e2e::CaptureScreen();
        return screen.Crop(left, top, 160, 100).CountLit() == 160u * 100u;
    }, 15000)) << "no full frame on the screen";
    e2e::SaveBmp(screen, Artifact(GetParam().hiColor ? "dialog-roundtrip-hicolor.bmp" : "dialog-roundtrip-paletted.bmp"));
    saver.Kill();

    // The frame is the saved size, centred, and nothing else is lit.
    EXPECT_EQ(screen.CountLit(), 160u * 100u);
    const e2e::Pixels frame = screen.Crop(left, top, 160, 100);
    size_t exactPixels = 0, nearPixels = 0;
    for (uint32_t pixel : frame.rgb) {
        if (pixel == exact) ++exactPixels;
        const int dr = static_cast<int>((pixel >> 16) & 0xFF) - colour.red;
        const int dg = static_cast<int>((pixel >> 8) & 0xFF) - colour.green;
        const int db = static_cast<int>(pixel & 0xFF) - colour.blue;
        if (std::abs(dr) < 8 && std::abs(dg) < 8 && std::abs(db) < 8) ++nearPixels;
    }
    // Every pixel is the chosen image's colour, so the saver drew that file.
    EXPECT_EQ(nearPixels, frame.rgb.size());
    if (GetParam().hiColor) {
        EXPECT_EQ(exactPixels, 0u) << "HiColor was saved, but the frame has 8-bit colours";
    } else {
        EXPECT_EQ(exactPixels, frame.rgb.size()) << "8-bit was saved, but the frame is not in the palette's colour";
    }
}

INSTANTIATE_TEST_SUITE_P(ColourModes, RoundTripE2E, ::testing::Values(RoundTrip{false}, RoundTrip{true}),
                         [](const ::testing::TestParamInfo<RoundTrip>& info) {
                             return std::string(info.param.hiColor ? "HiColor" : "Paletted");
                         });

// Wine hands the windows that have a caption to the X window manager, and
// when one closes it waits up to two seconds for the manager to confirm. The
// test display has no manager, so every dialog run would idle that long and
// the caption would go unpainted in the screenshots. Wine then draws the
// frames itself. The previous setting comes back when the runs are done.
class UnmanagedWindows {
public:
    UnmanagedWindows() {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = sizeof previous_;
        hadValue_ = RegQueryValueExA(key_, "Managed", nullptr, nullptr, reinterpret_cast<BYTE*>(previous_), &size) ==
                    ERROR_SUCCESS;
        previousSize_ = size;
        RegSetValueExA(key_, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    }
    ~UnmanagedWindows() {
        if (!key_) return;
        if (hadValue_) {
            RegSetValueExA(key_, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_), previousSize_);
        } else {
            RegDeleteValueA(key_, "Managed");
        }
        RegCloseKey(key_);
    }

private:
    static constexpr char kKey[] = "Software\\Wine\\X11 Driver";
    HKEY key_ = nullptr;
    bool hadValue_ = false;
    char previous_[64] = {};
    DWORD previousSize_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialog_e2e GYROFOLD.SCR ARTIFACTS_FOLDER\n");
        return 2;
    }
    // Before this program makes its first window, so its own windows (the
    // stand-in owner) are not handed to the manager either.
    const UnmanagedWindows unmanaged;
    InitCommonControls();
    SaverPath = e2e::ToWinePath(argv[1]);
    ArtifactsFolder = e2e::ToWinePath(argv[2]);
    e2e::MakeFolders(ArtifactsFolder);
    return RUN_ALL_TESTS();
}
