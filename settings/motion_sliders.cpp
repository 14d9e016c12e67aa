#include "settings/motion_sliders.h"

#include <cstdio>
#include <cstdlib>

const double MotionSliderValues[kMotionSliderPositions] = {
    0.0, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.9, 1.1, 1.3, 1.6, 2.0, 3.0, 5.0, 7.0, 10.0,
};

int32_t SliderPositionFor(double value)
{
    int32_t position = 0;
    // "Greater than" rather than "not below": NaN fails it and stays at 0.
    while (position < kMotionSliderPositions && value > MotionSliderValues[position]) ++position;
    return position < kMotionSliderPositions ? position : kMotionSliderPositions - 1;
}

double MotionValueAt(int32_t position)
{
    if (position < 0) position = 0;
    if (position >= kMotionSliderPositions) position = kMotionSliderPositions - 1;
    return MotionSliderValues[position];
}

int32_t ScreenSizeFromField(uint32_t value, bool isNumber, int32_t fallback)
{
    if (!isNumber) return fallback;
    const int32_t size = static_cast<int32_t>(value);
    return size < kMinimumScreenSize ? kMinimumScreenSize : size;
}

int32_t BitDepthFromField(uint32_t value, bool isNumber)
{
    return isNumber ? static_cast<int32_t>(value) : 0;
}

bool HiColorWarningNeeded(int32_t stretch, int32_t useHiColor)
{
    // -1 leaves the display alone and 0 keeps the current depth: neither
    // forces a low depth on the HiColor frames.
    return stretch != -1 && stretch != 0 && stretch < 15 && useHiColor == 1;
}

double ParseScaleText(const char* text)
{
    double value = 1.0;
    if (std::sscanf(text, "%lf", &value) != 1) value = 1.0;
    return value;
}

void FormatScaleText(double value, char* buffer, size_t size)
{
    if (size == 0) return;
    const int length = std::snprintf(buffer, size, "%.2f", value);
    if (length >= 0 && static_cast<size_t>(length) < size) return;
    // Too long for fixed notation: the shortest exponent form that reads back
    // as the same value, so OK on an untouched field keeps the setting.
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buffer, size, "%.*e", digits - 1, value);
        if (std::strtod(buffer, nullptr) == value) return;
    }
}
