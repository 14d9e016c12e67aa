#pragma once
// The camera: a turn angle and a zoom that swing on two slow sine waves, and
// the four 16.16 steps with which a frame walks the texture.

#include <cstdint>

struct MotionState {
    double turnAngle = 0.0;  // degrees, never wrapped
    double zoom = 1.0;       // recomputed before every use
    double zoomPhase = 0.0;  // radians in [0, kPhasePeriod]
    double rotPhase = 1.0;   // radians in [0, kPhasePeriod]
};

struct FrameSteps {
    int32_t colStepU;
    int32_t colStepV;
    int32_t rowStepU;
    int32_t rowStepV;
};

// The phases wrap at six significant digits of 2 pi, and degrees become
// radians with a factor derived from that same period; the animation's look
// depends on these exact values, so they are not the precise constants.
constexpr double kPhasePeriod = 6.28318;
constexpr double kDegreesToRadians = 0.01745327777777778;

void AdvanceMotion(MotionState& state, double rot1, double rot2, double zoom1, double zoom2);

FrameSteps ComputeSteps(double turnAngle, double zoom, int32_t textureWidth, int32_t frameWidth, double xScale,
                        double yScale, int32_t warpy);

// Truncates toward zero to 64 bits and keeps the low 32. NaN, infinities and
// magnitudes of 2^63 or more give the 64-bit "invalid" value, whose low half is
// zero, so they become 0; other large values wrap.
int32_t ToFixed(double value);
