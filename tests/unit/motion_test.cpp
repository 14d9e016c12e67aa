#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "effect/motion.h"

namespace {

std::vector<int32_t> Steps(const FrameSteps& s) { return {s.colStepU, s.colStepV, s.rowStepU, s.rowStepV}; }

TEST(MotionModel, FirstTwoFramesOfDefaultSettings)
{
    MotionState m;
    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(m.turnAngle, 1.682941969615793);
    EXPECT_DOUBLE_EQ(m.rotPhase, 1.04);
    EXPECT_DOUBLE_EQ(m.zoom, -1.2);
    EXPECT_DOUBLE_EQ(m.zoomPhase, 0.04);
    EXPECT_EQ(Steps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0)), (std::vector<int32_t>{-62887, -1847, 1847, -62887}));
    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(m.turnAngle, 3.4077504241024696);
    EXPECT_DOUBLE_EQ(m.zoom, -1.1600106658133658);
    EXPECT_EQ(Steps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0)), (std::vector<int32_t>{-60710, -3615, 3615, -60710}));
    // Ten whole turns by the saver's own degree factor: the exact pi / 180
    // gives a sine of 0 and column V steps of 0 here.
    EXPECT_EQ(Steps(ComputeSteps(3600.0, -1.2, 256, 320, 1.0, 1.0, 0)), (std::vector<int32_t>{-62914, 3, -3, -62914}));
}

// The steps of the first default frame under other scales, warp and widths.
TEST(MotionModel, StepsOfTheFirstFrameUnderEachSetting)
{
    MotionState m;
    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    const struct {
        const char* name;
        double xScale, yScale;
        int32_t warpy, frameWidth;
        std::vector<int32_t> steps;  // colStepU, colStepV, rowStepU, rowStepV
    } cases[] = {
        {"warpy leaves the row step unnegated", 1, 1, 1, 320, {-62887, -1847, -1847, -62887}},
        {"any non-zero warpy counts", 1, 1, -7, 320, {-62887, -1847, -1847, -62887}},
        {"XScale 0", 0, 1, 0, 320, {0, -1847, 0, -62887}}, {"YScale 0", 1, 0, 0, 320, {-62887, 0, 1847, 0}},
        {"XScale -1 mirrors", -1, 1, 0, 320, {62887, -1847, -1847, -62887}},
        {"frame width 0", 1, 1, 0, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Steps(ComputeSteps(m.turnAngle, m.zoom, 256, c.frameWidth, c.xScale, c.yScale, c.warpy)), c.steps) << c.name;
}

TEST(MotionModel, FixedPointConversionTruncatesAndWraps)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> cases[] = {
        {-1847.71, -1847}, {1847.99, 1847}, {-0.999, 0}, {std::nan(""), 0}, {inf, 0}, {-inf, 0},
        {9223372036854775808.0, 0},   // 2^63 is out of range
        {-9223372036854775808.0, 0},  // -2^63 fits and has a zero low half
        {2147483648.0, std::numeric_limits<int32_t>::min()},
        {2147483653.0, -2147483643}, {4294967303.0, 7}, {4294967295.9, -1}, {-4294967297.0, -1},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(ToFixed(value), expected) << value;
}

TEST(MotionModel, AmplitudesAndFrequenciesOfZero)
{
    MotionState m;
    for (int i = 0; i < 5; ++i) AdvanceMotion(m, 1.0, 0.0, 2.0, 0.0);
    EXPECT_EQ(m.rotPhase, 1.0);  // no frequency: a constant turn and zoom
    EXPECT_NEAR(m.turnAngle, 5 * 1.682942, 1e-5);
    EXPECT_EQ(m.zoomPhase, 0.0);
    EXPECT_DOUBLE_EQ(m.zoom, -2.2);
    MotionState still;
    for (int i = 0; i < 50; ++i) AdvanceMotion(still, 0.0, 1.0, 0.0, 0.0);
    EXPECT_EQ(still.turnAngle, 0.0);  // no amplitude: never turns
    EXPECT_DOUBLE_EQ(still.zoom, -0.2);
}

TEST(MotionModel, PhasesWrapOnceAndOnlyPastThePeriod)
{
    MotionState m;
    m.zoomPhase = 6.28318, m.rotPhase = 6.29;  // the zoom phase is exactly the period: it stays
    AdvanceMotion(m, 1.0, 0.0, 1.0, 0.0);
    EXPECT_EQ(m.zoomPhase, 6.28318);
    EXPECT_DOUBLE_EQ(m.rotPhase, 6.29 - 6.28318);
    // A single subtraction, not a remainder.
    m.zoomPhase = 20.0, m.rotPhase = -0.5;
    AdvanceMotion(m, 1.0, 0.0, 1.0, 0.0);
    EXPECT_DOUBLE_EQ(m.zoomPhase, 20.0 - 6.28318);
    EXPECT_DOUBLE_EQ(m.rotPhase, -0.5 + 6.28318);
}

TEST(MotionModel, NegativeFrequencyPoisonsTheCameraForGood)
{
    MotionState m;
    AdvanceMotion(m, 1.0, -1.0, 1.0, 1.0);
    EXPECT_TRUE(std::isnan(m.rotPhase));
    EXPECT_FALSE(std::isnan(m.turnAngle));  // the sine was taken of the old phase
    for (int i = 0; i < 10; ++i) AdvanceMotion(m, 1.0, -1.0, 1.0, 1.0);
    EXPECT_TRUE(std::isnan(m.turnAngle));
    EXPECT_EQ(Steps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0)), (std::vector<int32_t>{0, 0, 0, 0}));
    MotionState z;
    AdvanceMotion(z, 1.0, 1.0, 1.0, -2.0);
    AdvanceMotion(z, 1.0, 1.0, 1.0, -2.0);
    EXPECT_TRUE(std::isnan(z.zoom));
    EXPECT_EQ(Steps(ComputeSteps(z.turnAngle, z.zoom, 256, 320, 1.0, 1.0, 0)), (std::vector<int32_t>{0, 0, 0, 0}));
}

}  // namespace
