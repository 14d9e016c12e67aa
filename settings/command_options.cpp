#include "settings/command_options.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using O = CommandOptions;
constexpr uint32_t kSaver = kSaverOption, kRender = kRenderOption, kBoth = kSaverOption | kRenderOption;
constexpr uint32_t kPage = kPageOption;
constexpr double kAnyInt32Low = INT32_MIN, kAnyInt32High = INT32_MAX;
// Eight history frames of 8192 x 8192 16-bit pixels are already a gigabyte.
constexpr double kMaxFrameSide = 8192;

constexpr OptionRow Switch(const char* name, uint32_t takers, int32_t O::*field, const char* help,
                           const char* offName = nullptr)
{
    return {name, OptionKind::Switch, takers, 0, 1, "0|1", help, field, nullptr, nullptr, nullptr, offName};
}
constexpr OptionRow Clear(const char* name, uint32_t takers, int32_t O::*field, const char* help)
{
    return {name, OptionKind::Clear, takers, 0, 0, "", help, field, nullptr, nullptr, nullptr, nullptr};
}
constexpr OptionRow Integer(const char* name, uint32_t takers, int32_t O::*field, double low, double high,
                            const char* value, const char* help, OptionKind kind = OptionKind::Integer)
{
    return {name, kind, takers, low, high, value, help, field, nullptr, nullptr, nullptr, nullptr};
}
constexpr OptionRow Number(const char* name, uint32_t takers, double O::*field, const char* value, const char* help)
{
    return {name, OptionKind::Number, takers, -DBL_MAX, DBL_MAX, value, help, nullptr, field, nullptr, nullptr, nullptr};
}
constexpr OptionRow Text(const char* name, uint32_t takers, std::string O::*field, double longest, const char* value,
                         const char* help, const char* choices = nullptr)
{
    return {name, OptionKind::Text, takers, 1, longest, value, help, nullptr, nullptr, field, choices, nullptr};
}

}  // namespace

// In the order of the usage texts.
const OptionRow kOptionRows[] = {
    Switch("root", kSaver, &O::root, "draw on the root window, or on $XSCREENSAVER_WINDOW"),
    Clear("window", kSaver, &O::root, "draw in a window of its own (the default)"),
    Integer("window-id", kSaver, &O::windowId, 1, 0x1FFFFFFF, "ID", "draw into this window (decimal or 0x hex)",
            OptionKind::WindowId),
    Text("image", kBoth | kPage, &O::image, kImageFilenameLimit, "FILE",
         "the picture tiled across the plane, BMP, PNG or JPEG (the saver: the sample picture when not given; "
         "or a folder of pictures, one chosen at random)"),
    Integer("duration", kSaver | kPage, &O::duration, 0, 86400, "SECONDS",
            "with a folder for -image: seconds before the next picture (0: keep the first)"),
    Text("out", kRender, &O::out, 4096, "PATH",
         "a name with a number pattern (frame-%04d.png) writes every frame; a plain name writes the last "
         "frame, or for gif all frames as one animation"),
    Text("format", kRender, &O::format, 3, "FORMAT", "raw, bmp, png or gif (default: from the --out name)",
         "raw|bmp|png|gif"),
    Integer("frames", kRender, &O::frames, 1, 1000000, "N",
            "frames to render; frame k is the picture after k camera steps"),
    Integer("width", kRender, &O::ScreenWidth, 0, kMaxFrameSide, "W", "frame width (0: an empty frame)"),
    Integer("height", kRender, &O::ScreenHeight, 0, kMaxFrameSide, "H", "frame height (0: an empty frame)"),
    Switch("hicolor", kBoth | kPage, &O::UseHiColor, "16-bit 5-5-5 frames instead of the picture's 256 colours"),
    Integer("numbuf", kBoth | kPage, &O::NumBuf, kAnyInt32Low, kAnyInt32High, "N",
            "frames folded into each one, motion blur (1 or less: none; more than 8: 8)"),
    Switch("warpy", kBoth | kPage, &O::Warpy, "shear the picture instead of turning it"),
    Number("xscale", kBoth | kPage, &O::XScale, "X", "horizontal scale of the picture"),
    Number("yscale", kBoth | kPage, &O::YScale, "Y", "vertical scale of the picture"),
    Number("rot1", kBoth | kPage, &O::Rot1, "R", "turning speed"),
    Number("rot2", kBoth | kPage, &O::Rot2, "R", "how fast the turning speed swings"),
    Number("zoom1", kBoth | kPage, &O::Zoom1, "Z", "depth of the zoom"),
    Number("zoom2", kBoth | kPage, &O::Zoom2, "Z", "how fast the zoom swings"),
    Integer("frame-width", kSaver | kPage, &O::frameWidth, 0, kMaxFrameSide, "W",
            "fixed frame width, centred (0: the window's)"),
    Integer("frame-height", kSaver | kPage, &O::frameHeight, 0, kMaxFrameSide, "H",
            "fixed frame height (0: the window's)"),
    Switch("low-resolution", kSaver | kPage, &O::lowResolution,
           "the frame, 320 x 240 unless -frame-width and -frame-height say otherwise, scaled with whole pixels "
           "to fill the window, aspect kept"),
    Integer("threads", kBoth | kPage, &O::threads, 0, 16, "N",
            "threads that draw each frame (0: one per core); every count draws the same picture"),
    Integer("delay", kSaver | kPage, &O::delay, 0, kAnyInt32High, "USEC", "pause after each frame, in microseconds"),
    Switch("fps", kSaver | kPage, &O::fps, "show the frame rate in the lower-left corner"),
    // What every XScreenSaver hack takes.
    Switch("shm", kSaver, &O::shm, "put frames through shared memory when the server has MIT-SHM"),
    Switch("install", kSaver, &O::install, "a private colormap", "noinstall"),
    Text("visual", kSaver, &O::visual, 64, "VISUAL",
         "the own window's visual: default, best, TrueColor, PseudoColor, DirectColor or an ID"),
    Switch("mono", kSaver, &O::mono, "taken for XScreenSaver's sake; the picture keeps its colours"),
    Switch("sync", kSaver, &O::sync, "talk to the X server synchronously (for debugging)"),
    Text("display", kSaver, &O::display, 1024, "HOST:N", "the X server to draw on (default: $DISPLAY)"),
    Text("geometry", kSaver, &O::geometry, 64, "WxH+X+Y", "size and place of the own window"),
};
const size_t kOptionRowCount = sizeof kOptionRows / sizeof kOptionRows[0];

bool ParseNumber(const char* text, bool integer, double& value)
{
    const auto digits = [](const char*& p) {
        const char* start = p;
        while (*p >= '0' && *p <= '9') ++p;
        return p != start;
    };
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    bool any = digits(p);
    if (!integer && *p == '.') any = digits(++p) || any;
    if (!any) return false;
    if (!integer && (*p == 'e' || *p == 'E')) {
        if (*++p == '+' || *p == '-') ++p;
        if (!digits(p)) return false;
    }
    if (*p != '\0') return false;
    // strtod's ERANGE is no reason to refuse: on underflow it gives the
    // nearest double (a subnormal such as 5e-324, or zero); overflow is
    // infinite, and refused.
    value = std::strtod(text, nullptr);
    return std::isfinite(value);
}

namespace {

std::string OffName(const OptionRow& row) { return row.offName ? row.offName : std::string("no-") + row.name; }

std::string IntegerText(double v) { return std::to_string(static_cast<long long>(v)); }

std::string NumberText(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

bool ChoiceTaken(const char* choices, const std::string& value)
{
    for (const char* c = choices; *c != '\0';) {
        const char* end = std::strchr(c, '|');
        const size_t n = end ? static_cast<size_t>(end - c) : std::strlen(c);
        bool same = value.size() == n;
        for (size_t i = 0; same && i < n; ++i)
            same = std::tolower(static_cast<unsigned char>(c[i])) == std::tolower(static_cast<unsigned char>(value[i]));
        if (same) return true;
        c += end ? n + 1 : n;
    }
    return false;
}

// What a refused value should have been.
std::string Expected(const OptionRow& row)
{
    switch (row.kind) {
    case OptionKind::Switch:
        return "0 or 1";
    case OptionKind::Integer:
        return "an integer from " + IntegerText(row.low) + " to " + IntegerText(row.high);
    case OptionKind::WindowId:
        return "a window id (decimal or 0x hexadecimal)";
    case OptionKind::Number:
        return "a finite decimal number";
    case OptionKind::Text:
        if (row.choices != nullptr) {
            // "a|b|c" reads "a, b or c".
            std::string words = row.choices;
            const size_t last = words.rfind('|');
            if (last != std::string::npos) words.replace(last, 1, " or ");
            for (size_t at = 0; (at = words.find('|', at)) != std::string::npos;) words.replace(at, 1, ", ");
            return words;
        }
        return IntegerText(row.low) + " to " + IntegerText(row.high) + " bytes of text";
    case OptionKind::Clear:
        break;
    }
    return "";
}

bool SetValue(const OptionRow& row, const std::string& value, CommandOptions& out)
{
    double v = 0;
    switch (row.kind) {
    case OptionKind::Switch:
        if (value != "0" && value != "1") return false;
        out.*row.integer = value == "1";
        return true;
    case OptionKind::WindowId:
        if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
            if (value.size() > 10 || value.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
                return false;
            v = static_cast<double>(std::strtoull(value.c_str() + 2, nullptr, 16));
        } else if (!ParseNumber(value.c_str(), true, v)) {
            return false;
        }
        break;
    case OptionKind::Integer:
    case OptionKind::Number:
        if (!ParseNumber(value.c_str(), row.kind == OptionKind::Integer, v)) return false;
        break;
    case OptionKind::Text:
        if (value.size() < row.low || value.size() > row.high) return false;
        if (row.choices != nullptr && !ChoiceTaken(row.choices, value)) return false;
        out.*row.text = value;
        return true;
    case OptionKind::Clear:
        return false;
    }
    if (v < row.low || v > row.high) return false;
    if (row.number != nullptr) out.*row.number = v;
    else out.*row.integer = static_cast<int32_t>(v);
    return true;
}

}  // namespace

const OptionRow* FindOption(const std::string& word, uint32_t program, bool* negated)
{
    const size_t dashes = word.compare(0, 2, "--") == 0 ? 2 : word.compare(0, 1, "-") == 0 ? 1 : 0;
    if (dashes == 0 || (program == kRenderOption && dashes != 2)) return nullptr;
    const std::string name = word.substr(dashes);
    for (size_t i = 0; i < kOptionRowCount; ++i) {
        const OptionRow& row = kOptionRows[i];
        if ((row.takers & program) == 0) continue;
        *negated = program == kSaverOption && row.kind == OptionKind::Switch && name == OffName(row);
        if (name == row.name || *negated) return &row;
    }
    return nullptr;
}

std::string DefaultText(const OptionRow& row)
{
    static const CommandOptions defaults;
    switch (row.kind) {
    case OptionKind::Switch:
        return defaults.*row.integer ? "on" : "off";
    case OptionKind::Integer:
        return std::to_string(defaults.*row.integer);
    case OptionKind::Number:
        return NumberText(defaults.*row.number);
    case OptionKind::Text:
        return defaults.*row.text;
    case OptionKind::Clear:
    case OptionKind::WindowId:
        break;
    }
    return "";
}

std::string BadValueText(const std::string& option, const std::string& expected, const std::string& value)
{
    return option + ": expected " + expected + ", got \"" + value + "\"";
}

ParseOutcome ReadOptions(int argc, const char* const* argv, uint32_t program, CommandOptions& out,
                              std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "-h" || word == "-help" || word == "--help") return ParseOutcome::Help;
        bool negated = false;
        const OptionRow* row = FindOption(word, program, &negated);
        if (row == nullptr) {
            error = (word[0] == '-' ? "unknown option \"" : "unexpected argument \"") + word + "\"";
            return ParseOutcome::Refused;
        }
        const bool bare = row->kind == OptionKind::Clear || (row->kind == OptionKind::Switch && program == kSaverOption);
        if (bare) {
            out.*row->integer = row->kind == OptionKind::Switch && !negated;
            continue;
        }
        if (i + 1 >= argc) {
            error = word + ": missing value";
            return ParseOutcome::Refused;
        }
        const std::string value = argv[++i];
        if (!SetValue(*row, value, out)) {
            error = BadValueText(word, Expected(*row), value);
            return ParseOutcome::Refused;
        }
    }
    return ParseOutcome::Run;
}

std::string OptionsHelp(uint32_t program)
{
    const std::string dash = program == kRenderOption ? "--" : "-";
    std::string text;
    for (size_t i = 0; i < kOptionRowCount; ++i) {
        const OptionRow& row = kOptionRows[i];
        if ((row.takers & program) == 0) continue;
        std::string form = dash + row.name;
        if (row.kind == OptionKind::Switch && program == kSaverOption) form += " | -" + OffName(row);
        else if (row.kind != OptionKind::Clear) form += std::string(" ") + row.value;
        std::string shown = DefaultText(row);
        if (row.kind == OptionKind::Switch && program == kRenderOption) shown = shown == "on" ? "1" : "0";
        char line[512];
        std::snprintf(line, sizeof line, "  %-26s %s%s\n", form.c_str(), row.help,
                      shown.empty() ? "" : (" (default " + shown + ")").c_str());
        text += line;
    }
    return text;
}
