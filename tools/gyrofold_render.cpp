// gyrofold-render: runs the saver's engine outside Windows and writes the
// frames to files, for previews, tests and benchmarks.

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "imaging/picture_decoder.h"
#include "imaging/scene.h"
#include "imaging/surface_memory.h"
#include "settings/saver_settings.h"
#include "tools/frame_output.h"

namespace {

constexpr int32_t kMaxFrames = 1000000;
// Eight history frames of 8192 x 8192 16-bit pixels are already a gigabyte.
constexpr int32_t kMaxFrameSide = 8192;

const char kUsage[] =
    "usage: gyrofold-render --image FILE --out PATH [options]   (FILE: BMP, PNG or JPEG)\n"
    "  --frames N            frames to render (default 1); frame k is the picture after k camera steps\n"
    "  --width W --height H  frame size, 0 to 8192 (defaults 320 and 240; 0: an empty frame)\n"
    "  --hicolor 0|1         16-bit 5-5-5 frames (1, default) or 8-bit palettised frames (0)\n"
    "  --numbuf N            frames folded by the motion blur (default 3; 1 or less: no blur; more than 8: 8)\n"
    "  --warpy 0|1  --xscale X  --yscale Y  --rot1 R  --rot2 R  --zoom1 Z  --zoom2 Z\n"
    "  --format raw|bmp|png|gif   (default: from the file name's extension)\n"
    "  --out PATH            a name with a number pattern (frame-%04d.png) writes every frame; a plain\n"
    "                        name writes the last frame, or for gif all frames as one animation\n";

// The output name split around its frame number: "frame-%04d.png" gives
// prefix "frame-", width 4, zero padding, suffix ".png". The number is put in
// by hand, so the user's text never reaches a formatting function.
struct OutName {
    std::string prefix;
    std::string suffix;
    bool numbered = false;
    bool zeroPad = false;
    int32_t width = 0;

    std::string For(int32_t frame) const
    {
        if (!numbered) return prefix;
        std::string digits = std::to_string(frame);
        while (static_cast<int32_t>(digits.size()) < width) digits.insert(digits.begin(), zeroPad ? '0' : ' ');
        return prefix + digits + suffix;
    }
};

struct Options {
    std::string image;
    std::string out;
    OutName outName;
    bool haveFormat = false;
    FrameFormat format = FrameFormat::Raw;
    int32_t frames = 1;
    SaverSettings settings;
};

// Accepts one %d conversion, optionally with a 0 flag and a width of up to
// two digits, and %% for a literal percent sign; anything else is refused.
bool ParseOutName(const std::string& text, OutName& name, std::string& why)
{
    std::string* part = &name.prefix;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            part->push_back(text[i]);
            continue;
        }
        size_t j = i + 1;
        if (j < text.size() && text[j] == '%') {
            part->push_back('%');
            i = j;
            continue;
        }
        if (name.numbered) {
            why = "more than one frame number conversion";
            return false;
        }
        bool zero = false;
        if (j < text.size() && text[j] == '0') {
            zero = true;
            ++j;
        }
        int32_t width = 0, digits = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9' && digits < 3) {
            width = width * 10 + (text[j] - '0');
            ++j;
            ++digits;
        }
        if (digits > 2 || j >= text.size() || text[j] != 'd') {
            why = "only %d, %0Nd or %Nd (N up to 99) and %% may follow a percent sign";
            return false;
        }
        name.numbered = true;
        name.zeroPad = zero;
        name.width = width;
        part = &name.suffix;
        i = j;
    }
    if (name.prefix.empty() && !name.numbered) {
        why = "empty name";
        return false;
    }
    return true;
}

bool FormatFromName(const std::string& name, FrameFormat& format)
{
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (ext == "raw") format = FrameFormat::Raw;
    else if (ext == "bmp") format = FrameFormat::Bmp;
    else if (ext == "png") format = FrameFormat::Png;
    else if (ext == "gif") format = FrameFormat::Gif;
    else return false;
    return true;
}

bool ParseInt(const char* text, int32_t low, int32_t high, int32_t& out)
{
    if (*text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool ParseDouble(const char* text, double& out)
{
    if (*text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    // The settings take any number, but a renderer run with infinities or NaN
    // is no setting anyone can choose in the dialog. strtod's ERANGE is no
    // reason to refuse: on underflow it still gives the nearest double (a
    // subnormal such as 5e-324 exactly, or zero), and overflow is infinite.
    if (*end != '\0' || !std::isfinite(value)) return false;
    out = value;
    return true;
}

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "gyrofold-render: %s\n", message.c_str());
    return code;
}

// Returns 0 when the options are good, else fills message and returns 2.
int ParseOptions(int argc, char** argv, Options& o, std::string& message)
{
    bool haveImage = false, haveOut = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            message = "help";
            return 0;
        }
        if (arg.compare(0, 2, "--") != 0) {
            message = "unexpected argument '" + arg + "'";
            return 2;
        }
        if (i + 1 >= argc) {
            message = arg + ": missing value";
            return 2;
        }
        const char* value = argv[++i];
        const std::string shown = "'" + std::string(value) + "'";
        SaverSettings& s = o.settings;
        auto integer = [&](int32_t low, int32_t high, int32_t& out) {
            if (ParseInt(value, low, high, out)) return true;
            message = arg + ": expected an integer from " + std::to_string(low) + " to " + std::to_string(high) +
                      ", got " + shown;
            return false;
        };
        auto number = [&](double& out) {
            if (ParseDouble(value, out)) return true;
            message = arg + ": expected a finite number, got " + shown;
            return false;
        };
        bool ok = true;
        if (arg == "--image") {
            o.image = value;
            haveImage = true;
            if (o.image.empty()) {
                message = "--image: empty file name";
                ok = false;
            } else if (o.image.size() > static_cast<size_t>(kImageFilenameLimit)) {
                message = "--image: the file name is longer than " + std::to_string(kImageFilenameLimit) + " bytes";
                ok = false;
            }
        } else if (arg == "--out") {
            o.out = value;
            haveOut = true;
            std::string why;
            o.outName = OutName{};
            if (!ParseOutName(o.out, o.outName, why)) {
                message = "--out: " + why + ": " + shown;
                ok = false;
            }
        } else if (arg == "--format") {
            o.haveFormat = FormatFromName(std::string(".") + value, o.format) && std::strchr(value, '.') == nullptr &&
                           std::strchr(value, '/') == nullptr;
            if (!o.haveFormat) {
                message = "--format: expected raw, bmp, png or gif, got " + shown;
                ok = false;
            }
        } else if (arg == "--frames") {
            ok = integer(1, kMaxFrames, o.frames);
        } else if (arg == "--width") {
            ok = integer(0, kMaxFrameSide, s.ScreenWidth);
        } else if (arg == "--height") {
            ok = integer(0, kMaxFrameSide, s.ScreenHeight);
        } else if (arg == "--hicolor") {
            ok = integer(0, 1, s.UseHiColor);
        } else if (arg == "--numbuf") {
            // Any stored value, as the saver takes it: scene setup limits it
            // to the frames the history holds, and 1 or less is no blur.
            ok = integer(INT32_MIN, INT32_MAX, s.NumBuf);
        } else if (arg == "--warpy") {
            ok = integer(0, 1, s.Warpy);
        } else if (arg == "--xscale") {
            ok = number(s.XScale);
        } else if (arg == "--yscale") {
            ok = number(s.YScale);
        } else if (arg == "--rot1") {
            ok = number(s.Rot1);
        } else if (arg == "--rot2") {
            ok = number(s.Rot2);
        } else if (arg == "--zoom1") {
            ok = number(s.Zoom1);
        } else if (arg == "--zoom2") {
            ok = number(s.Zoom2);
        } else {
            message = arg + ": unknown option";
            ok = false;
        }
        if (!ok) return 2;
    }
    if (!haveImage) {
        message = "--image: missing (the picture to tile)";
        return 2;
    }
    if (!haveOut) {
        message = "--out: missing (where to write the frames)";
        return 2;
    }
    if (!o.haveFormat && !FormatFromName(o.outName.For(1), o.format)) {
        message = "--out: cannot tell the format from the name '" + o.out + "'; give --format raw|bmp|png|gif";
        return 2;
    }
    // The saver draws an empty frame and goes on; of the file forms only raw
    // and BMP can hold one.
    const bool empty = o.settings.ScreenWidth == 0 || o.settings.ScreenHeight == 0;
    if (empty && (o.format == FrameFormat::Png || o.format == FrameFormat::Gif)) {
        message = "--width/--height: an empty frame can only be written as raw or bmp";
        return 2;
    }
    std::memcpy(o.settings.IMGFilename, o.image.c_str(), o.image.size() + 1);
    return 0;
}

// Frames written under numbered names so far; a failure removes them again,
// so that a run either writes everything or nothing.
struct WrittenFiles {
    std::vector<std::string> names;
    bool keep = false;
    ~WrittenFiles()
    {
        if (!keep)
            for (const std::string& name : names) std::remove(name.c_str());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    std::string message;
    const int parsed = ParseOptions(argc, argv, o, message);
    if (message == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parsed != 0) return Fail(parsed, message);

    // The loader only answers yes or no; the decoder says why.
    std::string reason;
    bool readable;
    if (o.settings.UseHiColor) {
        Bitmap16 probe;
        readable = LoadPictureFile16(o.image.c_str(), probe, reason);
    } else {
        Bitmap8 probe;
        readable = LoadPictureFile8(o.image.c_str(), probe, reason);
    }
    if (!readable) return Fail(1, "cannot load " + o.image + ": " + reason);

    // The scene holds the 64 KiB blend table: heap, not stack. Every way out
    // gives back what setup built.
    struct OwnedScene {
        std::unique_ptr<Scene> scene = std::make_unique<Scene>();
        ~OwnedScene() { TeardownScene(*scene); }
    } owned;
    Scene* scene = owned.scene.get();
    SetupScene(*scene, o.settings, 0, 0);
    if (!scene->sceneReady || scene->currentSurface == nullptr)
        return Fail(1, "cannot set up a scene for " + o.image + " (picture narrower than 4 pixels, or out of memory)");
    const auto& surface = *static_cast<const MemorySurface*>(scene->currentSurface);

    const auto started = std::chrono::steady_clock::now();
    auto nextReport = started + std::chrono::seconds(1);
    const bool animation = o.format == FrameFormat::Gif && !o.outName.numbered;
    std::unique_ptr<GifAnimation> gif;
    if (animation) gif = std::make_unique<GifAnimation>(o.outName.For(0));
    WrittenFiles written;
    std::string error;
    for (int32_t k = 1; k <= o.frames; ++k) {
        RenderFrame(*scene, o.settings);
        if (animation) {
            if (!gif->Add(CaptureFrame(surface), error)) return Fail(1, error);
        } else if (o.outName.numbered) {
            const std::string name = o.outName.For(k);
            if (!WriteFrameFile(o.format, name, CaptureFrame(surface), error)) return Fail(1, error);
            written.names.push_back(name);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextReport) {
            std::fprintf(stderr, "frame %d/%d\n", k, o.frames);
            nextReport = now + std::chrono::seconds(1);
        }
    }
    if (animation) {
        if (!gif->Finish(error)) return Fail(1, error);
    } else if (!o.outName.numbered) {
        if (!WriteFrameFile(o.format, o.outName.For(0), CaptureFrame(surface), error)) return Fail(1, error);
    }
    written.keep = true;
    return 0;
}
