#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/command_line.h"

namespace {

WindowHandle H(int64_t v) { return static_cast<WindowHandle>(static_cast<intptr_t>(v)); }

TEST(ParseWindowArg, ReadsDecimalByTheAtoiRules)
{
    const std::pair<const char*, int64_t> cases[] = {
        {"  \t\n1234", 1234},  {"+77", 77},  {"-5", -5} /* sign-extended like a C int */,
        {"12abc", 12},         {"", 0},      {"abc", 0},
        {"-", 0},              {"+-3", 0},   {" + 3", 0} /* no space after the sign */,
        {"0x1F", 0},           {"000123", 123}, {"2147483647", 2147483647},
        {"2147483648", -2147483647LL - 1},  // wraps like a 32-bit int
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},  // (10^20 - 1) mod 2^32
    };
    for (const auto& [text, handle] : cases) EXPECT_EQ(ParseWindowArg(text), H(handle)) << '"' << text << '"';
    EXPECT_EQ(ParseWindowArg(nullptr), 0u);
}

TEST(ParseCommandLine, PicksTheRunModeAndTheOwnerInOrder)
{
    using M = RunMode;
    using O = OwnerSource;
    const struct {
        std::vector<std::string> args;
        RunMode mode;
        OwnerSource owner;
        int64_t handle;  // read from the handle text when the owner is Text
    } cases[] = {
        {{}, M::SettingsNoOwner, O::None, 0}, {{""}, M::SettingsNoOwner, O::None, 0},
        {{" /s"}, M::SettingsNoOwner, O::None, 0}, {{"/P", "1234"}, M::Preview, O::Text, 1234},
        {{"-l", "  +8"}, M::Preview, O::Text, 8},
        {{"/p"}, M::Preview, O::Text, 0},  // no second argument: handle 0
        {{"/p:1234"}, M::FullScreen, O::None, 0}, {{"/pp", "1"}, M::FullScreen, O::None, 0},
        {{"-A", "77"}, M::PasswordChange, O::Text, 77}, {{"/a"}, M::PasswordChange, O::Text, 0},
        {{"/a:77"}, M::FullScreen, O::None, 0}, {{"/c"}, M::Settings, O::ForegroundWindow, 0},
        {{"/C", "1234"}, M::Settings, O::ForegroundWindow, 0}, {{"/C:4321"}, M::Settings, O::Text, 4321},
        {{"-cabc"}, M::Settings, O::ForegroundWindow, 0}, {{"/c:"}, M::Settings, O::Text, 0},
        {{"/S"}, M::FullScreen, O::None, 0}, {{"c"}, M::FullScreen, O::None, 0}, {{"-"}, M::FullScreen, O::None, 0},
        {{"\\c"}, M::FullScreen, O::None, 0}, {{"/x", "/c"}, M::FullScreen, O::None, 0},
        {{"\t/c"}, M::FullScreen, O::None, 0},  // only a space sends to settings
    };
    for (const auto& c : cases) {
        std::string label;
        std::vector<const char*> argv = {"gyrofold.scr"};
        for (const std::string& a : c.args) {
            label += "[" + a + "]";
            argv.push_back(a.c_str());
        }
        argv.push_back(nullptr);  // the run-time library ends the vector so
        const RunRequest r = ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
        EXPECT_TRUE(r.mode == c.mode && r.owner == c.owner) << label;
        ASSERT_NE(r.handleText, nullptr) << label;
        EXPECT_EQ(ParseWindowArg(r.handleText), H(c.handle)) << label;
    }
}

TEST(ParseCommandLine, NeverReadsPastTheArgumentCount)
{
    // Entries past argc are poisoned: a read would pick up "999" or "/a".
    const char* poisoned[] = {"gyrofold.scr", "/p", "999", "/a"};
    const RunRequest r = ParseCommandLine(2, poisoned);
    EXPECT_EQ(r.mode, RunMode::Preview);
    EXPECT_EQ(ParseWindowArg(r.handleText), 0u);
    EXPECT_EQ(ParseCommandLine(1, poisoned).mode, RunMode::SettingsNoOwner);
    EXPECT_EQ(ParseCommandLine(0, nullptr).mode, RunMode::SettingsNoOwner);
}

}  // namespace
