// Drives the real gyrofold on Xvfb displays of its own and reads the screen
// back with XGetImage.

// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "effect/render_frame.h"
#include "imaging/scene.h"
#include "imaging/surface_memory.h"
#include "tests/x11/x11_session.h"

namespace {

using Picture = std::vector<uint32_t>;

// The settled frame of the portable core for a still camera (-rot1 0 -zoom2 0)
// on the sample image, as 0xRRGGBB per pixel, rows top-down, converted as the
// screen must show it: palette colours exactly, 5-bit channels widened by
// repeating their top bits.
Picture CoreFrame(int hiColor, int numBuf, int width, int height)
{
    auto scene = std::make_unique<Scene>();
    SaverSettings s;
    std::strcpy(s.IMGFilename, SAMPLE_IMAGE_PATH);
    s.UseHiColor = hiColor;
    s.NumBuf = numBuf;
    s.Rot1 = 0;
    s.Zoom2 = 0;
    s.ScreenWidth = width;
    s.ScreenHeight = height;
    SetupScene(*scene, s, 0, 0);
    Picture picture(static_cast<size_t>(width) * height), last;
    EXPECT_TRUE(scene->sceneReady);
    if (!scene->sceneReady) return picture;
    const auto& surface = *static_cast<const MemorySurface*>(scene->currentSurface);
    // The blur folds the same picture into its history until it stops changing.
    for (int frame = 0; frame < 64 && picture != last; ++frame) {
        last = picture;
        RenderFrame(*scene, s);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = surface.PictureRow(y);
            for (int x = 0; x < width; ++x) {
                uint32_t r, g, b;
                if (hiColor) {
                    const uint32_t w = row[2 * x] | row[2 * x + 1] << 8;
                    r = (w >> 10) & 31, g = (w >> 5) & 31, b = w & 31;
                    r = (r << 3) | (r >> 2), g = (g << 3) | (g >> 2), b = (b << 3) | (b >> 2);
                } else {
                    const uint8_t* c = surface.colours + 3 * row[x];
                    r = c[0], g = c[1], b = c[2];
                }
                picture[static_cast<size_t>(y) * width + x] = (r << 16) | (g << 8) | b;
            }
        }
    }
    TeardownScene(*scene);
    return picture;
}

Picture Grab(Display* d, Window w, int width, int height)
{
    Picture p(static_cast<size_t>(width) * height);
    XImage* image = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) return {};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p[static_cast<size_t>(y) * width + x] = XGetPixel(image, x, y) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
}

bool WaitFor(const std::function<bool()>& done, int milliseconds = 8000)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

struct Hack {
    pid_t pid = 0;
    std::string errorFile = ::testing::TempDir() + "gyrofold-stderr-" + std::to_string(getpid());

    void Start(const std::string& display, std::vector<std::string> args, const char* screensaverWindow = nullptr)
    {
        args.insert(args.begin(), GYROFOLD_PATH);
        pid = fork();
        if (pid == 0) {
            display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
            if (screensaverWindow != nullptr) setenv("XSCREENSAVER_WINDOW", screensaverWindow, 1);
            const int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 2);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    // The exit code, or -1 when it had not ended within the time (then killed).
    int Wait(int milliseconds = 2000)
    {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, milliseconds);
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Errors() const
    {
        std::stringstream text;
        text << std::ifstream(errorFile).rdbuf();
        return text.str();
    }
    // Shared memory segments this process made that still exist.
    int Segments() const
    {
        std::ifstream table("/proc/sysvipc/shm");
        std::string line;
        int count = 0;
        std::getline(table, line);
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            long key, id, perms, size, creator;
            fields >> key >> id >> perms >> size >> creator;
            count += creator == pid;
        }
        return count;
    }
};

Window MakeWindow(Display* d, int width, int height)
{
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, width, height, 0, 0, 0);
    XMapWindow(d, w);
    XSync(d, False);
    return w;
}

std::string Id(Window w, bool hex)
{
    std::ostringstream text;
    if (hex) text << "0x" << std::hex;
    text << w;
    return text.str();
}

enum class Target { WindowId, Root, ScreensaverWindow };

struct PixelCase {
    const char* name;
    Target target;
    int hiColor, numBuf;
    int windowWidth, windowHeight;
    int frameWidth, frameHeight;  // 0: the window's size
};
std::ostream& operator<<(std::ostream& out, const PixelCase& c) { return out << c.name; }

class ShownFrame : public ::testing::TestWithParam<PixelCase> {};

// The window shows the core's frame, centred as on Windows: offsets truncate
// toward zero, so a frame 83 wider than its window starts at x = -41.
TEST_P(ShownFrame, EqualsTheCoreFrameCentredAndCropped)
{
    const PixelCase& c = GetParam();
    XvfbSession x;
    const bool root = c.target == Target::Root;
    ASSERT_TRUE(x.Start(root ? c.windowWidth : 640, root ? c.windowHeight : 480));
    const Window w = root ? DefaultRootWindow(x.display) : MakeWindow(x.display, c.windowWidth, c.windowHeight);
    const char* dash = c.target == Target::ScreensaverWindow ? "--" : "-";
    std::vector<std::string> args = {std::string(dash) + "rot1", "0", std::string(dash) + "zoom2", "0",
                                     c.hiColor ? "-hicolor" : "--no-hicolor", "-numbuf", std::to_string(c.numBuf),
                                     "-delay", "0"};
    if (c.target == Target::WindowId) args.insert(args.end(), {"-window-id", Id(w, c.hiColor != 0)});
    if (c.target != Target::WindowId) args.push_back("-root");
    if (c.frameWidth != 0)
        args.insert(args.end(), {"-frame-width", std::to_string(c.frameWidth), "-frame-height",
                                 std::to_string(c.frameHeight)});
    Hack hack;
    const std::string envWindow = Id(w, true);
    hack.Start(x.name, args, c.target == Target::ScreensaverWindow ? envWindow.c_str() : nullptr);

    const int fw = c.frameWidth ? c.frameWidth : c.windowWidth, fh = c.frameHeight ? c.frameHeight : c.windowHeight;
    const Picture frame = CoreFrame(c.hiColor, c.numBuf, fw, fh);
    const int x0 = (c.windowWidth - fw) / 2, y0 = (c.windowHeight - fh) / 2;
    Picture expected(static_cast<size_t>(c.windowWidth) * c.windowHeight, 0);
    for (int y = 0; y < c.windowHeight; ++y)
        for (int x = 0; x < c.windowWidth; ++x)
            if (x - x0 >= 0 && x - x0 < fw && y - y0 >= 0 && y - y0 < fh)
                expected[static_cast<size_t>(y) * c.windowWidth + x] = frame[static_cast<size_t>(y - y0) * fw + x - x0];
    Picture shown;
    EXPECT_TRUE(WaitFor([&] { return (shown = Grab(x.display, w, c.windowWidth, c.windowHeight)) == expected; }))
        << "pixels differing: "
        << [&] { int n = 0; for (size_t i = 0; i < shown.size(); ++i) n += shown[i] != expected[i]; return n; }();
    EXPECT_EQ(hack.Segments(), 1) << "frames are put through one shared memory image";
    kill(hack.pid, SIGTERM);
    EXPECT_EQ(hack.Wait(), 0) << hack.Errors();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ShownFrame,
    ::testing::Values(PixelCase{"IdPalettePlainWindowSize", Target::WindowId, 0, 1, 320, 240, 0, 0},
                      PixelCase{"IdHiColorBlurredSmallerOdd", Target::WindowId, 1, 3, 320, 240, 251, 177},
                      PixelCase{"IdPaletteBlurredLargerOdd", Target::WindowId, 0, 3, 320, 240, 403, 301},
                      PixelCase{"IdHiColorPlainWidthNotFour", Target::WindowId, 1, 1, 317, 203, 0, 0},
                      PixelCase{"RootHiColorPlainWidthNotFour", Target::Root, 1, 1, 330, 250, 0, 0},
                      PixelCase{"RootPaletteBlurredSmaller", Target::Root, 0, 5, 330, 250, 322, 161},
                      PixelCase{"EnvWindowHiColorBlurredLarger", Target::ScreensaverWindow, 1, 4, 200, 150, 333, 222},
                      PixelCase{"EnvWindowPalettePlainWindowSize", Target::ScreensaverWindow, 0, 1, 241, 180, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShownFrame, ResizedWindowGetsAFrameOfItsNewSize)
{
    XvfbSession x;
    ASSERT_TRUE(x.Start(640, 480));
    const Window w = MakeWindow(x.display, 320, 240);
    Hack hack;
    hack.Start(x.name, {"-rot1", "0", "-zoom2", "0", "-numbuf", "1", "-delay", "0", "-window-id", Id(w, false)});
    const Picture before = CoreFrame(1, 1, 320, 240), after = CoreFrame(1, 1, 250, 190);
    EXPECT_TRUE(WaitFor([&] { return Grab(x.display, w, 320, 240) == before; }));
    XResizeWindow(x.display, w, 250, 190);
    XSync(x.display, False);
    EXPECT_TRUE(WaitFor([&] { return Grab(x.display, w, 250, 190) == after; }));
    kill(hack.pid, SIGTERM);
    EXPECT_EQ(hack.Wait(), 0);
}

// "    ERROR LOADING IMAGE    " in black on white, its spaces included, centred
// in a black window; the program keeps running.
TEST(ShownFrame, MissingImageShowsTheErrorTextCentred)
{
    XvfbSession x;
    ASSERT_TRUE(x.Start(640, 480));
    const Window w = MakeWindow(x.display, 321, 240);
    Hack hack;
    hack.Start(x.name, {"-image", "/nonexistent/picture.bmp", "-window-id", Id(w, true)});
    XFontStruct* font = XLoadQueryFont(x.display, "fixed");
    ASSERT_NE(font, nullptr);
    const int textWidth = 27 * font->max_bounds.width, textHeight = font->ascent + font->descent;
    int left = 0, right = 0, top = 0, bottom = 0;
    const bool shown = WaitFor([&] {
        const Picture p = Grab(x.display, w, 321, 240);
        left = top = 1 << 20, right = bottom = -1;
        for (int y = 0; y < 240; ++y)
            for (int i = 0; i < 321; ++i)
                if (p[static_cast<size_t>(y) * 321 + i] == 0xFFFFFF)
                    left = std::min(left, i), right = std::max(right, i), top = std::min(top, y),
                    bottom = std::max(bottom, y);
        return right - left + 1 == textWidth && bottom - top + 1 == textHeight;
    });
    EXPECT_TRUE(shown) << "white box " << right - left + 1 << "x" << bottom - top + 1;
    EXPECT_EQ(left, (321 - textWidth) / 2);
    EXPECT_EQ(top, (240 - textHeight) / 2);
    XFreeFont(x.display, font);
    EXPECT_EQ(hack.Wait(300), -1) << "still running";
}

enum class Ending { Terminate, Interrupt, CloseButton, KeyQ, KeyShiftQ, KeyEscape, DestroyWindow, KillServer };

struct EndCase {
    const char* name;
    Ending ending;
    int exitCode;
    const char* message;  // how the one line on stderr starts
};
std::ostream& operator<<(std::ostream& out, const EndCase& c) { return out << c.name; }

class Ends : public ::testing::TestWithParam<EndCase> {};

// With a five-second -delay the program sits in its pause, so every ending
// below must wake it.
TEST_P(Ends, WithItsExitCodeAndNoSegmentLeft)
{
    const EndCase& c = GetParam();
    XvfbSession x;
    ASSERT_TRUE(x.Start(320, 240));
    const bool ownWindow = c.ending >= Ending::CloseButton && c.ending <= Ending::KeyEscape;
    Window w = ownWindow ? 0 : MakeWindow(x.display, 200, 100);
    Hack hack;
    hack.Start(x.name, ownWindow ? std::vector<std::string>{"-delay", "5000000", "-window"}
                                 : std::vector<std::string>{"-delay", "5000000", "-window-id", Id(w, true)});
    // Its own window is the root's one child; a window of ours, drawn on.
    ASSERT_TRUE(WaitFor([&] {
        Window rootReturn, parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(x.display, DefaultRootWindow(x.display), &rootReturn, &parent, &children, &count);
        if (ownWindow && count == 1) w = children[0];
        if (children != nullptr) XFree(children);
        return w != 0 && hack.Segments() == 1;
    }));
    XEvent e = {};
    const unsigned int keys[] = {XK_q, XK_Q, XK_Escape};
    switch (c.ending) {
    case Ending::Terminate: kill(hack.pid, SIGTERM); break;
    case Ending::Interrupt: kill(hack.pid, SIGINT); break;
    case Ending::CloseButton:
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(x.display, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(x.display, "WM_DELETE_WINDOW", False));
        XSendEvent(x.display, w, False, NoEventMask, &e);
        break;
    case Ending::KeyQ:
    case Ending::KeyShiftQ:
    case Ending::KeyEscape:
        e.xkey.type = KeyPress;
        e.xkey.window = w;
        e.xkey.keycode = XKeysymToKeycode(x.display, keys[static_cast<int>(c.ending) - static_cast<int>(Ending::KeyQ)]);
        e.xkey.state = c.ending == Ending::KeyShiftQ ? ShiftMask : 0;
        XSendEvent(x.display, w, False, KeyPressMask, &e);
        break;
    case Ending::DestroyWindow: XDestroyWindow(x.display, w); break;
    case Ending::KillServer:
        // Killed, not asked to stop: a server that shuts down first destroys
        // the windows, which is the case above. Our window outlives our
        // connection until then.
        XSetCloseDownMode(x.display, RetainPermanent);
        XCloseDisplay(x.display);
        x.display = nullptr;
        kill(x.pid, SIGKILL);
        break;
    }
    if (x.display != nullptr) XSync(x.display, False);
    EXPECT_EQ(hack.Wait(), c.exitCode) << hack.Errors();
    EXPECT_EQ(hack.Segments(), 0);
    const std::string errors = hack.Errors();
    EXPECT_EQ(errors.substr(0, std::strlen(c.message)), c.message);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), c.message[0] ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Ends,
    ::testing::Values(EndCase{"Terminate", Ending::Terminate, 0, ""},
                      EndCase{"Interrupt", Ending::Interrupt, 0, ""},
                      EndCase{"CloseButton", Ending::CloseButton, 0, ""},
                      EndCase{"KeyQ", Ending::KeyQ, 0, ""},
                      EndCase{"KeyShiftQ", Ending::KeyShiftQ, 0, ""},
                      EndCase{"KeyEscape", Ending::KeyEscape, 0, ""},
                      EndCase{"DestroyWindow", Ending::DestroyWindow, 1, "gyrofold: the window is gone"},
                      EndCase{"KillServer", Ending::KillServer, 1, "gyrofold: lost the connection to the X server"}),
    [](const auto& info) { return std::string(info.param.name); });

struct OptionCase {
    const char* name;
    std::vector<std::string> args;
    std::string firstLine;
};
std::ostream& operator<<(std::ostream& out, const OptionCase& c) { return out << c.name; }

class Options : public ::testing::TestWithParam<OptionCase> {};

// No display is given, so options that parse end at the display instead.
TEST_P(Options, BadOnesPrintTheUsageAndExitWithOne)
{
    Hack hack;
    hack.Start("", GetParam().args);
    EXPECT_EQ(hack.Wait(), 1);
    const std::string errors = hack.Errors();
    EXPECT_EQ(errors.substr(0, errors.find('\n')), GetParam().firstLine);
    const bool bad = GetParam().firstLine.find("take") != std::string::npos;
    EXPECT_EQ(errors.find("usage: gyrofold") != std::string::npos, bad);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Options,
    ::testing::Values(
        OptionCase{"MissingValue", {"-numbuf"}, "gyrofold: cannot take option \"-numbuf\""},
        OptionCase{"NotANumber", {"-numbuf", "x"}, "gyrofold: cannot take option \"x\""},
        OptionCase{"TrailingText", {"--frame-width", "12a"}, "gyrofold: cannot take option \"12a\""},
        OptionCase{"NegativeDelay", {"-delay", "-5"}, "gyrofold: cannot take option \"-5\""},
        OptionCase{"BeyondInt32", {"-frame-height", "2147483648"}, "gyrofold: cannot take option \"2147483648\""},
        OptionCase{"BadWindowId", {"-window-id", "0xZZ"}, "gyrofold: cannot take option \"0xZZ\""},
        OptionCase{"ImageNameTooLong", {"-image", std::string(300, 'a')},
                   "gyrofold: cannot take option \"" + std::string(300, 'a') + "\""},
        OptionCase{"Unknown", {"-bogus"}, "gyrofold: cannot take option \"-bogus\""},
        OptionCase{"NoOnANumber", {"-no-numbuf"}, "gyrofold: cannot take option \"-no-numbuf\""},
        OptionCase{"NotAnOption", {"stray"}, "gyrofold: cannot take option \"stray\""},
        OptionCase{"AllGood", {"--numbuf", "-2", "-no-warpy", "-rot1", "nan", "-xscale", "1e300", "-window-id", "077",
                               "-image", std::string(299, 'a')},
                   "gyrofold: cannot open display \"\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
