// The settings over the real registry of the wine prefix, and the dialog from
// its own template with the file chooser and the message boxes replaced through
// the import table. The fallback and field rules are checked exhaustively by the
// native tests (settings_persistence_test, settings_dialog_test); here what the
// registry adds, and one case of each kind joining the dialog to them.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

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

void Put(const char* name, DWORD type, const void* data, DWORD size)
{
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, name, type, data, size), ERROR_SUCCESS);
}

// What the key holds, loaded over a scrambled record so that a value left unread shows.
SaverSettings Load()
{
    SaverSettings s;
    std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
    RegistrySettingsStore store;
    LoadSettings(s, store);
    return s;
}

class SettingsTest : public ::testing::Test {
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
        GetWindowTextA(id ? GetDlgItem(dialog, id) : dialog, text, sizeof text);
        return text;
    }
    void Press(int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // What the dialog shows: the texts, the boxes and the slider positions.
    std::string Shows()
    {
        std::string shows;
        for (int id : {IDC_SCREEN_WIDTH, IDC_SCREEN_HEIGHT, IDC_BIT_DEPTH, IDC_XSCALE, IDC_YSCALE, IDC_IMAGE_FILE})
            shows += Text(id) + "|";
        for (int id : {IDC_CHANGE_MODE, IDC_WARPY, IDC_HICOLOR}) shows += IsDlgButtonChecked(dialog, id) ? "1|" : "0|";
        for (int id : {IDC_BLUR_FRAMES, IDC_ROT_AMPLITUDE, IDC_ROT_FREQUENCY, IDC_ZOOM_AMPLITUDE, IDC_ZOOM_FREQUENCY})
            shows += std::to_string(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0)) + "|";
        return shows;
    }

    HWND dialog = nullptr;
    IatHook chooser_{"comdlg32.dll", "GetOpenFileNameA", reinterpret_cast<void*>(&Choose)};
    IatHook box_{"user32.dll", "MessageBoxA", reinterpret_cast<void*>(&Box)};
};

// SaveSettings through the registry: the key with its class text, twelve
// REG_BINARY numbers and a REG_SZ name counting its terminator; nothing
// else in the key is touched.
TEST_F(SettingsTest, RegistrySaveWritesTheKeyItsClassAndTheValueTypes)
{
    Put("SomebodyElse", REG_SZ, "stay", 5);
    SaverSettings s;
    std::strcpy(s.IMGFilename, "C:\\tile.bmp");
    RegistrySettingsStore store;
    SaveSettings(s, store);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Quillbox ScreenSavers\\Whirlpan", &key), ERROR_SUCCESS);
    char cls[32] = {};
    DWORD clsLen = sizeof cls, values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, cls, &clsLen, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(cls, "Dunno");
    EXPECT_EQ(values, 14u);  // SomebodyElse too
    const std::tuple<const char*, DWORD, DWORD> written[] = {
        {"ScreenWidth", REG_BINARY, 4}, {"Zoom2", REG_BINARY, 8}, {"IMGFilename", REG_SZ, 12}};
    for (const auto& [name, wantedType, wantedSize] : written) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS) << name;
        EXPECT_EQ(type * 1000 + size, wantedType * 1000 + wantedSize) << name;
    }
    RegCloseKey(key);
}

// Every registry type at a number's own size loads as it lies; one byte
// more or less falls back, and so does a value that is missing.
TEST_F(SettingsTest, RegistryEveryValueTypeLoadsAtItsOwnSizeOnly)
{
    const char pattern[] = "QRSTUVWXYZ";
    for (DWORD type : {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ, REG_QWORD})
        for (const char* name : {"NumBuf", "Rot1"})
            for (int delta : {-1, 0, 1}) {
                const DWORD own = name[0] == 'N' ? 4 : 8;
                SCOPED_TRACE(std::string(name) + " type " + std::to_string(type) + " size " + std::to_string(own + delta));
                RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
                Put(name, type, pattern, own + delta);
                const SaverSettings s = Load();
                int32_t numBuf = 3;
                double rot1 = 1.0;
                if (delta == 0) std::memcpy(own == 4 ? static_cast<void*>(&numBuf) : &rot1, pattern, own);
                EXPECT_EQ(s.NumBuf, numBuf);
                EXPECT_EQ(std::memcmp(&s.Rot1, &rot1, 8), 0);
                EXPECT_EQ(s.ScreenWidth, 320);
            }
    // A name of 299 bytes loads, of 300 loads empty, whatever the string type.
    for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_BINARY})
        for (DWORD size : {299u, 300u}) {
            Put("IMGFilename", type, std::string(size - 1, 'n').c_str(), size);
            EXPECT_EQ(std::strlen(Load().IMGFilename), size == 299 ? 298u : 0u) << type << " " << size;
        }
}

// A key with every field away from its default, so that a control wired to
// the wrong value shows it, and one that changes no display mode. OK on the
// untouched dialog stores what it shows (1.0 is not on the motion sliders: it
// shows at 1.1 and is saved as 1.1), and a depth typed with "Change Video
// Mode" unchecked is ignored.
TEST_F(SettingsTest, DialogControlsShowTheStoredSettingsAndOkStoresThem)
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
        RegistrySettingsStore store;
        SaverSettings stored = c.stored;
        SaveSettings(stored, store);
        Open();
        EXPECT_EQ(Shows(), c.shows);
        EXPECT_EQ(Text(0), "Quillbox Gyrofold v0.9 Setup");  // 0: the dialog's own caption
        // FALSE for WM_INITDIALOG: the platform sets no focus of its own.
        EXPECT_EQ(SettingsDialogProc(dialog, WM_INITDIALOG, 0, 0), FALSE);
        SetDlgItemTextA(dialog, IDC_BIT_DEPTH, &c.stored == &noMode ? "8" : Text(IDC_BIT_DEPTH).c_str());
        Press(IDOK);
        EXPECT_EQ(Describe(Load()), Describe(c.saved));
        EXPECT_EQ(boxes, "");
        DestroyWindow(dialog);
    }
}

// A depth below 15 with HiColor Blur warns, owned by the dialog and before
// anything is saved, and then saves.
TEST_F(SettingsTest, DialogEditedFieldsAreStoredAfterTheHiColorWarning)
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
    EXPECT_EQ(Describe(Load()), Describe(saved));
}

// Browse opens the chooser over the dialog with the field's name, and takes
// only a path that fits in 299 bytes; cancelled or refused, the field stays.
// Opening, browsing and Cancel save nothing.
TEST_F(SettingsTest, DialogBrowseFillsTheFieldOnlyWithAChosenPathThatFits)
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
    EXPECT_STREQ(asked.lpstrTitle, "Select BMP File");
    EXPECT_EQ(asked.Flags, DWORD(OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    Press(IDCANCEL);
    EXPECT_FALSE(KeyExists());
}

}  // namespace
