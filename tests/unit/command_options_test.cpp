// The option table of the X11 saver and gyrofold-render: the one number
// reader, the parser's refusals, and the XScreenSaver settings page and the
// manual page held against the rows.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "settings/command_options.h"
#include "settings/motion_sliders.h"

namespace {

TEST(ParseNumber, TakesPlainDecimalsOnly)
{
    struct Case {
        const char* text;
        bool integer, taken;
        double value;
    };
    const Case cases[] = {
        {"12", true, true, 12},        {"-2147483648", true, true, -2147483648.0}, {"+7", true, true, 7},
        {"1.5", false, true, 1.5},     {".5", false, true, 0.5},     {"5.", false, true, 5},
        {"-2e3", false, true, -2000},  {"5e-324", false, true, 5e-324}, {"1E+2", false, true, 100},
        {"1.5", true, false, 0},       {"1e2", true, false, 0},      {"0x10", true, false, 0},
        {"0x10", false, false, 0},     {"nan", false, false, 0},     {"inf", false, false, 0},
        {"-infinity", false, false, 0}, {"1e999", false, false, 0},  {" 1", false, false, 0},
        {"1 ", false, false, 0},       {"", false, false, 0},        {"-", false, false, 0},
        {".", false, false, 0},        {"1e", false, false, 0},      {"12a", true, false, 0},
    };
    for (const Case& c : cases) {
        double v = 0;
        EXPECT_EQ(ParseNumber(c.text, c.integer, v), c.taken) << '"' << c.text << '"' << c.integer;
        EXPECT_EQ(c.taken ? v : 0.0, c.value) << c.text;
    }
}

std::string Read(uint32_t program, std::vector<const char*> args, CommandOptions& o)
{
    args.insert(args.begin(), "prog");
    std::string error;
    const ParseOutcome outcome = ReadOptions(static_cast<int>(args.size()), args.data(), program, o, error);
    return outcome == ParseOutcome::Refused ? error : outcome == ParseOutcome::Help ? "help" : "";
}

TEST(ReadOptions, RefusesWithOneLineNamingTheOptionAndTheValue)
{
    const std::pair<std::vector<const char*>, std::string> saver[] = {
        {{"-delay", "abc"}, "-delay: expected an integer from 0 to 2147483647, got \"abc\""},
        {{"--rot1", "nan"}, "--rot1: expected a finite decimal number, got \"nan\""},
        {{"-delay", "-1"}, "-delay: expected an integer from 0 to 2147483647, got \"-1\""},
        {{"-frame-height", "8193"}, "-frame-height: expected an integer from 0 to 8192, got \"8193\""},
        {{"-window-id", "0xZZ"}, "-window-id: expected a window id (decimal or 0x hexadecimal), got \"0xZZ\""},
        {{"-image", ""}, "-image: expected 1 to 299 bytes of text, got \"\""},
        {{"-numbuf"}, "-numbuf: missing value"},
        {{"-no-numbuf"}, "unknown option \"-no-numbuf\""},
        {{"stray"}, "unexpected argument \"stray\""},
        {{"---root"}, "unknown option \"---root\""},
        {{"-rot1", "1", "-help"}, "help"},
    };
    for (const auto& [args, error] : saver) {
        CommandOptions o;
        EXPECT_EQ(Read(kSaverOption, args, o), error);
    }
    const std::pair<std::vector<const char*>, std::string> render[] = {
        {{"-numbuf", "3"}, "unknown option \"-numbuf\""},
        {{"--hicolor", "2"}, "--hicolor: expected 0 or 1, got \"2\""},
        {{"--fps", "1"}, "unknown option \"--fps\""},
        {{"--format", "png.gif"}, "--format: expected raw, bmp, png or gif, got \"png.gif\""},
    };
    for (const auto& [args, error] : render) {
        CommandOptions o;
        EXPECT_EQ(Read(kRenderOption, args, o), error);
    }
}

TEST(ReadOptions, SetsWhatItTakes)
{
    CommandOptions o;
    ASSERT_EQ(Read(kSaverOption, {"--no-hicolor", "-warpy", "-root", "-window", "-window-id", "0x1f", "-rot1", "-2.5",
                                  "-numbuf", "-9", "-image", std::string(299, 'a').c_str()}, o), "");
    EXPECT_EQ(std::tuple(o.UseHiColor, o.Warpy, o.root, o.windowId, o.Rot1, o.NumBuf),
              std::tuple(0, 1, 0, 31, -2.5, -9));
    CommandOptions r;
    ASSERT_EQ(Read(kRenderOption, {"--hicolor", "0", "--warpy", "1", "--format", "PNG", "--width", "0"}, r), "");
    EXPECT_EQ(r.UseHiColor + 2 * r.Warpy + r.ScreenWidth, 2);
    EXPECT_EQ(r.format, "PNG");
}

std::string Text(const char* path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }

// The attributes of every control of the settings page, by the option it writes.
std::map<std::string, std::map<std::string, std::string>> PageControls()
{
    const std::string page = Text(PAGE_PATH);
    std::map<std::string, std::map<std::string, std::string>> controls;
    for (size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        const std::string element = page.substr(at, page.find('>', at) - at);
        std::map<std::string, std::string> a;
        for (size_t eq = element.find("=\""); eq != std::string::npos; eq = element.find("=\"", eq + 2)) {
            const size_t name = element.find_last_of(" \n", eq) + 1;
            a[element.substr(name, eq - name)] = element.substr(eq + 2, element.find('"', eq + 2) - eq - 2);
        }
        // Every element with attributes is a control, but the root and the XML declaration.
        if (a.empty() || element.rfind("<screensaver", 0) == 0 || element.rfind("<?", 0) == 0) continue;
        const std::string arg = a.count("arg") ? a["arg"] : a.count("arg-set") ? a["arg-set"] : a["arg-unset"];
        controls[arg.substr(0, arg.find(' '))] = a;
    }
    return controls;
}

// What the page writes, the hack takes; what the hack takes of the page's
// options, the page can show and keeps on Save; its defaults are the hack's.
TEST(SettingsPage, OffersEveryPageOptionWithTheHacksRangeAndDefault)
{
    auto controls = PageControls();
    for (const auto& [arg, a] : controls) {
        bool negated = false;
        EXPECT_NE(FindOption(arg, kSaverOption, &negated), nullptr) << "the page writes " << arg;
    }
    for (size_t i = 0; i < kOptionRowCount; ++i) {
        const OptionRow& row = kOptionRows[i];
        if (!(row.takers & kPageOption)) continue;
        const std::string on = std::string("-") + row.name, off = "-no-" + std::string(row.name);
        SCOPED_TRACE(row.name);
        if (row.kind == OptionKind::Switch) {
            const bool defaultOn = DefaultText(row) == "on";
            ASSERT_TRUE(controls.count(defaultOn ? off : on));
            auto& a = controls[defaultOn ? off : on];
            EXPECT_EQ(a.count("arg-set") + a.count("arg-unset"), 1u) << "the page's default is the hack's";
            EXPECT_EQ(a.count(defaultOn ? "arg-unset" : "arg-set"), 1u);
            continue;
        }
        ASSERT_TRUE(controls.count(on));
        auto& a = controls[on];
        EXPECT_EQ(a["arg"], on + " %");
        if (row.kind == OptionKind::Text) continue;
        const double low = std::stod(a["low"]), high = std::stod(a["high"]), value = std::stod(a["default"]);
        EXPECT_GE(low, row.low);
        EXPECT_LE(high, row.high);
        EXPECT_EQ(value, std::stod(DefaultText(row)));
        if (row.kind != OptionKind::Number) continue;
        // Spin boxes show no decimals and a slider without a decimal point
        // writes whole numbers.
        EXPECT_EQ(a["type"], "slider");
        EXPECT_NE((a["low"] + a["high"] + a["default"]).find('.'), std::string::npos);
        if (row.name[0] == 'r' || row.name[0] == 'z') {
            EXPECT_TRUE(low <= MotionSliderValues[0] && high >= MotionSliderValues[kMotionSliderPositions - 1]);
        }
    }
}

// Every option of the hack has an entry, and the entry states its default.
TEST(ManualPage, DescribesEveryOptionWithItsDefault)
{
    const std::string page = Text(MANUAL_PATH);
    for (size_t i = 0; i < kOptionRowCount; ++i) {
        const OptionRow& row = kOptionRows[i];
        if (!(row.takers & kSaverOption)) continue;
        std::string name = row.name;
        for (size_t at = 0; (at = name.find('-', at)) != std::string::npos; at += 2) name.insert(at, "\\");
        const std::string heading = "\n.B \\-" + name;
        size_t entry = page.find(heading);
        while (entry != std::string::npos && page[entry + heading.size()] != ' ' && page[entry + heading.size()] != '\n')
            entry = page.find(heading, entry + 1);
        ASSERT_NE(entry, std::string::npos) << row.name;
        const std::string text = page.substr(entry, page.find("\n.TP", entry + 1) - entry);
        const std::string shown = DefaultText(row);
        EXPECT_TRUE(shown.empty() || text.find("(default " + shown + ")") != std::string::npos) << text;
    }
}

}  // namespace
