// The settings dialog from its own template, with the file chooser replaced.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "settings/resource.h"
#include "settings/settings_dialog_win32.h"
#include "tests/win32/iat_hook.h"

namespace {

std::string chosen;  // the path the chooser answers with

// As the platform's: a path too long for the buffer fails, giving the size.
BOOL WINAPI Choose(LPOPENFILENAMEA chooser)
{
    const bool fits = chosen.size() < chooser->nMaxFile;
    if (fits) lstrcpyA(chooser->lpstrFile, chosen.c_str());
    else *reinterpret_cast<WORD*>(chooser->lpstrFile) = static_cast<WORD>(chosen.size() + 1);
    return fits;
}

TEST(SettingsDialogTest, BrowseTakesOnlyAPathThatFitsIn299Bytes)
{
    IatHook hook("comdlg32.dll", "GetOpenFileNameA", reinterpret_cast<void*>(&Choose));
    ASSERT_TRUE(hook.Installed());
    InitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                     SettingsDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    const std::string before = "C:\\before.bmp";
    const std::pair<size_t, bool> cases[] = {{298, true}, {299, false}};  // length, taken
    for (const auto& c : cases) {
        chosen = "C:\\" + std::string(c.first - 7, 'a') + ".bmp";
        SetDlgItemTextA(dialog, IDC_IMAGE_FILE, before.c_str());
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
        char field[1024] = "";
        GetDlgItemTextA(dialog, IDC_IMAGE_FILE, field, sizeof field);
        EXPECT_EQ(field, c.second ? chosen : before) << c.first;
    }
    DestroyWindow(dialog);
}

}  // namespace
