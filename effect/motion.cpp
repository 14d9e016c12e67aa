#include "effect/motion.h"

#include <cmath>

namespace {

double WrapPhase(double phase)
{
    // One subtraction or addition per frame, not a remainder: a phase pushed far
    // out of range comes back slowly, and a NaN phase stays NaN.
    if (phase > kPhasePeriod) phase -= kPhasePeriod;
    if (phase < 0.0) phase += kPhasePeriod;
    return phase;
}

}  // namespace

void AdvanceMotion(MotionState& s, double rot1, double rot2, double zoom1, double zoom2)
{
    s.turnAngle = s.turnAngle + std::sin(s.rotPhase) * rot1 * 2.0;
    s.rotPhase = s.rotPhase + std::sqrt(rot2) * 0.04;
    s.zoom = (std::sin(s.zoomPhase) - 1.0) * zoom1 - 0.2;
    s.zoomPhase = s.zoomPhase + std::sqrt(zoom2) * 0.04;
    s.zoomPhase = WrapPhase(s.zoomPhase);
    s.rotPhase = WrapPhase(s.rotPhase);
}

int32_t ToFixed(double value)
{
    // 2^63 itself no longer fits; the hardware conversion answers INT64_MIN
    // there, whose low 32 bits are zero.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit)) return 0;
    const int64_t wide = static_cast<int64_t>(value);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

FrameSteps ComputeSteps(double turnAngle, double zoom, int32_t textureWidth, int32_t frameWidth, double xScale,
                        double yScale, int32_t warpy)
{
    const double a = turnAngle * kDegreesToRadians;
    const double c = std::cos(a) * zoom;
    const double s = std::sin(a) * zoom;
    // Only widths enter, so texels stay square whatever the two shapes.
    const double r = static_cast<double>(textureWidth) / static_cast<double>(frameWidth);
    const double kx = r / xScale;
    const double ky = r / yScale;
    FrameSteps steps;
    steps.colStepU = ToFixed(kx * c * 65536.0);
    steps.rowStepV = ToFixed(ky * c * 65536.0);
    steps.rowStepU = ToFixed(kx * s * 65536.0);
    steps.colStepV = ToFixed(ky * s * 65536.0);
    // Negating one row step makes the matrix a rotation; without it the picture
    // shears instead of turning.
    if (warpy == 0) steps.rowStepU = static_cast<int32_t>(0u - static_cast<uint32_t>(steps.rowStepU));
    return steps;
}
