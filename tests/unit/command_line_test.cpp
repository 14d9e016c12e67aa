#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/command_line.h"

namespace {

WindowHandle H(int64_t v) { return static_cast<WindowHandle>(static_cast<intptr_t>(v)); }

struct ParseCase {
    const char* text;
    int64_t handle;
};

TEST(ParseWindowArg, ReadsDecimalByTheAtoiRules)
{
    const ParseCase cases[] = {
        {"1234", 1234},
        {"  \t\n1234", 1234},       // leading white space is skipped
        {"+77", 77},
        {"-5", -5},                 // sign-extended like a C int
        {"12abc", 12},              // stops at the first non-digit
        {"12 34", 12},
        {"", 0},
        {"abc", 0},
        {"+", 0},
        {"-", 0},
        {"+-3", 0},                 // only one sign
        {"--3", 0},
        {" + 3", 0},                // no space after the sign
        {"0x1F", 0},                // decimal only
        {"000123", 123},
        {":1234", 0},
        {"2147483647", 2147483647},
        {"2147483648", -2147483647LL - 1},  // wraps like a 32-bit int
        {"4294967296", 0},
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},  // (10^20 - 1) mod 2^32
    };
    for (const ParseCase& c : cases) EXPECT_EQ(ParseWindowArg(c.text), H(c.handle)) << '"' << c.text << '"';
}

TEST(ParseWindowArg, NullTextIsZero) { EXPECT_EQ(ParseWindowArg(nullptr), 0u); }

// Builds an argument vector with the program's name first.
struct Args {
    std::vector<std::string> strings;
    std::vector<const char*> pointers;
    explicit Args(std::vector<std::string> a) : strings(std::move(a))
    {
        strings.insert(strings.begin(), "gyrofold.scr");
        for (const std::string& s : strings) pointers.push_back(s.c_str());
        // The run-time library ends the vector with a null entry.
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(strings.size()); }
    RunRequest Parse() const { return ParseCommandLine(argc(), pointers.data()); }
};

struct ModeCase {
    std::vector<std::string> args;
    RunMode mode;
    OwnerSource owner;
    const char* handleText;  // checked when owner is Text
};

TEST(ParseCommandLine, PicksTheRunModeInOrder)
{
    const ModeCase cases[] = {
        {{}, RunMode::SettingsNoOwner, OwnerSource::None, ""},
        {{""}, RunMode::SettingsNoOwner, OwnerSource::None, ""},
        {{" /s"}, RunMode::SettingsNoOwner, OwnerSource::None, ""},
        {{" "}, RunMode::SettingsNoOwner, OwnerSource::None, ""},
        {{"/p", "1234"}, RunMode::Preview, OwnerSource::Text, "1234"},
        {{"/P", "1234"}, RunMode::Preview, OwnerSource::Text, "1234"},
        {{"-p", "99"}, RunMode::Preview, OwnerSource::Text, "99"},
        {{"/l", "5"}, RunMode::Preview, OwnerSource::Text, "5"},
        {{"-L", "1234"}, RunMode::Preview, OwnerSource::Text, "1234"},
        {{"/p:1234"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"/pp", "1"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"/a", "77"}, RunMode::PasswordChange, OwnerSource::Text, "77"},
        {{"-A", "77"}, RunMode::PasswordChange, OwnerSource::Text, "77"},
        {{"/a:77"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"/c"}, RunMode::Settings, OwnerSource::ForegroundWindow, ""},
        {{"/C", "1234"}, RunMode::Settings, OwnerSource::ForegroundWindow, ""},
        {{"/c:1234"}, RunMode::Settings, OwnerSource::Text, "1234"},
        {{"/C:1234"}, RunMode::Settings, OwnerSource::Text, "1234"},
        {{"-c:0"}, RunMode::Settings, OwnerSource::Text, "0"},
        {{"-cabc"}, RunMode::Settings, OwnerSource::ForegroundWindow, ""},
        {{"/config"}, RunMode::Settings, OwnerSource::ForegroundWindow, ""},
        {{"/c:"}, RunMode::Settings, OwnerSource::Text, ""},
        {{"/s"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"/S"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"s"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"c"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"/"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"-"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"\\c"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"/x", "/c"}, RunMode::FullScreen, OwnerSource::None, ""},
        {{"\t/c"}, RunMode::FullScreen, OwnerSource::None, ""},  // only a space sends to settings
    };
    for (const ModeCase& c : cases) {
        std::string label;
        for (const std::string& a : c.args) label += "[" + a + "]";
        const Args args(c.args);  // handleText points into these strings
        const RunRequest r = args.Parse();
        EXPECT_EQ(r.mode, c.mode) << label;
        EXPECT_EQ(r.owner, c.owner) << label;
        ASSERT_NE(r.handleText, nullptr) << label;
        if (c.owner == OwnerSource::Text) {
            EXPECT_STREQ(r.handleText, c.handleText) << label;
        }
    }
}

TEST(ParseCommandLine, HandleTextReadsAsTheWindowNumber)
{
    EXPECT_EQ(ParseWindowArg(Args({"/p", "1234"}).Parse().handleText), 1234u);
    EXPECT_EQ(ParseWindowArg(Args({"/c:4321"}).Parse().handleText), 4321u);
    EXPECT_EQ(ParseWindowArg(Args({"/a", "  +8"}).Parse().handleText), 8u);
}

TEST(ParseCommandLine, SwitchWithoutSecondArgumentIsHandleZero)
{
    for (const char* sw : {"/p", "-l", "/a", "-A"}) {
        const Args args({sw});
        const RunRequest r = args.Parse();
        ASSERT_NE(r.handleText, nullptr) << sw;
        EXPECT_EQ(ParseWindowArg(r.handleText), 0u) << sw;
    }
}

TEST(ParseCommandLine, NeverReadsPastTheArgumentCount)
{
    // Entries past argc are poisoned: a read would crash or pick up "999".
    const char* poisoned[] = {"gyrofold.scr", "/p", "999", "/a"};
    RunRequest r = ParseCommandLine(2, poisoned);
    EXPECT_EQ(r.mode, RunMode::Preview);
    EXPECT_EQ(ParseWindowArg(r.handleText), 0u);

    const char* only[] = {"gyrofold.scr", "/s"};
    EXPECT_EQ(ParseCommandLine(1, only).mode, RunMode::SettingsNoOwner);
    EXPECT_EQ(ParseCommandLine(0, only).mode, RunMode::SettingsNoOwner);
    EXPECT_EQ(ParseCommandLine(0, nullptr).mode, RunMode::SettingsNoOwner);

    const char* nullSecond[] = {"gyrofold.scr", "/a", nullptr};
    r = ParseCommandLine(3, nullSecond);
    EXPECT_EQ(r.mode, RunMode::PasswordChange);
    EXPECT_EQ(ParseWindowArg(r.handleText), 0u);
}

}  // namespace
