#include "settings/motion_sliders.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

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

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the decimal number at the start of `text`: optional sign,
// digits with an optional fraction (at least one digit in all), and an
// exponent only when it has digits. 0 when there is none.
size_t DecimalNumberLength(const char* text)
{
    size_t at = 0;
    if (text[at] == '+' || text[at] == '-') ++at;
    size_t digits = 0;
    while (IsDigit(text[at])) ++at, ++digits;
    if (text[at] == '.') {
        ++at;
        while (IsDigit(text[at])) ++at, ++digits;
    }
    if (digits == 0) return 0;
    if (text[at] == 'e' || text[at] == 'E') {
        size_t exponent = at + 1;
        if (text[exponent] == '+' || text[exponent] == '-') ++exponent;
        if (IsDigit(text[exponent])) {
            while (IsDigit(text[exponent])) ++exponent;
            at = exponent;
        }
    }
    return at;
}

}  // namespace

double ParseScaleText(const char* text)
{
    // Decimal numbers only. A C99 "%lf" also takes "inf", "nan" and
    // hexadecimal ("0x10" is 16 there, 0 here), and a NaN or infinite scale
    // would reach the renderer's fixed-point steps; so the number is cut out
    // here and only that is converted.
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const size_t length = DecimalNumberLength(text);
    if (length == 0) return 1.0;
    // A decimal too large for a double ("1e999") is no usable number either.
    const double value = std::strtod(std::string(text, length).c_str(), nullptr);
    return std::isfinite(value) ? value : 1.0;
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
