#include <gtest/gtest.h>
#include <windows.h>

#include "imaging/surface.h"

TEST(Win32Build, ScreenHasASize) { EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0); }
