// The settings dialog from its own template, over the real registry, with the
// file chooser and the message boxes replaced through the import table. The
// field rules are checked exhaustively by the native tests (settings_dialog_test
// there); here one case of each kind shows the dialog is joined to them.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "settings/registry_store_win32.h"
#include "settings/resource.h"
#include "settings/saver_settings.h"
#include "settings/settings_dialog_win32.h"
#include "settings/settings_persistence.h"
#include "tests/win32/iat_hook.h"

namespace {

std::string chosen;        // the path the chooser answers with; empty: cancelled
OPENFILENAMEA asked;       // what the chooser was given
std::string fileAsked;     // the name it opened with
std::string boxes;         // "caption: text (owner)" of each message box
bool savedBeforeTheBox = false;

bool KeyExists()
{
    HKEY key = nullptr;
    return RegOpenKeyA(HKEY_CURRENT_USER, kSettingsKeyPath, &key) == ERROR_SUCCESS && !RegCloseKey(key);
}

// As the platform's: a path too long for the buffer fails, giving the size.
BOOL WINAPI Choose(LPOPENFILENAMEA chooser)
{
    asked = *chooser;
    fileAsked = chooser->lpstrFile;
    const bool fits = !chosen.empty() && chosen.size() < chooser->nMaxFile;
    if (fits) lstrcpyA(chooser->lpstrFile, chosen.c_str());
    else *reinterpret_cast<WORD*>(chooser->lpstrFile) = static_cast<WORD>(chosen.size() + 1);
    return fits;
}

int WINAPI Box(HWND owner, LPCSTR text, LPCSTR caption, UINT)
{
    savedBeforeTheBox = KeyExists();
    boxes += std::string(caption) + ": " + text + " (" + std::to_string(uintptr_t(owner)) + ")";
    return IDOK;
}

// Everything a SaverSettings holds, in one line.
std::string Describe(const SaverSettings& s)
{
    char text[600];
    std::snprintf(text, sizeof text, "%d x %d, Stretch %d, NumBuf %d, UseHiColor %d, Warpy %d, scale %.17g %.17g, "
                  "Rot %.17g %.17g, Zoom %.17g %.17g, \"%s\"", s.ScreenWidth, s.ScreenHeight, s.Stretch, s.NumBuf,
                  s.UseHiColor, s.Warpy, s.XScale, s.YScale, s.Rot1, s.Rot2, s.Zoom1, s.Zoom2, s.IMGFilename);
    return text;
}

std::string Stored()
{
    SaverSettings s;
    RegistrySettingsStore store;
    LoadSettings(s, store);
    return Describe(s);
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
        ASSERT_TRUE(chooser_.Installed() && box_.Installed());
        chosen.clear(), boxes.clear();
        InitCommonControls();
        TheSettings = SaverSettings{};  // as a new process has them: the dialog keeps them without a key
    }
    void TearDown() override
    {
        if (IsWindow(dialog)) DestroyWindow(dialog);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    void Open()
    {
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                    SettingsDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
    }
    std::string Text(int id)
    {
        char text[1024] = "";
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    void Press(int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    LRESULT Ask(int id, UINT message, LPARAM value = 0) { return SendDlgItemMessageA(dialog, id, message, TRUE, value); }
    // What the dialog shows: the texts, the boxes and the slider positions.
    std::string Shows()
    {
        std::string shows;
        for (int id : {IDC_SCREEN_WIDTH, IDC_SCREEN_HEIGHT, IDC_BIT_DEPTH, IDC_XSCALE, IDC_YSCALE, IDC_IMAGE_FILE})
            shows += Text(id) + "|";
        for (int id : {IDC_CHANGE_MODE, IDC_WARPY, IDC_HICOLOR}) shows += IsDlgButtonChecked(dialog, id) ? "1|" : "0|";
        for (int id : {IDC_BLUR_FRAMES, IDC_ROT_AMPLITUDE, IDC_ROT_FREQUENCY, IDC_ZOOM_AMPLITUDE, IDC_ZOOM_FREQUENCY})
            shows += std::to_string(Ask(id, TBM_GETPOS)) + "|";
        return shows;
    }

    HWND dialog = nullptr;
    IatHook chooser_{"comdlg32.dll", "GetOpenFileNameA", reinterpret_cast<void*>(&Choose)};
    IatHook box_{"user32.dll", "MessageBoxA", reinterpret_cast<void*>(&Box)};
};

// A key with every field away from its default, so that a control wired to
// the wrong value shows it, and one that changes no display mode. OK on the
// untouched dialog stores what it shows (1.0 is not on the motion sliders: it
// shows at 1.1 and is saved as 1.1), and a depth typed with "Change Video
// Mode" unchecked is ignored.
TEST_F(SettingsDialogTest, ControlsShowTheStoredSettingsAndOkStoresThem)
{
    SaverSettings set, noMode;
    set.ScreenWidth = 640, set.ScreenHeight = 480, set.Stretch = 16, set.NumBuf = 4, set.UseHiColor = 0, set.Warpy = 1;
    set.XScale = 2.5, set.YScale = -0.75, set.Rot1 = 0.3, set.Rot2 = 2.0, set.Zoom1 = 7.0, set.Zoom2 = 0.05;
    std::snprintf(set.IMGFilename, sizeof set.IMGFilename, "C:\\pictures\\tiles.bmp");
    noMode.Stretch = -1;
    SaverSettings savedNoMode = noMode;
    savedNoMode.Rot1 = savedNoMode.Rot2 = savedNoMode.Zoom1 = savedNoMode.Zoom2 = 1.1;
    const struct {
        const SaverSettings& stored;
        const char* shows;
        const SaverSettings& saved;
    } cases[] = {
        {set, "640|480|16|2.50|-0.75|C:\\pictures\\tiles.bmp|1|1|0|4|4|11|14|1|", set},
        {noMode, "320|240||1.00|1.00||0|0|1|3|8|8|8|8|", savedNoMode},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shows);
        TheSettings = SaverSettings{};
        RegistrySettingsStore store;
        SaverSettings stored = c.stored;
        SaveSettings(stored, store);
        Open();
        EXPECT_EQ(Shows(), c.shows);
        // FALSE for WM_INITDIALOG: the platform sets no focus of its own.
        EXPECT_EQ(SettingsDialogProc(dialog, WM_INITDIALOG, 0, 0), FALSE);
        SetDlgItemTextA(dialog, IDC_BIT_DEPTH, &c.stored == &noMode ? "8" : Text(IDC_BIT_DEPTH).c_str());
        Press(IDOK);
        EXPECT_EQ(Stored(), Describe(c.saved));
        EXPECT_EQ(boxes, "");
        DestroyWindow(dialog);
    }
}

// A depth below 15 with HiColor Blur warns, owned by the dialog and before
// anything is saved, and then saves.
TEST_F(SettingsDialogTest, EditedFieldsAreStoredAfterTheHiColorWarning)
{
    Open();
    SetDlgItemTextA(dialog, IDC_SCREEN_HEIGHT, "");  // no number: the fallback
    SetDlgItemTextA(dialog, IDC_BIT_DEPTH, "8");
    const std::string longName = "C:\\" + std::string(400, 'a') + ".bmp";
    SetDlgItemTextA(dialog, IDC_IMAGE_FILE, longName.c_str());
    Press(IDOK);
    EXPECT_EQ(boxes, "Warning: Color depths less than 15bpp aren't recommended for HiColor mode (" +
                         std::to_string(uintptr_t(dialog)) + ")");
    EXPECT_FALSE(savedBeforeTheBox);
    SaverSettings saved;
    std::snprintf(saved.IMGFilename, sizeof saved.IMGFilename, "%s", longName.substr(0, 298).c_str());
    saved.Stretch = 8;
    saved.Rot1 = saved.Rot2 = saved.Zoom1 = saved.Zoom2 = 1.1;
    EXPECT_EQ(Stored(), Describe(saved));
}

// Browse opens the chooser over the dialog with the field's name, and takes
// only a path that fits in 299 bytes; cancelled or refused, the field stays.
// Opening, browsing and Cancel save nothing.
TEST_F(SettingsDialogTest, BrowseFillsTheFieldOnlyWithAChosenPathThatFits)
{
    Open();
    const std::string before = "C:\\before.bmp";
    for (const size_t length : {size_t{298}, size_t{299}, size_t{0}}) {
        chosen = length ? "C:\\" + std::string(length - 7, 'a') + ".bmp" : "";
        SetDlgItemTextA(dialog, IDC_IMAGE_FILE, before.c_str());
        Press(IDC_BROWSE);
        EXPECT_EQ(Text(IDC_IMAGE_FILE), length == 298 ? chosen : before) << length;
    }
    EXPECT_EQ(asked.hwndOwner, dialog);
    EXPECT_EQ(fileAsked, before);
    std::string filters;  // each text up to the empty one, every picture format first
    for (const char* text = asked.lpstrFilter; *text; text += std::strlen(text) + 1) filters += std::string(text) + "|";
    EXPECT_EQ(filters, "Pictures (*.bmp;*.png;*.jpg;*.jpeg)|*.bmp;*.png;*.jpg;*.jpeg|Bitmaps (*.bmp)|*.bmp|All files (*.*)|*.*|");
    EXPECT_STREQ(asked.lpstrDefExt, "bmp");
    EXPECT_EQ(asked.Flags, DWORD(OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    EXPECT_EQ(asked.nMaxFile, 299u);
    Press(IDCANCEL);
    EXPECT_FALSE(KeyExists());
}

}  // namespace
