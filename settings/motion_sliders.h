#pragma once
// The settings dialog's rules that need no window system: the table the four
// motion sliders move through, and how the fields' texts become settings.

#include <cstddef>
#include <cstdint>

#include "settings/saver_settings.h"

constexpr int32_t kMotionSliderPositions = 16;

// Slider position -> motion setting (Rot1, Rot2, Zoom1, Zoom2). Strictly
// ascending; 1.0, the default, is deliberately not among them, so a default
// shows between 0.9 and 1.1 and is saved as 1.1.
extern const double MotionSliderValues[kMotionSliderPositions];

// The position of the first table value at or above `value`; 15 above 10.0.
// NaN is never greater than an entry, so it lands on 0.
int32_t SliderPositionFor(double value);

// The setting a motion slider at `position` stands for; positions outside
// 0..15 are taken at the nearest end, as the trackbar itself would.
double MotionValueAt(int32_t position);

// Width and height fields. `value` is what the unsigned read gave, `isNumber`
// whether the text was a number at all. The frame needs at least 32 pixels;
// the comparison is on the value read as signed, so 3000000000 becomes 32.
constexpr int32_t kMinimumScreenSize = 32;
constexpr int32_t kWidthFallback = SaverSettings{}.ScreenWidth;
constexpr int32_t kHeightFallback = SaverSettings{}.ScreenHeight;
int32_t ScreenSizeFromField(uint32_t value, bool isNumber, int32_t fallback);

// Bit depth field, read only while "Change Video Mode" is checked: no number
// means 0, switch the resolution and keep the depth.
int32_t BitDepthFromField(uint32_t value, bool isNumber);

// An 8-bit desktop cannot show 5-5-5 pixels well: the user is told, but the
// settings are saved as entered.
bool HiColorWarningNeeded(int32_t stretch, int32_t useHiColor);

// Scale fields: one text buffer of this many bytes, terminator included.
constexpr size_t kScaleTextSize = 299;

// Parses a scale field like "%lf" (leading white space skipped, trailing
// text ignored), but decimal numbers only: no "inf", "nan" or hexadecimal.
// Anything that does not start with a decimal number gives 1.0.
double ParseScaleText(const char* text);

// Writes `value` with two decimals into `buffer` (of `size` bytes). A value
// whose fixed-point text would not fit (about 1e296 and up, which the
// registry can hold) is written in exponent form instead, with the fewest
// digits that read back as exactly the same value: a cut-off text would
// silently lose most of its digits. The text always ends within `size`.
void FormatScaleText(double value, char* buffer, size_t size);
