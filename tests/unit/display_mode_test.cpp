// The display mode decisions: the request record, which result codes stop and
// which search, and the fallback search over the listed modes.
#include "shell/display_mode.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "settings/saver_settings.h"

namespace {

// A platform with a fixed mode list and scripted answers to change requests.
class ScriptedDisplay final : public DisplayModeDriver {
public:
    std::vector<DisplayModeEntry> modes;
    std::deque<int32_t> answers;  // one per change request; success when exhausted
    std::vector<DisplayModeRequest> requests;
    std::vector<uint32_t> listedIndexes;
    int restores = 0;

    bool ListMode(uint32_t index, DisplayModeEntry& entry) override {
        listedIndexes.push_back(index);
        if (index >= modes.size()) return false;
        entry = modes[index];
        return true;
    }
    int32_t ChangeMode(const DisplayModeRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) return kDisplayChangeSuccessful;
        const int32_t answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void RestoreDefaultMode() override { ++restores; }
};

SaverSettings Wanted(int32_t width, int32_t height, int32_t stretch) {
    SaverSettings settings;
    settings.ScreenWidth = width;
    settings.ScreenHeight = height;
    settings.Stretch = stretch;
    return settings;
}

DisplayModeEntry Mode(uint32_t width, uint32_t height, uint32_t bits = 8) {
    DisplayModeEntry entry;
    entry.width = width;
    entry.height = height;
    entry.bitsPerPel = bits;
    return entry;
}

}  // namespace

TEST(DisplayModeRequest, SizeOnlyMaskWhenStretchIsZero) {
    const DisplayModeRequest request = PrepareModeRequest(320, 240, 0);
    EXPECT_EQ(request.width, 320u);
    EXPECT_EQ(request.height, 240u);
    EXPECT_EQ(request.bitsPerPel, 0u);
    EXPECT_EQ(request.fields, 0x180000u);
}

TEST(DisplayModeRequest, DepthJoinsTheMaskForAnyOtherStretch) {
    const struct {
        int32_t stretch;
    } cases[] = {{8}, {16}, {24}, {32}, {7}};
    for (const auto& c : cases) {
        const DisplayModeRequest request = PrepareModeRequest(640, 480, c.stretch);
        EXPECT_EQ(request.bitsPerPel, static_cast<uint32_t>(c.stretch)) << c.stretch;
        EXPECT_EQ(request.fields, 0x1C0000u) << c.stretch;
    }
}

TEST(SwitchDisplayMode, StretchMinusOneCallsNothing) {
    ScriptedDisplay display;
    display.modes = {Mode(320, 240)};
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(320, 240, -1)), 0);
    EXPECT_TRUE(display.requests.empty());
    EXPECT_TRUE(display.listedIndexes.empty());
    EXPECT_EQ(display.restores, 0);
}

TEST(SwitchDisplayMode, ExactModeSucceedsFirstTryWithoutListing) {
    ScriptedDisplay display;
    display.modes = {Mode(640, 480), Mode(320, 240)};
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(320, 240, 0)), 1);
    ASSERT_EQ(display.requests.size(), 1u);
    EXPECT_EQ(display.requests[0].width, 320u);
    EXPECT_EQ(display.requests[0].height, 240u);
    EXPECT_EQ(display.requests[0].fields, 0x180000u);
    EXPECT_TRUE(display.listedIndexes.empty());
    EXPECT_EQ(display.restores, 0);
}

TEST(SwitchDisplayMode, RestartAndBadFlagsStopAtOnce) {
    for (int32_t code : {kDisplayChangeRestart, kDisplayChangeBadFlags}) {
        ScriptedDisplay display;
        display.modes = {Mode(640, 480), Mode(400, 300)};
        display.answers = {code};
        EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(300, 200, 0)), 0) << code;
        EXPECT_EQ(display.requests.size(), 1u) << code;
        EXPECT_TRUE(display.listedIndexes.empty()) << code;
    }
}

TEST(SwitchDisplayMode, EveryOtherFailureCodeSearchesAndRetries) {
    // The listed failures and codes the platform may add later all search.
    for (int32_t code : {kDisplayChangeFailed, kDisplayChangeBadMode, kDisplayChangeNotUpdated,
                         kDisplayChangeBadParam, 2, -6, 1000}) {
        ScriptedDisplay display;
        display.modes = {Mode(640, 480), Mode(400, 300)};
        display.answers = {code};
        EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(300, 200, 0)), 1) << code;
        ASSERT_EQ(display.requests.size(), 2u) << code;
        EXPECT_EQ(display.requests[1].width, 400u) << code;
        EXPECT_EQ(display.requests[1].height, 300u) << code;
    }
}

TEST(SwitchDisplayMode, RefusedSecondAttemptLeavesModeUnchanged) {
    for (int32_t code : {kDisplayChangeFailed, kDisplayChangeRestart, kDisplayChangeBadFlags}) {
        ScriptedDisplay display;
        display.modes = {Mode(640, 480, 16)};
        display.answers = {kDisplayChangeBadMode, code};
        EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(300, 200, 16)), 0) << code;
        EXPECT_EQ(display.requests.size(), 2u) << code;
    }
}

TEST(SwitchDisplayMode, SearchTakesEachStrictlySmallerModeInListOrder) {
    ScriptedDisplay display;
    // 640x480 first, then 400x300; 320x400 is skipped (not below 300 high);
    // 320x240 is taken last.
    display.modes = {Mode(640, 480), Mode(400, 300), Mode(320, 400), Mode(320, 240)};
    display.answers = {kDisplayChangeBadMode};
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(300, 200, 0)), 1);
    ASSERT_EQ(display.requests.size(), 2u);
    EXPECT_EQ(display.requests[0].width, 300u);
    EXPECT_EQ(display.requests[0].height, 200u);
    EXPECT_EQ(display.requests[1].width, 320u);
    EXPECT_EQ(display.requests[1].height, 240u);
    // Enumeration runs from 0 to the first index past the end.
    EXPECT_EQ(display.listedIndexes, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
}

TEST(FindFallbackMode, FirstQualifyingModeKeptWhenLaterOneIsWiderButFewerPixels) {
    ScriptedDisplay display;
    display.modes = {Mode(320, 400), Mode(400, 300)};
    const FallbackSize found = FindFallbackMode(display, Wanted(300, 200, 0));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.width, 320u);
    EXPECT_EQ(found.height, 400u);
}

TEST(FindFallbackMode, OrderDecidesTheResultForTheSameList) {
    // The same two modes in the other order give the other answer.
    ScriptedDisplay display;
    display.modes = {Mode(400, 300), Mode(320, 400)};
    const FallbackSize found = FindFallbackMode(display, Wanted(300, 200, 0));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.width, 400u);
    EXPECT_EQ(found.height, 300u);
}

TEST(FindFallbackMode, NothingFoundWhenAllModesAreSmaller) {
    ScriptedDisplay display;
    display.modes = {Mode(640, 480), Mode(800, 600), Mode(1024, 600), Mode(800, 768)};
    display.answers = {kDisplayChangeBadMode};
    EXPECT_FALSE(FindFallbackMode(display, Wanted(1024, 768, 0)).found);
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(1024, 768, 0)), 0);
    EXPECT_EQ(display.requests.size(), 1u);  // no second attempt
}

TEST(FindFallbackMode, EmptyListFindsNothing) {
    ScriptedDisplay display;
    EXPECT_FALSE(FindFallbackMode(display, Wanted(320, 240, 0)).found);
    EXPECT_EQ(display.listedIndexes, (std::vector<uint32_t>{0}));
}

TEST(FindFallbackMode, ExactSizeCountsAsHoldingIt) {
    ScriptedDisplay display;
    display.modes = {Mode(800, 600), Mode(320, 240), Mode(321, 241)};
    const FallbackSize found = FindFallbackMode(display, Wanted(320, 240, 0));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.width, 320u);
    EXPECT_EQ(found.height, 240u);
}

TEST(FindFallbackMode, DepthFilterSkipsOtherDepths) {
    const struct {
        const char* name;
        std::vector<DisplayModeEntry> modes;
        bool found;
        uint32_t width, height;
    } cases[] = {
        {"wanted size only at 8 bits", {Mode(320, 240, 8)}, false, 0, 0},
        {"larger 16-bit mode taken", {Mode(320, 240, 8), Mode(640, 480, 16), Mode(512, 384, 32)},
         true, 640, 480},
        {"smallest 16-bit of several",
         {Mode(800, 600, 16), Mode(320, 240, 8), Mode(400, 300, 16), Mode(320, 240, 24)},
         true, 400, 300},
    };
    for (const auto& c : cases) {
        ScriptedDisplay display;
        display.modes = c.modes;
        const FallbackSize found = FindFallbackMode(display, Wanted(320, 240, 16));
        EXPECT_EQ(found.found, c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(found.width, c.width) << c.name;
            EXPECT_EQ(found.height, c.height) << c.name;
        }
    }
}

TEST(SwitchDisplayMode, StretchDepthCarriedIntoSecondAttemptNotTheFoundModes) {
    ScriptedDisplay display;
    display.modes = {Mode(640, 480, 16)};
    display.answers = {kDisplayChangeBadMode};
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(300, 200, 16)), 1);
    ASSERT_EQ(display.requests.size(), 2u);
    EXPECT_EQ(display.requests[1].bitsPerPel, 16u);
    EXPECT_EQ(display.requests[1].fields, 0x1C0000u);
}

TEST(SwitchDisplayMode, StretchZeroAcceptsAnyDepthAndRetriesWithSizeOnly) {
    ScriptedDisplay display;
    display.modes = {Mode(800, 600, 32), Mode(400, 300, 8), Mode(640, 480, 16)};
    display.answers = {kDisplayChangeBadMode};
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(300, 200, 0)), 1);
    ASSERT_EQ(display.requests.size(), 2u);
    EXPECT_EQ(display.requests[1].width, 400u);
    EXPECT_EQ(display.requests[1].height, 300u);
    // The found mode is 8-bit, but the request still leaves depth out.
    EXPECT_EQ(display.requests[1].bitsPerPel, 0u);
    EXPECT_EQ(display.requests[1].fields, 0x180000u);
}

TEST(FindFallbackMode, NegativeWantedSizeAdmitsEveryModeAgainstUnsignedBest) {
    // Signed lower bounds: -1 is below every mode, so the smallest is found.
    ScriptedDisplay display;
    display.modes = {Mode(640, 480), Mode(320, 240), Mode(400, 200)};
    const FallbackSize found = FindFallbackMode(display, Wanted(-1, -1, 0));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.width, 320u);
    EXPECT_EQ(found.height, 240u);
}

TEST(FindFallbackMode, HugeListedSizeNeverPassesTheUnsignedBest) {
    // A width with the top bit set reads as negative against the signed lower
    // bound of a negative wanted size, yet must not win against the unsigned
    // sentinel.
    ScriptedDisplay display;
    display.modes = {Mode(0x80000000u, 0x80000000u), Mode(3000000, 100), Mode(100, 3000000)};
    EXPECT_FALSE(FindFallbackMode(display, Wanted(-5, -5, 0)).found);
}

TEST(SwitchDisplayMode, NegativeWantedSizeIsRequestedAsItsBitPattern) {
    ScriptedDisplay display;
    display.modes = {Mode(640, 480)};
    display.answers = {kDisplayChangeBadParam};
    EXPECT_EQ(SwitchDisplayModeWith(display, Wanted(-320, 240, 0)), 1);
    ASSERT_EQ(display.requests.size(), 2u);
    EXPECT_EQ(display.requests[0].width, 0xFFFFFEC0u);
    EXPECT_EQ(display.requests[1].width, 640u);
}
