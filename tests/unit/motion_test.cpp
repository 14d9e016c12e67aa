#include <gtest/gtest.h>
#include "effect/motion.h"
TEST(Motion, Placeholder) { MotionState s; AdvanceMotion(s, 1, 1, 1, 1); EXPECT_EQ(s.rotPhase, 1.04); }
