// The settings dialog from its own template, with the file chooser replaced
// through the import table (iat_hook.h).

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "settings/resource.h"
#include "settings/settings_dialog_win32.h"
#include "tests/win32/iat_hook.h"

namespace {

std::string chosen;  // the path the chooser answers with

// Answers as the platform's chooser does: a path that does not fit the
// caller's buffer with its terminator fails, leaving the size it needs in the
// first two bytes.
BOOL WINAPI Choose(LPOPENFILENAMEA chooser)
{
    if (chosen.size() >= chooser->nMaxFile) {
        *reinterpret_cast<WORD*>(chooser->lpstrFile) = static_cast<WORD>(chosen.size() + 1);
        return FALSE;
    }
    lstrcpyA(chooser->lpstrFile, chosen.c_str());
    return TRUE;
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
