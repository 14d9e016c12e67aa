#pragma once
// The persisted settings of the saver: one record, read directly by every
// subsystem. Field names are the registry value names they are stored under.

#include <cstdint>

constexpr int32_t kImageFilenameSize = 300;
// Every writer stops one byte short of the buffer, so the name stays terminated.
constexpr int32_t kImageFilenameLimit = 299;

struct SaverSettings {
    int32_t Warpy = 0;
    double XScale = 1.0;
    double YScale = 1.0;
    double Zoom1 = 1.0;
    double Zoom2 = 1.0;
    double Rot1 = 1.0;
    double Rot2 = 1.0;
    char IMGFilename[kImageFilenameSize] = {};
    int32_t Stretch = 0;
    int32_t ScreenWidth = 320;
    int32_t ScreenHeight = 240;
    int32_t NumBuf = 3;
    int32_t UseHiColor = 1;
};

// The process-wide record of the saver program. Portable code that can work on
// any record (the renderer, the loader) takes one as a parameter instead.
extern SaverSettings TheSettings;
