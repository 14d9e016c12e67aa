// The settings mode of the real gyrofold.scr, driven as a user would: real
// clicks and keystrokes, the file chooser, the message boxes, and the
// registry read back. The read-back rules and fallbacks of every field are
// checked exhaustively by the native tests; here one case of each kind shows
// that the dialog is joined to them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "tests/e2e/driver.h"
// After <windows.h>.
#include <commctrl.h>

using namespace e2e;

namespace {

constexpr char kCaption[] = "Quillbox Gyrofold v0.9 Setup";

enum : int {
    kWidth = 1000, kHeight = 1002, kChangeMode = 1004, kImageFile = 1006, kBrowse = 1007, kWarpy = 1009,
    kXScale = 1011, kYScale = 1012, kRotFrequency = 1018, kRotAmplitude = 1019, kZoomAmplitude = 1020,
    kZoomFrequency = 1021, kBitDepth = 1022, kBlur = 1023, kHiColor = 1025,
};

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

class DialogRun {
public:
    // "%OWNER%" in the arguments becomes the stand-in owner's handle; with
    // `foreground` that window is made the foreground window first.
    bool Open(std::string arguments = "/c:%OWNER%", bool foreground = false, const char* refuse = nullptr) {
        const size_t at = arguments.find("%OWNER%");
        if (at != std::string::npos) arguments.replace(at, 7, std::to_string(uintptr_t(Owner())));
        if (foreground && (SetForegroundWindow(Owner()), !WaitUntil([] { return GetForegroundWindow() == Owner(); })))
            return false;
        if (!process.Start(SaverPath, arguments, refuse)) return false;
        if (refuse) return true;
        dialog = WaitForWindow(process, kDialogClass, kCaption);
        if (!dialog) return false;
        if (!WaitUntil([&] { return GetForegroundWindow() == dialog; }, 3000)) SetForegroundWindow(dialog);
        return WaitUntil([&] { return GetForegroundWindow() == dialog; }, 5000);
    }
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::string TextOf(int id) const { return Text(Item(id)); }
    LRESULT Ask(int id, UINT message) const {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(Item(id), message, 0, 0, SMTO_ABORTIFHUNG, 3000, &result);
        return LRESULT(result);
    }
    bool Checked(int id) const { return Ask(id, BM_GETCHECK) == BST_CHECKED; }
    int Position(int id) const { return int(Ask(id, TBM_GETPOS)); }

    // Wine on a display without a window manager now and then loses a click:
    // one more is no fault of the dialog's.
    bool Focus(int id) {
        for (int attempt = 0; attempt < 2; ++attempt)
            if (ClickAt(Item(id)), WaitUntil([&] { return FocusOf(dialog) == Item(id); }, 3000)) return true;
        ADD_FAILURE() << "two clicks did not put the focus into control " << id;
        return false;
    }
    // Types over the field and waits until it shows `shows` (what an
    // ES_NUMBER field keeps of the keys).
    bool Type(int id, const std::string& text, const char* shows = nullptr) {
        if (!Focus(id)) return false;
        PressKey(VK_END);
        PressKey(VK_BACK, int(TextOf(id).size()));
        TypeText(text);
        return WaitUntil([&] { return TextOf(id) == (shows ? shows : text); });
    }
    // Home takes a slider to its lowest position, each Right one step up.
    bool Slide(int id, int position) {
        if (!Focus(id)) return false;
        PressKey(VK_HOME);
        PressKey(VK_RIGHT, position - int(Ask(id, TBM_GETRANGEMIN)));
        return WaitUntil([&] { return Position(id) == position; });
    }
    bool Check(int id, bool checked) {
        for (int attempt = 0; attempt < 2 && Checked(id) != checked; ++attempt)
            ClickAt(Item(id)), WaitUntil([&] { return Checked(id) == checked; }, 3000);
        return Checked(id) == checked;
    }
    // Clicks OK; the warning, when one must come, is checked and answered.
    // A warning that must not come keeps the saver from ending.
    void PressOk(bool warns) {
        ClickAt(Item(IDOK));
        if (HWND box = warns ? WaitForWindow(process, kDialogClass, "Warning") : nullptr) {
            Pump(100);
            EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), "Color depths less than 15bpp aren't recommended for HiColor mode");
            EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
            EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
            EXPECT_FALSE(ReadValue(kSettingsKey, "Stretch", nullptr, nullptr, nullptr)) << "saved before the answer";
            WaitUntil([&] { return GetForegroundWindow() == box; }, 3000);
            PressKey(VK_RETURN);
        } else if (warns) {
            ADD_FAILURE() << "no warning";
        }
        ExpectEndedCleanly(process);
    }
    // Everything the dialog shows in one line: the texts, the boxes and the
    // slider positions.
    std::string Shows() const {
        std::string shows;
        for (int id : {kWidth, kHeight, kBitDepth, kXScale, kYScale, kImageFile}) shows += TextOf(id) + "|";
        for (int id : {kChangeMode, kWarpy, kHiColor}) shows += Checked(id) ? "1|" : "0|";
        for (int id : {kBlur, kRotAmplitude, kRotFrequency, kZoomAmplitude, kZoomFrequency})
            shows += std::to_string(Position(id)) + "|";
        return shows;
    }

    Process process;
    HWND dialog = nullptr;
};

class Dialog : public ::testing::Test {
protected:
    void SetUp() override { DeleteKey(kSettingsKey); }
    void TearDown() override { DeleteKey(kSettingsKey); }
};

bool KeyExists() {
    HKEY key = nullptr;
    return RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS && !RegCloseKey(key);
}

// ---- What the dialog shows and stores ------------------------------------------

// Defaults, and then every field away from its default so that a control wired
// to the wrong value shows it; OK on the untouched dialog stores what it shows
// (1.0 is not on the motion sliders: it shows at 1.1 and is saved as 1.1).
TEST_F(Dialog, ControlsShowTheStoredSettingsAndOkStoresThem) {
    Settings stored, saved;
    saved.stretch = 0;
    saved.rot1 = saved.rot2 = saved.zoom1 = saved.zoom2 = 1.1;
    for (const char* shows : {"320|240||1.00|1.00||1|0|1|3|8|8|8|8|",
                              "640|480|16|2.50|-0.75|C:\\pictures\\tiles.bmp|1|1|0|4|4|11|14|1|"}) {
        SCOPED_TRACE(shows);
        DialogRun run;
        ASSERT_TRUE(run.Open());
        EXPECT_EQ(run.Shows(), shows);
        EXPECT_EQ(KeyExists(), shows[0] == '6') << "opening alone wrote the key";
        // The dialog procedure answers WM_INITDIALOG with FALSE: the platform
        // sets no focus of its own.
        DWORD_PTR answer = 1;
        SendMessageTimeoutA(run.dialog, WM_INITDIALOG, 0, 0, SMTO_ABORTIFHUNG, 3000, &answer);
        EXPECT_EQ(answer, 0u);
        run.PressOk(false);
        EXPECT_EQ(Describe(ReadSettings()), Describe(saved));
        stored.imageFile = "C:\\pictures\\tiles.bmp";
        stored.screenWidth = 640, stored.screenHeight = 480, stored.stretch = 16, stored.numBuf = 4;
        stored.useHiColor = 0, stored.warpy = 1, stored.xScale = 2.5, stored.yScale = -0.75;
        stored.rot1 = 0.3, stored.rot2 = 2.0, stored.zoom1 = 7.0, stored.zoom2 = 0.05;
        WriteSettings(saved = stored);
    }
}

TEST_F(Dialog, EditedControlsAreStored) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kWidth, "322"));  // rounded down to a multiple of 4
    ASSERT_TRUE(run.Type(kHeight, "xyz", ""));  // a number field keeps no letters: the fallback
    ASSERT_TRUE(run.Type(kBitDepth, "8"));
    ASSERT_TRUE(run.Check(kWarpy, true));
    const std::string longName = "C:\\" + std::string(400, 'a') + ".bmp";  // too long to type in good time
    SendMessageA(run.Item(kImageFile), WM_SETTEXT, 0, LPARAM(longName.c_str()));
    ASSERT_TRUE(run.Type(kXScale, "2.5x"));
    ASSERT_TRUE(run.Slide(kBlur, 5));
    ASSERT_TRUE(run.Slide(kRotAmplitude, 15));
    ASSERT_TRUE(run.Slide(kZoomFrequency, 0));
    run.PressOk(true);  // a depth below 15 with HiColor Blur warns, then saves
    Settings saved;
    saved.imageFile = longName.substr(0, 298);  // the field is read with room for 298 and the terminator
    saved.stretch = 8, saved.warpy = 1, saved.xScale = 2.5, saved.numBuf = 5;
    saved.rot1 = 10.0, saved.zoom2 = 0.0, saved.rot2 = saved.zoom1 = 1.1;
    EXPECT_EQ(Describe(ReadSettings()), Describe(saved));
}

// ---- Browse ------------------------------------------------------------------------

struct BrowseCase {
    const char* name;
    std::string typed;   // into the chooser's name box
    std::string result;  // what the field shows then; empty: unchanged
};

class Browse : public Dialog, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(Browse, ChooserFillsTheFieldOnlyWithAnExistingFile) {
    const BrowseCase& c = GetParam();
    // Wine's chooser asks that the name as typed exists before it adds the
    // extension, and keeps the name with the extension when that exists too.
    CopyFileA(WriteTexture().c_str(), Artifact("texture").c_str(), FALSE);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(run.Type(kImageFile, "C:\\before.bmp"));
    ClickAt(run.Item(kBrowse));
    HWND chooser = WaitForWindow(run.process, kDialogClass, "Select BMP File");
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), run.dialog);
    HWND name = GetDlgItem(chooser, 0x47c);  // the explorer-style name box
    ASSERT_NE(name, nullptr);
    // The chooser opens with the field's name, and the three filters, every
    // picture format first.
    EXPECT_EQ(Text(name), "before.bmp");
    HWND types = GetDlgItem(chooser, 0x470);
    std::string filters;
    wchar_t filter[64];  // the chooser's box holds wide text
    for (LRESULT i = 0; i < SendMessageW(types, CB_GETCOUNT, 0, 0); ++i)
        if (SendMessageW(types, CB_GETLBTEXTLEN, i, 0) < 64 && SendMessageW(types, CB_GETLBTEXT, i, LPARAM(filter)) > 0)
            for (const wchar_t* c = filter; ; ++c) {
                filters += *c ? char(*c) : '|';
                if (!*c) break;
            }
    EXPECT_EQ(filters, "Pictures (*.bmp;*.png;*.jpg;*.jpeg)|Bitmaps (*.bmp)|All files (*.*)|");
    EXPECT_EQ(SendMessageA(types, CB_GETCURSEL, 0, 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == chooser && FocusOf(chooser) != nullptr; }));
    SendMessageA(name, WM_SETTEXT, 0, LPARAM(""));
    TypeText(Artifact(c.typed));
    PressKey(VK_RETURN);
    // A name the chooser refuses brings its own box: answer it and give up.
    WaitUntil([&] { return !IsWindow(chooser) || TopLevelWindows(run.process.id(), kDialogClass).size() > 2; });
    for (HWND box : TopLevelWindows(run.process.id(), kDialogClass))
        if (box != run.dialog && box != chooser) PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (IsWindow(chooser)) Pump(300), PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }));
    EXPECT_STRCASEEQ(run.TextOf(kImageFile).c_str(), c.result.empty() ? "C:\\before.bmp" : Artifact(c.result).c_str());
    // Browse changes only the field: Cancel saves nothing of it or of the edit.
    ClickAt(run.Item(IDCANCEL));
    ExpectEndedCleanly(run.process);
    EXPECT_FALSE(KeyExists());
}

INSTANTIATE_TEST_SUITE_P(Names, Browse,
    ::testing::Values(BrowseCase{"Existing", "texture.bmp", "texture.bmp"},
                      BrowseCase{"DefaultExtension", "texture", "texture.bmp"},
                      BrowseCase{"MustExist", "absent.bmp", ""}),
    [](const ::testing::TestParamInfo<BrowseCase>& info) { return std::string(info.param.name); });

// ---- Template 101 and the string table ----------------------------------------------

struct TemplateControl {
    int id;
    const char* className;
    const char* text;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    int x, y, width, height;
};

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
    {kRotFrequency, TRACKBAR_CLASSA, "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 77, 135, 90, 11},
    {kRotAmplitude, TRACKBAR_CLASSA, "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 77, 154, 90, 11},
    {kZoomFrequency, TRACKBAR_CLASSA, "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 187, 135, 90, 11},
    {kZoomAmplitude, TRACKBAR_CLASSA, "Slider2", TBS_AUTOTICKS | WS_TABSTOP, 187, 154, 90, 11},
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
    {kBlur, TRACKBAR_CLASSA, "Slider1", TBS_AUTOTICKS | WS_TABSTOP, 167, 16, 109, 16},
    {-1, "Static", "None", SS_LEFT | WS_GROUP, 168, 36, 19, 9},
    {-1, "Static", "Some", SS_LEFT | WS_GROUP, 213, 36, 19, 9},
    {-1, "Static", "Tons", SS_LEFT | WS_GROUP, 259, 37, 19, 9},
    {kHiColor, "Button", "HiColor Blur (for 15bpp and up)", BS_AUTOCHECKBOX | WS_TABSTOP, 150, 47, 113, 10},
};

// Reads the template words: a number (0xFFFF and the number), or a text.
std::string Item(const WORD*& at) {
    static const char* const kClasses[] = {"Button", "Edit", "Static"};
    if (*at == 0xFFFF) return at += 2, at[-1] >= 0x80 && at[-1] <= 0x82 ? kClasses[at[-1] - 0x80] : std::to_string(at[-1]);
    std::string text;
    while (*at) text += char(*at++);
    return ++at, text;
}

// Template 101 word for word, as the saver's resources hold it.
TEST_F(Dialog, TemplateHoldsEveryControlAndTheStringTableTheName) {
    HMODULE resources = LoadLibraryExA(SaverPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = FindResourceA(resources, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5));
    ASSERT_NE(found, nullptr);
    const auto* header = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(resources, found)));
    EXPECT_EQ(header->style, DWORD(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(header->dwExtendedStyle, 0u);
    EXPECT_EQ(header->cx * 1000 + header->cy, 301193);
    ASSERT_EQ(header->cdit, std::size(kTemplate));
    const WORD* at = reinterpret_cast<const WORD*>(header + 1);
    EXPECT_EQ(Item(at), "");  // no menu
    EXPECT_EQ(Item(at), "");  // the default class
    EXPECT_EQ(Item(at), kCaption);
    EXPECT_EQ(*at++, 8);
    EXPECT_EQ(Item(at), "MS Sans Serif");
    for (const TemplateControl& c : kTemplate) {
        SCOPED_TRACE(std::string("control ") + (c.text ? c.text : std::to_string(c.id)));
        at = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(at) + 3) & ~uintptr_t(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(at);
        EXPECT_EQ(item->style, c.style | WS_CHILD | WS_VISIBLE) << std::hex << item->style;
        EXPECT_EQ(std::vector<int>({item->x, item->y, item->cx, item->cy, item->id}),
                  std::vector<int>({c.x, c.y, c.width, c.height, c.id & 0xFFFF}));
        at = reinterpret_cast<const WORD*>(item + 1);
        EXPECT_STRCASEEQ(Item(at).c_str(), c.className);
        EXPECT_EQ(Item(at), c.text ? c.text : "");
        at += 1 + *at / 2;  // creation data
    }
    char name[64] = "";
    LoadStringA(resources, 1, name, sizeof name);
    EXPECT_STREQ(name, "Quillbox Gyrofold") << "string 1, the saver's display name";
    FreeLibrary(resources);
}

// ---- Run modes ----------------------------------------------------------------------

struct ModeCase {
    const char* arguments;
    bool owned;  // owned by this program's window, which is in the foreground
};

class SettingsMode : public Dialog, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(SettingsMode, OpensTheDialogWithItsOwnerAndEndsWithZero) {
    const HWND owner = Owner();
    DialogRun run;
    ASSERT_TRUE(run.Open(GetParam().arguments, true));
    EXPECT_EQ(GetWindow(run.dialog, GW_OWNER), GetParam().owned ? owner : nullptr);
    EXPECT_EQ(IsWindowEnabled(owner), !GetParam().owned) << "modal over its owner";
    ClickAt(run.Item(IDCANCEL));
    ExpectEndedCleanly(run.process);
}

INSTANTIATE_TEST_SUITE_P(Arguments, SettingsMode,
    ::testing::Values(ModeCase{"/c:%OWNER%", true}, ModeCase{"-C", true}, ModeCase{"", false},
                      ModeCase{"\" x\"", false}));

TEST_F(Dialog, OwnerThatIsNoWindowShowsNothing) {
    DialogRun run;
    ASSERT_TRUE(run.process.Start(SaverPath, "/c:123456789"));
    ExpectEndedCleanly(run.process);
    EXPECT_FALSE(KeyExists());
}

// The platform refuses the dialog: a box says so, owned by the owner.
TEST_F(Dialog, RefusedDialogShowsTheLaunchFailureBox) {
    DialogRun run;
    ASSERT_TRUE(run.Open("/c:%OWNER%", false, kCaption));
    HWND box = WaitForWindow(run.process, kDialogClass, "Blah");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), Owner());
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    const std::string text = Text(GetDlgItem(box, 0xFFFF));
    int instance = 0, owner = 0, error = 0;
    EXPECT_EQ(std::sscanf(text.c_str(), "Dialog box failed: %d,%d,%d", &instance, &owner, &error), 3) << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(instance, 0);
    EXPECT_EQ(owner, int(intptr_t(Owner())));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ExpectEndedCleanly(run.process);
    EXPECT_FALSE(KeyExists());
}

}  // namespace
