#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "settings/motion_sliders.h"

namespace {

TEST(MotionSliderTable, HoldsTheSixteenDocumentedValuesInOrder)
{
    const double expected[16] = {0.0, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.9,
                                 1.1, 1.3,  1.6, 2.0, 3.0, 5.0, 7.0, 10.0};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(MotionSliderValues[i], expected[i]) << "position " << i;
        if (i > 0) {
            EXPECT_LT(MotionSliderValues[i - 1], MotionSliderValues[i]);
        }
    }
}

TEST(MotionSliderTable, HasNoEntryForTheDefaultOne)
{
    for (double value : MotionSliderValues) EXPECT_NE(value, 1.0);
}

struct SliderCase {
    double setting;
    int32_t position;
    double savedBack;
};

class SliderRoundTrip : public ::testing::TestWithParam<SliderCase> {};

TEST_P(SliderRoundTrip, ShowsAtPositionAndSavesTableValue)
{
    const SliderCase& c = GetParam();
    const int32_t position = SliderPositionFor(c.setting);
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(MotionValueAt(position), c.savedBack);
}

INSTANTIATE_TEST_SUITE_P(DocumentedValues, SliderRoundTrip,
                         ::testing::Values(SliderCase{1.0, 8, 1.1},      // the default
                                           SliderCase{0.9, 7, 0.9},      // exact entry stays
                                           SliderCase{0.95, 8, 1.1},     // between goes up
                                           SliderCase{12.0, 15, 10.0},   // above the table
                                           SliderCase{-3.0, 0, 0.0},     // below the table
                                           SliderCase{0.0, 0, 0.0},
                                           SliderCase{0.05, 1, 0.05},
                                           SliderCase{0.0500001, 2, 0.1},
                                           SliderCase{10.0, 15, 10.0},
                                           SliderCase{10.0000001, 15, 10.0},
                                           SliderCase{2.0, 11, 2.0},
                                           SliderCase{1.1, 8, 1.1}));

TEST(SliderPositionFor, NotANumberGoesToPositionZero)
{
    EXPECT_EQ(SliderPositionFor(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(SliderPositionFor(-std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(SliderPositionFor, InfinitiesGoToTheEnds)
{
    EXPECT_EQ(SliderPositionFor(std::numeric_limits<double>::infinity()), 15);
    EXPECT_EQ(SliderPositionFor(-std::numeric_limits<double>::infinity()), 0);
}

TEST(SliderPositionFor, EveryEntryMapsToItsOwnPosition)
{
    for (int32_t i = 0; i < kMotionSliderPositions; ++i) EXPECT_EQ(SliderPositionFor(MotionSliderValues[i]), i);
}

TEST(MotionValueAt, PositionsOutsideTheRangeTakeTheNearestEnd)
{
    EXPECT_EQ(MotionValueAt(-1), 0.0);
    EXPECT_EQ(MotionValueAt(16), 10.0);
    EXPECT_EQ(MotionValueAt(1000), 10.0);
}

struct ScaleParseCase {
    const char* text;
    double expected;
};

class ScaleParse : public ::testing::TestWithParam<ScaleParseCase> {};

TEST_P(ScaleParse, ReadsLeadingNumberOrFallsBackToOne)
{
    EXPECT_EQ(ParseScaleText(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(FieldTexts, ScaleParse,
                         ::testing::Values(ScaleParseCase{"2.5x", 2.5},    // trailing text ignored
                                           ScaleParseCase{"abc", 1.0},     // letters only
                                           ScaleParseCase{"", 1.0},        // empty field
                                           ScaleParseCase{" 3", 3.0},      // leading space skipped
                                           ScaleParseCase{"\t 4.25", 4.25},
                                           ScaleParseCase{"   ", 1.0},
                                           ScaleParseCase{"0.33", 0.33},
                                           ScaleParseCase{"1.00", 1.0},
                                           ScaleParseCase{"0", 0.0},       // zero is allowed
                                           ScaleParseCase{"-2", -2.0},     // negative is allowed
                                           ScaleParseCase{"+7.5", 7.5},
                                           ScaleParseCase{"1e3", 1000.0},  // exponent
                                           ScaleParseCase{"2.5e", 2.5},
                                           ScaleParseCase{".5", 0.5},
                                           ScaleParseCase{"x2", 1.0},
                                           ScaleParseCase{"-", 1.0},
                                           ScaleParseCase{".", 1.0},
                                           ScaleParseCase{"-.5", -0.5},
                                           ScaleParseCase{"3.e2", 300.0},
                                           ScaleParseCase{"1e+", 1.0},     // "1", the bare "e+" left over
                                           ScaleParseCase{"\n\v\f\r8", 8.0},
                                           // decimal only: a NaN or infinite scale would reach the
                                           // renderer's fixed-point steps
                                           ScaleParseCase{"0x10", 0.0},
                                           ScaleParseCase{"inf", 1.0},
                                           ScaleParseCase{"-Infinity", 1.0},
                                           ScaleParseCase{"nan", 1.0},
                                           ScaleParseCase{"NAN(1)", 1.0}));

struct SizeCase {
    const char* name;
    uint32_t value;
    bool isNumber;
    int32_t fallback;
    int32_t expected;
};

class ScreenSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ScreenSize, AppliesFallbackAndMinimum)
{
    const SizeCase& c = GetParam();
    EXPECT_EQ(ScreenSizeFromField(c.value, c.isNumber, c.fallback), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Fields, ScreenSize,
                         ::testing::Values(SizeCase{"width 0", 0, true, 320, 32},
                                           SizeCase{"width 31", 31, true, 320, 32},
                                           SizeCase{"width 32", 32, true, 320, 32},
                                           // rounding to 320 happens in SaveSettings, not here
                                           SizeCase{"width 322", 322, true, 320, 322},
                                           SizeCase{"width empty", 0, false, 320, 320},
                                           SizeCase{"height empty", 0, false, 240, 240},
                                           SizeCase{"height 31", 31, true, 240, 32},
                                           SizeCase{"height 243", 243, true, 240, 243},
                                           // above INT32_MAX reads as negative, so below 32
                                           SizeCase{"width 3000000000", 3000000000u, true, 320, 32},
                                           SizeCase{"width 2147483647", 2147483647u, true, 320, 2147483647}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

TEST(BitDepthFromField, NoNumberMeansKeepTheDepth)
{
    EXPECT_EQ(BitDepthFromField(0, false), 0);
    EXPECT_EQ(BitDepthFromField(99, false), 0);
    EXPECT_EQ(BitDepthFromField(8, true), 8);
    EXPECT_EQ(BitDepthFromField(0, true), 0);
    EXPECT_EQ(BitDepthFromField(32, true), 32);
}

struct WarningCase {
    int32_t stretch;
    int32_t useHiColor;
    bool warn;
};

class HiColorWarning : public ::testing::TestWithParam<WarningCase> {};

TEST_P(HiColorWarning, FollowsTheDepthRule)
{
    const WarningCase& c = GetParam();
    EXPECT_EQ(HiColorWarningNeeded(c.stretch, c.useHiColor), c.warn)
        << "Stretch " << c.stretch << " UseHiColor " << c.useHiColor;
}

INSTANTIATE_TEST_SUITE_P(Depths, HiColorWarning,
                         ::testing::Values(WarningCase{8, 1, true},
                                           WarningCase{8, 0, false},
                                           WarningCase{16, 1, false},
                                           WarningCase{15, 1, false},
                                           WarningCase{14, 1, true},
                                           WarningCase{1, 1, true},
                                           WarningCase{0, 1, false},   // keep the current depth
                                           WarningCase{-1, 1, false},  // no mode change
                                           WarningCase{-2, 1, true},
                                           WarningCase{4, 0, false},
                                           WarningCase{32, 1, false}));

TEST(FormatScaleText, TwoDecimals)
{
    char buffer[kScaleTextSize];
    const struct {
        double value;
        const char* text;
    } cases[] = {{1.0, "1.00"}, {0.333, "0.33"}, {2.5, "2.50"}, {-3.0, "-3.00"}, {0.0, "0.00"}, {12.345, "12.35"},
                 {1e10, "10000000000.00"}};
    for (const auto& c : cases) {
        FormatScaleText(c.value, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, c.text) << c.value;
    }
}

TEST(FormatScaleText, ShownValueParsesBackToTheTwoDecimalValue)
{
    char buffer[kScaleTextSize];
    FormatScaleText(0.333, buffer, sizeof buffer);
    EXPECT_EQ(ParseScaleText(buffer), 0.33);
}

TEST(FormatScaleText, HugeValueStaysInsideTheBufferAndStillParses)
{
    // Guard bytes on both sides catch any write past the 299 bytes.
    char area[kScaleTextSize + 64];
    std::memset(area, 0x5A, sizeof area);
    char* buffer = area + 32;
    for (double value : {1e296, 1e300, -1.7976931348623157e308, 1e308}) {
        FormatScaleText(value, buffer, kScaleTextSize);
        const size_t length = std::strlen(buffer);
        EXPECT_LT(length, kScaleTextSize) << value;
        for (size_t i = 0; i < 32; ++i) {
            EXPECT_EQ(static_cast<unsigned char>(area[i]), 0x5A);
            EXPECT_EQ(static_cast<unsigned char>(buffer[kScaleTextSize + i]), 0x5A);
        }
        // Pressing OK on the untouched field keeps the stored value.
        EXPECT_EQ(ParseScaleText(buffer), value) << buffer;
    }
}

TEST(FormatScaleText, HugeValueUsesTheShortExponentForm)
{
    char buffer[kScaleTextSize];
    FormatScaleText(1e300, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "1e+300");
    FormatScaleText(-2.5e299, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "-2.5e+299");
}

TEST(FormatScaleText, LargestValueThatFitsKeepsFixedNotation)
{
    // 5e294 in fixed notation is 295 digits plus ".00": 298 characters and
    // the terminator fill the 299 bytes exactly. 2e295 is one digit too many.
    char buffer[kScaleTextSize];
    FormatScaleText(5e294, buffer, sizeof buffer);
    EXPECT_EQ(std::strlen(buffer), 298u);
    EXPECT_EQ(std::string(buffer).substr(295), ".00");
    FormatScaleText(2e295, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "2e+295");
}

TEST(FormatScaleText, TinyBufferIsStillTerminated)
{
    char buffer[6];
    std::memset(buffer, 0x5A, sizeof buffer);
    FormatScaleText(123456.0, buffer, sizeof buffer);
    EXPECT_LT(std::strlen(buffer), sizeof buffer);
}

}  // namespace
