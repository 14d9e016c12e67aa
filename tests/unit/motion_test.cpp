#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "effect/motion.h"

namespace {

struct StepsCase {
    const char* what;
    double value;
    int32_t expected;
};

void ExpectSteps(const FrameSteps& s, int32_t colU, int32_t colV, int32_t rowU, int32_t rowV)
{
    EXPECT_EQ(s.colStepU, colU);
    EXPECT_EQ(s.colStepV, colV);
    EXPECT_EQ(s.rowStepU, rowU);
    EXPECT_EQ(s.rowStepV, rowV);
}

}  // namespace

TEST(MotionModel, FirstTwoFramesOfDefaultSettings)
{
    MotionState m;
    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(m.turnAngle, 1.682941969615793);
    EXPECT_DOUBLE_EQ(m.rotPhase, 1.04);
    EXPECT_DOUBLE_EQ(m.zoom, -1.2);
    EXPECT_DOUBLE_EQ(m.zoomPhase, 0.04);
    ExpectSteps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0), -62887, -1847, 1847, -62887);

    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(m.turnAngle, 3.4077504241024696);
    EXPECT_DOUBLE_EQ(m.zoom, -1.1600106658133658);
    ExpectSteps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0), -60710, -3615, 3615, -60710);
}

TEST(MotionModel, WarpyLeavesTheRowStepUnnegated)
{
    MotionState m;
    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    ExpectSteps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 1), -62887, -1847, -1847, -62887);
    // Any non-zero value counts as on.
    ExpectSteps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, -7), -62887, -1847, -1847, -62887);
}

TEST(MotionModel, FixedPointConversionTruncatesAndWraps)
{
    const double inf = std::numeric_limits<double>::infinity();
    const StepsCase cases[] = {
        {"truncates toward zero, negative", -1847.71, -1847},
        {"truncates toward zero, positive", 1847.99, 1847},
        {"small negative becomes zero", -0.999, 0},
        {"NaN", std::nan(""), 0},
        {"positive infinity", inf, 0},
        {"negative infinity", -inf, 0},
        {"2^63 is out of range", 9223372036854775808.0, 0},
        {"-2^63 fits and has a zero low half", -9223372036854775808.0, 0},
        {"2^31 wraps to the most negative", 2147483648.0, std::numeric_limits<int32_t>::min()},
        {"2^31 + 5 keeps the low 32 bits", 2147483653.0, -2147483643},
        {"2^32 + 7", 4294967303.0, 7},
        {"just below 2^32", 4294967295.9, -1},
        {"large negative wraps", -4294967297.0, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ToFixed(c.value), c.expected) << c.what;
}

TEST(MotionModel, ConstantRotationWithoutFrequency)
{
    MotionState m;
    for (int i = 0; i < 5; ++i) AdvanceMotion(m, 1.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(m.rotPhase, 1.0);
    EXPECT_NEAR(m.turnAngle, 5 * 1.682942, 1e-5);
}

TEST(MotionModel, NoAmplitudeNeverTurns)
{
    MotionState m;
    for (int i = 0; i < 50; ++i) {
        AdvanceMotion(m, 0.0, 1.0, 1.0, 1.0);
        const FrameSteps s = ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0);
        EXPECT_EQ(m.turnAngle, 0.0);
        EXPECT_EQ(s.colStepV, 0);
        EXPECT_EQ(s.rowStepU, 0);
    }
}

TEST(MotionModel, ZoomWithoutFrequencyIsConstant)
{
    MotionState m;
    for (int i = 0; i < 3; ++i) {
        AdvanceMotion(m, 1.0, 1.0, 2.0, 0.0);
        EXPECT_EQ(m.zoomPhase, 0.0);
        EXPECT_DOUBLE_EQ(m.zoom, -2.2);
    }
    AdvanceMotion(m, 1.0, 1.0, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(m.zoom, -0.2);
}

TEST(MotionModel, PhasesWrapOnceAndOnlyPastThePeriod)
{
    MotionState m;
    m.zoomPhase = 6.28318;  // exactly the period: stays
    m.rotPhase = 6.29;
    AdvanceMotion(m, 1.0, 0.0, 1.0, 0.0);
    EXPECT_EQ(m.zoomPhase, 6.28318);
    EXPECT_DOUBLE_EQ(m.rotPhase, 6.29 - 6.28318);

    // A single subtraction, not a remainder.
    m.zoomPhase = 20.0;
    m.rotPhase = -0.5;
    AdvanceMotion(m, 1.0, 0.0, 1.0, 0.0);
    EXPECT_DOUBLE_EQ(m.zoomPhase, 20.0 - 6.28318);
    EXPECT_DOUBLE_EQ(m.rotPhase, -0.5 + 6.28318);

    m.zoomPhase = 0.0;
    AdvanceMotion(m, 1.0, 0.0, 1.0, 0.0);
    EXPECT_EQ(m.zoomPhase, 0.0);
}

TEST(MotionModel, ScalesOfZeroAndBelow)
{
    MotionState m;
    AdvanceMotion(m, 1.0, 1.0, 1.0, 1.0);
    const FrameSteps xZero = ComputeSteps(m.turnAngle, m.zoom, 256, 320, 0.0, 1.0, 0);
    EXPECT_EQ(xZero.colStepU, 0);
    EXPECT_EQ(xZero.rowStepU, 0);
    EXPECT_EQ(xZero.colStepV, -1847);
    const FrameSteps yZero = ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 0.0, 0);
    EXPECT_EQ(yZero.colStepV, 0);
    EXPECT_EQ(yZero.rowStepV, 0);

    const FrameSteps mirrored = ComputeSteps(m.turnAngle, m.zoom, 256, 320, -1.0, 1.0, 0);
    EXPECT_EQ(mirrored.colStepU, 62887);
    EXPECT_EQ(mirrored.rowStepU, -1847);
    EXPECT_EQ(mirrored.colStepV, -1847);

    ExpectSteps(ComputeSteps(m.turnAngle, m.zoom, 256, 0, 1.0, 1.0, 0), 0, 0, 0, 0);
}

TEST(MotionModel, EqualScalesGiveARotationMatrix)
{
    MotionState m;
    for (int i = 0; i < 200; ++i) {
        AdvanceMotion(m, 3.0, 2.0, 1.6, 0.7);
        const FrameSteps s = ComputeSteps(m.turnAngle, m.zoom, 512, 640, 1.3, 1.3, 0);
        ASSERT_EQ(s.colStepU, s.rowStepV) << "frame " << i;
        ASSERT_EQ(s.rowStepU, -s.colStepV) << "frame " << i;
    }
}

TEST(MotionModel, NegativeFrequencyPoisonsTheCameraForGood)
{
    MotionState m;
    AdvanceMotion(m, 1.0, -1.0, 1.0, 1.0);
    EXPECT_TRUE(std::isnan(m.rotPhase));
    EXPECT_FALSE(std::isnan(m.turnAngle));  // the sine was taken of the old phase
    for (int i = 0; i < 10; ++i) AdvanceMotion(m, 1.0, -1.0, 1.0, 1.0);
    EXPECT_TRUE(std::isnan(m.rotPhase));
    EXPECT_TRUE(std::isnan(m.turnAngle));
    ExpectSteps(ComputeSteps(m.turnAngle, m.zoom, 256, 320, 1.0, 1.0, 0), 0, 0, 0, 0);

    MotionState z;
    AdvanceMotion(z, 1.0, 1.0, 1.0, -2.0);
    AdvanceMotion(z, 1.0, 1.0, 1.0, -2.0);
    EXPECT_TRUE(std::isnan(z.zoom));
    ExpectSteps(ComputeSteps(z.turnAngle, z.zoom, 256, 320, 1.0, 1.0, 0), 0, 0, 0, 0);
}
