#pragma once
// The options of the front ends that take a command line: the X11 saver
// `gyrofold` and `gyrofold-render`. One row per option gives both parsers,
// both usage texts and the defaults; the XScreenSaver settings page and the
// manual page are checked against the same rows.
//
// To add an option: a member of CommandOptions (its initial value is the
// default) and a row in kOptionRows (command_options.cpp).

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/saver_settings.h"

// Every value a command line can set. The saver's record is the base, so a
// row that sets a saver setting takes SaverSettings' default.
struct CommandOptions : SaverSettings {
    std::string image;
    // Both: threads that draw, 0 for one per core
    int32_t threads = 0;
    // gyrofold-render
    std::string out;
    std::string format;
    int32_t frames = 1;
    // The X11 saver
    int32_t root = 0;
    int32_t windowId = 0;
    int32_t frameWidth = 0;  // 0: the window's size
    int32_t frameHeight = 0;
    int32_t lowResolution = 0;
    int32_t delay = 20000;
    int32_t fps = 0;
    int32_t duration = 0;  // seconds a folder's picture is shown; 0: the first stays
    // The options every XScreenSaver hack takes
    int32_t install = 0;
    std::string visual = "default";
    int32_t mono = 0;
    int32_t sync = 0;
    std::string display;
    std::string geometry;
    int32_t shm = 1;
};

// Who takes an option, and whether the settings page must offer it (a
// programs line option the page does not know is lost when the user saves).
enum : uint32_t { kSaverOption = 1, kRenderOption = 2, kPageOption = 4 };

enum class OptionKind {
    Switch,  // the saver: -name / -no-name; gyrofold-render: --name 0|1
    Clear,   // sets the integer it names to 0 (-window clears -root)
    Integer,
    WindowId,  // an integer, also in 0x hexadecimal as the daemon writes it
    Number,    // a finite decimal number
    Text,
};

struct OptionRow {
    const char* name;  // without dashes
    OptionKind kind;
    uint32_t takers;
    double low, high;     // Integer, Number: the values taken; Text: high is the longest length
    const char* value;    // the value's name in the usage text ("N", "FILE")
    const char* help;
    int32_t CommandOptions::*integer;
    double CommandOptions::*number;
    std::string CommandOptions::*text;
    const char* choices;  // Text: "a|b|c", the words taken (any letter case); null: any text
    const char* offName;  // Switch: the name that turns it off; null: "no-" + name
};

extern const OptionRow kOptionRows[];
extern const size_t kOptionRowCount;

// The one number reader of the command lines: plain decimal text only, all of
// it taken (no white space, hexadecimal, "inf" or "nan"), finite. With
// `integer` no fraction or exponent either. Subnormal values are kept.
bool ParseNumber(const char* text, bool integer, double& value);

// The row a command-line word names, or null. `program` is kSaverOption or
// kRenderOption.
const OptionRow* FindOption(const std::string& word, uint32_t program, bool* negated);

// The default of a row as the usage text and the pages show it ("3", "1",
// "on", "default"); empty when it has none.
std::string DefaultText(const OptionRow& row);

// "-delay: expected an integer from 0 to 2147483647, got \"abc\"".
std::string BadValueText(const std::string& option, const std::string& expected, const std::string& value);

enum class ParseOutcome { Run, Help, Refused };

// Reads argv[1..] into `out` (which starts at the defaults). The saver takes
// one or two dashes, gyrofold-render two. On a refusal `error` is one line
// naming the option and the value.
ParseOutcome ReadOptions(int argc, const char* const* argv, uint32_t program, CommandOptions& out,
                              std::string& error);

// The lines after the usage line: every option the program takes, its help
// and its default.
std::string OptionsHelp(uint32_t program);
