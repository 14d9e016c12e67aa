// gyrofold-render: runs the saver's engine outside Windows and writes the
// frames to files, for previews, tests and benchmarks.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/surface_memory.h"
#include "settings/command_options.h"
#include "tools/frame_output.h"

namespace {

const char kUsageLine[] = "usage: gyrofold-render --image FILE --out PATH [options]   (FILE: BMP, PNG or JPEG)\n";

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

struct Options : CommandOptions {
    OutName outName;
    FrameFormat frameFormat = FrameFormat::Raw;
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

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "gyrofold-render: %s\n", message.c_str());
    return code;
}

// The table's parser, then what depends on more than one option. Returns 0
// when the options are good, else fills message and returns 2.
int ParseOptions(int argc, char** argv, Options& o, std::string& message)
{
    const ParseOutcome outcome = ReadOptions(argc, argv, kRenderOption, o, message);
    if (outcome == ParseOutcome::Help) message = "help";
    if (outcome != ParseOutcome::Run) return outcome == ParseOutcome::Help ? 0 : 2;
    if (o.image.empty()) {
        message = "--image: missing (the picture to tile)";
        return 2;
    }
    if (o.out.empty()) {
        message = "--out: missing (where to write the frames)";
        return 2;
    }
    std::string why;
    if (!ParseOutName(o.out, o.outName, why)) {
        message = "--out: " + why + ": '" + o.out + "'";
        return 2;
    }
    // The table has taken only raw, bmp, png or gif.
    if (!FormatFromName(o.format.empty() ? o.outName.For(1) : "." + o.format, o.frameFormat)) {
        message = "--out: cannot tell the format from the name '" + o.out + "'; give --format raw|bmp|png|gif";
        return 2;
    }
    // The saver draws an empty frame and goes on; of the file forms only raw
    // and BMP can hold one.
    const bool empty = o.ScreenWidth == 0 || o.ScreenHeight == 0;
    if (empty && (o.frameFormat == FrameFormat::Png || o.frameFormat == FrameFormat::Gif)) {
        message = "--width/--height: an empty frame can only be written as raw or bmp";
        return 2;
    }
    std::memcpy(o.IMGFilename, o.image.c_str(), o.image.size() + 1);
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
        std::printf("%s%s", kUsageLine, OptionsHelp(kRenderOption).c_str());
        return 0;
    }
    if (parsed != 0) return Fail(parsed, message);

    // The scene holds the 64 KiB blend table: heap, not stack. Every way out
    // gives back what setup built.
    struct OwnedScene {
        std::unique_ptr<Scene> scene = std::make_unique<Scene>();
        ~OwnedScene() { TeardownScene(*scene); }
    } owned;
    Scene* scene = owned.scene.get();
    scene->bands.threads = o.threads;
    SetupScene(*scene, o, 0, 0);
    if (!scene->sceneReady || scene->currentSurface == nullptr)
        return Fail(1, "cannot load " + o.image + ": " + scene->imageError);
    const auto& surface = *static_cast<const MemorySurface*>(scene->currentSurface);

    const auto started = std::chrono::steady_clock::now();
    auto nextReport = started + std::chrono::seconds(1);
    const bool animation = o.frameFormat == FrameFormat::Gif && !o.outName.numbered;
    std::unique_ptr<GifAnimation> gif;
    if (animation) gif = std::make_unique<GifAnimation>(o.outName.For(0));
    WrittenFiles written;
    std::string error;
    for (int32_t k = 1; k <= o.frames; ++k) {
        RenderFrame(*scene, o);
        if (animation) {
            if (!gif->Add(CaptureFrame(surface), error)) return Fail(1, error);
        } else if (o.outName.numbered) {
            const std::string name = o.outName.For(k);
            if (!WriteFrameFile(o.frameFormat, name, CaptureFrame(surface), error)) return Fail(1, error);
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
        if (!WriteFrameFile(o.frameFormat, o.outName.For(0), CaptureFrame(surface), error)) return Fail(1, error);
    }
    written.keep = true;
    return 0;
}
