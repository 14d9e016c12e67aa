// The dialog's field rules, exhaustively, without the dialog: the motion
// slider table, the scale text both ways, the size and depth fields and the
// HiColor warning. The dialog tests above this layer take one case each.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <tuple>
#include <utility>

#include "settings/motion_sliders.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(MotionSliders, SixteenValuesAndTheirPositions)
{
    const double expected[16] = {0.0, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.9, 1.1, 1.3, 1.6, 2.0, 3.0, 5.0, 7.0, 10.0};
    for (int32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(MotionSliderValues[i], expected[i]) << i;
        EXPECT_EQ(SliderPositionFor(expected[i]), i);
    }
    // A setting, its slider position and the value saved back from there.
    const std::tuple<double, int32_t, double> cases[] = {
        {1.0, 8, 1.1},  // the default is not in the table: the lookup goes up
        {0.95, 8, 1.1},       {12.0, 15, 10.0},    {-3.0, 0, 0.0},     {0.0500001, 2, 0.1},
        {10.0000001, 15, 10.0}, {kInf, 15, 10.0}, {-kInf, 0, 0.0},    {kNaN, 0, 0.0}, {-kNaN, 0, 0.0},
    };
    for (const auto& [setting, position, savedBack] : cases) {
        EXPECT_EQ(SliderPositionFor(setting), position) << setting;
        EXPECT_EQ(MotionValueAt(SliderPositionFor(setting)), savedBack) << setting;
    }
    EXPECT_EQ(MotionValueAt(-1), 0.0);
    EXPECT_EQ(MotionValueAt(16), 10.0);
}

// "%lf" semantics, decimal only: the longest leading decimal number after
// white space, trailing text ignored, 1.0 when there is none.
TEST(ParseScaleText, ReadsTheLeadingDecimalNumberOrOne)
{
    const std::pair<const char*, double> cases[] = {
        {"2.5x", 2.5},   {"abc", 1.0},     {"", 1.0},           {"\n\v\f\r\t 8", 8.0}, {"   ", 1.0},
        {"0", 0.0},      {"-2", -2.0},     {"+7.5", 7.5},       {"1e3", 1000.0},     {"2.5e", 2.5},
        {".5", 0.5},     {"5.", 5.0},      {"-.5e-2", -0.005},  {"3.e2", 300.0},     {"x2", 1.0},
        {"-", 1.0},      {".", 1.0},       {"2e+", 2.0},        {"1e-400", 0.0},
        // Not a decimal, or no finite double: a NaN or infinite scale would
        // reach the renderer's fixed-point steps.
        {"0x10", 0.0},   {"inf", 1.0},     {"-Infinity", 1.0},  {"nan", 1.0},        {"NAN(1)", 1.0},
        {"1e999", 1.0},  {"-1e999", 1.0},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ParseScaleText(text), expected) << '"' << text << '"';
}

// "%.2f", or the shortest exponent form that reads back as the same value
// when fixed notation would not fit the 299-byte field.
TEST(FormatScaleText, TwoDecimalsOrTheShortestExactExponentForm)
{
    const std::pair<double, const char*> cases[] = {{1.0, "1.00"}, {0.333, "0.33"}, {-3.0, "-3.00"}, {12.345, "12.35"},
        {1e10, "10000000000.00"}, {1e300, "1e+300"}, {-2.5e299, "-2.5e+299"}, {2e295, "2e+295"}};
    char area[kScaleTextSize + 64];
    char* buffer = area + 32;
    for (const auto& [value, text] : cases) {
        std::memset(area, 0x5A, sizeof area);
        FormatScaleText(value, buffer, kScaleTextSize);
        EXPECT_STREQ(buffer, text);
        for (size_t i = 0; i < 32; ++i)  // guard bytes on both sides
            ASSERT_TRUE(area[i] == 0x5A && buffer[kScaleTextSize + i] == 0x5A) << i;
    }
    // 5e294 has 295 digits: with ".00" and the terminator it fills 299 bytes.
    FormatScaleText(5e294, buffer, kScaleTextSize);
    EXPECT_EQ(std::strlen(buffer), 298u);
    // Pressing OK on an untouched field keeps the value, or its two decimals.
    for (double value : {1e296, -1.7976931348623157e308, 5e294}) {
        FormatScaleText(value, buffer, kScaleTextSize);
        EXPECT_EQ(ParseScaleText(buffer), value) << buffer;
    }
    FormatScaleText(0.333, buffer, kScaleTextSize);
    EXPECT_EQ(ParseScaleText(buffer), 0.33);
    char tiny[6];
    FormatScaleText(123456.0, tiny, sizeof tiny);
    EXPECT_LT(std::strlen(tiny), sizeof tiny);
}

TEST(ScreenSizeFromField, FallbackWhenNoNumberAndAtLeast32)
{
    // The field's value, whether it holds a number, the fallback, the size.
    const std::tuple<uint32_t, bool, int32_t, int32_t> cases[] = {
        {0, true, 320, 32},     {31, true, 240, 32}, {32, true, 320, 32},
        {322, true, 320, 322},  // rounding to 320 happens in SaveSettings
        {0, false, 320, 320},   {99, false, 240, 240},
        {3000000000u, true, 320, 32},  // above INT32_MAX reads as negative
        {2147483647u, true, 320, 2147483647},
    };
    for (const auto& [value, isNumber, fallback, expected] : cases)
        EXPECT_EQ(ScreenSizeFromField(value, isNumber, fallback), expected) << value << " " << isNumber;
    // No number keeps the depth (0).
    EXPECT_TRUE(BitDepthFromField(99, false) == 0 && BitDepthFromField(0, true) == 0 && BitDepthFromField(32, true) == 32);
}

TEST(HiColorWarningNeeded, BelowFifteenBitsWithHiColorOn)
{
    // Stretch, UseHiColor, warn; Stretch 0 keeps the depth, -1 changes no mode.
    const std::tuple<int32_t, int32_t, bool> cases[] = {{8, 1, true},  {8, 0, false}, {16, 1, false},
                                                        {15, 1, false}, {14, 1, true}, {1, 1, true},
                                                        {0, 1, false},  {-1, 1, false}, {-2, 1, true}};
    for (const auto& [stretch, useHiColor, warn] : cases)
        EXPECT_EQ(HiColorWarningNeeded(stretch, useHiColor), warn) << stretch << " " << useHiColor;
}

}  // namespace
