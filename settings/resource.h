// Resource identifiers shared by gyrofold.rc and the code.
#pragma once

#define IDS_DESCRIPTION 1
#define IDD_SETTINGS 101
// The program icon, at the id screen savers conventionally give it.
#define IDI_GYROFOLD 100

// Controls of the settings dialog.
#define IDC_SCREEN_WIDTH 1000
#define IDC_SCREEN_HEIGHT 1002
#define IDC_CHANGE_MODE 1004
#define IDC_IMAGE_FILE 1006
#define IDC_BROWSE 1007
#define IDC_WARPY 1009
#define IDC_XSCALE 1011
#define IDC_YSCALE 1012
#define IDC_ROT_FREQUENCY 1018
#define IDC_ROT_AMPLITUDE 1019
#define IDC_ZOOM_AMPLITUDE 1020
#define IDC_ZOOM_FREQUENCY 1021
#define IDC_BIT_DEPTH 1022
#define IDC_BLUR_FRAMES 1023
#define IDC_HICOLOR 1025

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
