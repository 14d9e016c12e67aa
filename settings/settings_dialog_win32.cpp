// The settings dialog on the platform's dialog manager: template 101, loaded
// from and saved to the registry.

#include "settings/settings_dialog_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdint>
#include <cstdio>

#include "settings/motion_sliders.h"
#include "settings/resource.h"
#include "settings/saver_settings.h"
#include "settings/settings_dialog.h"
#include "settings/registry_store_win32.h"
#include "settings/settings_persistence.h"

namespace {

// Shared by the formatting and the parsing of the two scale fields.
char ScaleText[kScaleTextSize];

// Structure size of the chooser's older layout, without the extension fields
// at the end: 76 bytes in a 32-bit build. A 64-bit build's pointers make the
// same layout 136 bytes, and comdlg32 refuses any size it does not know, so
// the size comes from the layout rather than from the number.
const DWORD kOpenFileNameSize = OPENFILENAME_SIZE_VERSION_400A;
// OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY.
static_assert((OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY) == 528388, "chooser flags");
// Each text NUL-terminated; the literal's own terminator ends the list.
// Every format the saver reads first; BMP alone and everything after it.
constexpr char kBitmapFilter[] =
    "Pictures (*.bmp;*.png;*.jpg;*.jpeg)\0*.bmp;*.png;*.jpg;*.jpeg\0Bitmaps (*.bmp)\0*.bmp\0All files (*.*)\0*.*\0";

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) != 0; }

LRESULT SendToSlider(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

void SetSliderRange(HWND dialog, int id, WORD minimum, WORD maximum)
{
    SendToSlider(dialog, id, TBM_SETRANGE, TRUE, MAKELPARAM(minimum, maximum));
}

void SetSliderPosition(HWND dialog, int id, int32_t position)
{
    SendToSlider(dialog, id, TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
}

int32_t SliderPosition(HWND dialog, int id)
{
    return static_cast<int32_t>(SendToSlider(dialog, id, TBM_GETPOS, 0, 0));
}

void ShowScale(HWND dialog, int id, double scale)
{
    FormatScaleText(scale, ScaleText, sizeof ScaleText);
    SetDlgItemTextA(dialog, id, ScaleText);
}

double ReadScale(HWND dialog, int id)
{
    if (GetDlgItemTextA(dialog, id, ScaleText, sizeof ScaleText) == 0) ScaleText[0] = 0;
    return ParseScaleText(ScaleText);
}

int32_t ReadScreenSize(HWND dialog, int id, int32_t fallback)
{
    BOOL isNumber = FALSE;
    const UINT value = GetDlgItemInt(dialog, id, &isNumber, FALSE);
    return ScreenSizeFromField(value, isNumber != FALSE, fallback);
}

void InitDialog(HWND dialog)
{
    // The dialog shows what the registry holds, whatever is in memory.
    LoadSettings();
    SaverSettings& s = TheSettings;

    SetDlgItemInt(dialog, IDC_SCREEN_WIDTH, static_cast<UINT>(s.ScreenWidth), FALSE);
    SetDlgItemInt(dialog, IDC_SCREEN_HEIGHT, static_cast<UINT>(s.ScreenHeight), FALSE);
    if (s.Stretch != -1) {
        CheckDlgButton(dialog, IDC_CHANGE_MODE, BST_CHECKED);
        // 0 keeps the current depth: the field stays empty.
        if (s.Stretch != 0) SetDlgItemInt(dialog, IDC_BIT_DEPTH, static_cast<UINT>(s.Stretch), FALSE);
    }
    if (s.Warpy != 0) CheckDlgButton(dialog, IDC_WARPY, BST_CHECKED);
    if (s.UseHiColor != 0) CheckDlgButton(dialog, IDC_HICOLOR, BST_CHECKED);

    SetSliderRange(dialog, IDC_BLUR_FRAMES, 1, 5);
    // The trackbar clamps a stored count outside 1..5 to the nearest end.
    SetSliderPosition(dialog, IDC_BLUR_FRAMES, s.NumBuf);

    SetSliderRange(dialog, IDC_ROT_AMPLITUDE, 0, kMotionSliderPositions - 1);
    SetSliderRange(dialog, IDC_ROT_FREQUENCY, 0, kMotionSliderPositions - 1);
    SetSliderRange(dialog, IDC_ZOOM_AMPLITUDE, 0, kMotionSliderPositions - 1);
    SetSliderRange(dialog, IDC_ZOOM_FREQUENCY, 0, kMotionSliderPositions - 1);
    SetSliderPosition(dialog, IDC_ROT_AMPLITUDE, SliderPositionFor(s.Rot1));
    SetSliderPosition(dialog, IDC_ROT_FREQUENCY, SliderPositionFor(s.Rot2));
    SetSliderPosition(dialog, IDC_ZOOM_AMPLITUDE, SliderPositionFor(s.Zoom1));
    SetSliderPosition(dialog, IDC_ZOOM_FREQUENCY, SliderPositionFor(s.Zoom2));

    ShowScale(dialog, IDC_XSCALE, s.XScale);
    ShowScale(dialog, IDC_YSCALE, s.YScale);
    SetDlgItemTextA(dialog, IDC_IMAGE_FILE, s.IMGFilename);
}

void AcceptDialog(HWND dialog)
{
    SaverSettings& s = TheSettings;

    s.ScreenWidth = ReadScreenSize(dialog, IDC_SCREEN_WIDTH, kWidthFallback);
    s.ScreenHeight = ReadScreenSize(dialog, IDC_SCREEN_HEIGHT, kHeightFallback);
    const bool changeMode = IsChecked(dialog, IDC_CHANGE_MODE);
    s.Stretch = changeMode ? 0 : -1;
    s.UseHiColor = IsChecked(dialog, IDC_HICOLOR) ? 1 : 0;
    if (changeMode) {
        BOOL isNumber = FALSE;
        const UINT depth = GetDlgItemInt(dialog, IDC_BIT_DEPTH, &isNumber, FALSE);
        s.Stretch = BitDepthFromField(depth, isNumber != FALSE);
    }
    if (HiColorWarningNeeded(s.Stretch, s.UseHiColor))
        MessageBoxA(dialog, "Color depths less than 15bpp aren't recommended for HiColor mode", "Warning", MB_OK);
    s.Warpy = IsChecked(dialog, IDC_WARPY) ? 1 : 0;
    s.NumBuf = SliderPosition(dialog, IDC_BLUR_FRAMES);
    s.XScale = ReadScale(dialog, IDC_XSCALE);
    s.YScale = ReadScale(dialog, IDC_YSCALE);
    s.Rot1 = MotionValueAt(SliderPosition(dialog, IDC_ROT_AMPLITUDE));
    s.Rot2 = MotionValueAt(SliderPosition(dialog, IDC_ROT_FREQUENCY));
    s.Zoom1 = MotionValueAt(SliderPosition(dialog, IDC_ZOOM_AMPLITUDE));
    s.Zoom2 = MotionValueAt(SliderPosition(dialog, IDC_ZOOM_FREQUENCY));
    // 299 bytes at most, so the last byte of the name buffer stays 0.
    if (GetDlgItemTextA(dialog, IDC_IMAGE_FILE, s.IMGFilename, kImageFilenameLimit) == 0) s.IMGFilename[0] = 0;

    SaveSettings();
    EndDialog(dialog, 0);
}

void BrowseForImage(HWND dialog)
{
    char file[kImageFilenameLimit] = "";
    GetDlgItemTextA(dialog, IDC_IMAGE_FILE, file, sizeof file);

    OPENFILENAMEA chooser = {};
    chooser.lStructSize = kOpenFileNameSize;
    chooser.hwndOwner = dialog;
    chooser.lpstrFilter = kBitmapFilter;
    chooser.nFilterIndex = 0;
    chooser.lpstrFile = file;
    chooser.nMaxFile = sizeof file;
    chooser.lpstrTitle = "Select BMP File";
    chooser.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    chooser.lpstrDefExt = "bmp";
    // A cancelled chooser, or a path longer than the buffer, keeps the field.
    if (GetOpenFileNameA(&chooser)) SetDlgItemTextA(dialog, IDC_IMAGE_FILE, file);
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(dialog);
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            AcceptDialog(dialog);
            break;
        case IDCANCEL:
            // Escape and the close box arrive here too: nothing is saved.
            EndDialog(dialog, 1);
            break;
        case IDC_BROWSE:
            BrowseForImage(dialog);
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
    // FALSE for WM_INITDIALOG as well: no control gets the focus up front.
    return FALSE;
}

void RunSettingsDialog(uintptr_t instanceHandle, uintptr_t ownerWindow)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(instanceHandle);
    HWND owner = reinterpret_cast<HWND>(ownerWindow);
    const INT_PTR result =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsDialogProc, 0);
    if (result >= 0) return;
    const DWORD error = GetLastError();

    // The handles go in as the low 32 bits: a handle value fits them on
    // Windows, and %d must be given an int.
    char text[128];
    std::snprintf(text, sizeof text, "Dialog box failed: %d,%d,%d\n",
                  static_cast<int>(static_cast<intptr_t>(instanceHandle)),
                  static_cast<int>(static_cast<intptr_t>(ownerWindow)),
                  static_cast<int>(error));
    MessageBoxA(owner, text, "Blah", MB_OK);
}
