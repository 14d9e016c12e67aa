// The display mode decisions: the request record, which result codes stop and
// which search, and the fallback search over the listed modes.
#include "shell/display_mode.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <tuple>
#include <vector>

#include "settings/saver_settings.h"

namespace {

// A platform with a fixed mode list and scripted answers to change requests.
class ScriptedDisplay final : public DisplayModeDriver {
public:
    std::vector<DisplayModeEntry> modes;
    std::deque<int32_t> answers;  // one per change request; success when exhausted
    std::vector<DisplayModeRequest> requests;
    uint32_t listed = 0;  // ListMode calls
    int restores = 0;

    bool ListMode(uint32_t index, DisplayModeEntry& entry) override
    {
        EXPECT_EQ(index, listed++);
        if (index < modes.size()) entry = modes[index];
        return index < modes.size();
    }
    int32_t ChangeMode(const DisplayModeRequest& request) override
    {
        requests.push_back(request);
        const int32_t answer = answers.empty() ? kDisplayChangeSuccessful : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    void RestoreDefaultMode() override { ++restores; }
};

SaverSettings Wanted(int32_t width, int32_t height, int32_t stretch)
{
    SaverSettings settings;
    settings.ScreenWidth = width, settings.ScreenHeight = height, settings.Stretch = stretch;
    return settings;
}

DisplayModeEntry Mode(uint32_t width, uint32_t height, uint32_t bits = 8) { return {width, height, bits}; }

// The wanted size first (a negative size travels as its bit pattern; the depth
// joins the fields unless Stretch is 0); on a result code other than restart
// and bad flags, the fallback mode with the Stretch depth rule; a second
// refusal leaves the mode as it was.
TEST(SwitchDisplayMode, RequestsTheWantedSizeThenTheFallback)
{
    const std::vector<DisplayModeEntry> modes = {Mode(640, 480, 16), Mode(400, 300, 8)};
    const struct {
        const char* name;
        SaverSettings wanted;
        std::deque<int32_t> answers;
        int32_t changed;
        std::vector<std::vector<uint32_t>> requests;  // width, height, bits, fields
        uint32_t listed;
    } cases[] = {
        {"Stretch -1 calls nothing", Wanted(320, 240, -1), {}, 0, {}, 0},
        {"exact size at once", Wanted(300, 200, 0), {}, 1, {{300, 200, 0, 0x180000}}, 0},
        {"negative size, odd depth", Wanted(-320, 240, 7), {}, 1, {{0xFFFFFEC0u, 240, 7, 0x1C0000}}, 0},
        {"restart stops", Wanted(300, 200, 0), {kDisplayChangeRestart}, 0, {{300, 200, 0, 0x180000}}, 0},
        {"bad flags stop", Wanted(300, 200, 0), {kDisplayChangeBadFlags}, 0, {{300, 200, 0, 0x180000}}, 0},
        {"bad mode searches at the Stretch depth", Wanted(300, 200, 16), {kDisplayChangeBadMode}, 1,
         {{300, 200, 16, 0x1C0000}, {640, 480, 16, 0x1C0000}}, 3},
        {"unknown code searches", Wanted(300, 200, 0), {-6}, 1, {{300, 200, 0, 0x180000}, {400, 300, 0, 0x180000}}, 3},
        {"second refusal", Wanted(300, 200, 0), {kDisplayChangeBadParam, kDisplayChangeRestart}, 0,
         {{300, 200, 0, 0x180000}, {400, 300, 0, 0x180000}}, 3},
        {"nothing large enough", Wanted(1024, 768, 0), {kDisplayChangeBadMode}, 0, {{1024, 768, 0, 0x180000}}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDisplay display;
        display.modes = modes, display.answers = c.answers;
        EXPECT_EQ(SwitchDisplayModeWith(display, c.wanted), c.changed);
        ASSERT_EQ(display.requests.size(), c.requests.size());
        for (size_t i = 0; i < c.requests.size(); ++i) {
            const DisplayModeRequest& r = display.requests[i];
            EXPECT_EQ((std::vector<uint32_t>{r.width, r.height, r.bitsPerPel, r.fields}), c.requests[i]) << i;
        }
        EXPECT_EQ(display.listed, c.listed);
        EXPECT_EQ(display.restores, 0);
    }
}

// The first mode that holds the wanted size is taken, then each later one
// strictly smaller in both dimensions; lower bounds are signed, comparisons
// with the best so far unsigned.
TEST(FindFallbackMode, TakesEachStrictlySmallerModeInListOrder)
{
    const struct {
        const char* name;
        SaverSettings wanted;
        std::vector<DisplayModeEntry> modes;
        bool found;
        uint32_t width, height;
    } cases[] = {
        {"smaller in both replaces", Wanted(300, 200, 0), {Mode(640, 480), Mode(400, 300), Mode(320, 400), Mode(320, 240)}, true, 320, 240},
        {"first kept when a later one is smaller in one side only", Wanted(300, 200, 0), {Mode(320, 400), Mode(400, 300)}, true, 320, 400},
        {"the same list the other way round", Wanted(300, 200, 0), {Mode(400, 300), Mode(320, 400)}, true, 400, 300},
        {"exact size holds it", Wanted(320, 240, 0), {Mode(800, 600), Mode(320, 240), Mode(321, 241)}, true, 320, 240},
        {"all smaller", Wanted(1024, 768, 0), {Mode(1024, 600), Mode(800, 768)}, false, 0, 0},
        {"empty list", Wanted(320, 240, 0), {}, false, 0, 0},
        {"other depths skipped", Wanted(320, 240, 16), {Mode(320, 240, 8), Mode(800, 600, 16), Mode(400, 300, 16), Mode(320, 240, 24)}, true, 400, 300},
        {"negative wanted size admits every mode", Wanted(-1, -1, 0), {Mode(640, 480), Mode(320, 240), Mode(400, 200)}, true, 320, 240},
        {"top bit set fails a signed lower bound", Wanted(-5, -5, 0), {Mode(0x80000000u, 0x80000000u), Mode(3000000, 100)}, false, 0, 0},
        // 0xFFFFFFFF passes the lowest signed bound as -1; against the best
        // it is huge, so 640 x 480 is the answer. Signed, -1 would win.
        {"unsigned against the best", Wanted(INT_MIN, INT_MIN, 0), {Mode(0xFFFFFFFFu, 0xFFFFFFFFu), Mode(640, 480)}, true, 640, 480},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDisplay display;
        display.modes = c.modes;
        const FallbackSize found = FindFallbackMode(display, c.wanted);
        EXPECT_EQ(std::tuple(found.found, found.width, found.height), std::tuple(c.found, c.width, c.height));
        EXPECT_EQ(display.listed, c.modes.size() + 1);  // the whole list, always
    }
}

}  // namespace
