// Drives the real gyrofold on Xvfb displays of its own and reads the screen
// back with XGetImage.

// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <cstdio>
#include <sstream>
#include <thread>

#include "tests/support/shown_frames.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/picture_writer.h"

namespace {

// A private Xvfb display with a free number; `server` is the screen's depth
// and any further arguments ("x8", "x24 -cc 5": DirectColor).
struct XvfbSession {
    FILE* out = nullptr;
    pid_t pid = 0;
    std::string name;  // ":N"
    Display* display = nullptr;

    bool Start(int width, int height, const std::string& server = "x24")
    {
        // The shell says its pid, which Xvfb takes over, and Xvfb its display's number. Xvfb ends with the test
        // process, however that ends.
        out = popen(("echo $$; exec setpriv --pdeathsig KILL Xvfb -displayfd 1 -nolisten tcp -screen 0 " +
                     std::to_string(width) + "x" + std::to_string(height) + server + " 2>/dev/null").c_str(), "re");
        int number = -1;
        if (out == nullptr || std::fscanf(out, "%d %d", &pid, &number) != 2) return false;
        name = ":" + std::to_string(number);
        return (display = XOpenDisplay(name.c_str())) != nullptr;
    }
    ~XvfbSession()
    {
        if (display != nullptr) XCloseDisplay(display);
        if (pid > 0) kill(pid, SIGTERM);
        if (out != nullptr) pclose(out);
    }
};

using Picture = std::vector<uint32_t>;

// The settled frame of the portable core for a still camera (-rot1 0 -zoom2 0)
// on the sample image, as the screen must show it.
Picture CoreFrame(int hiColor, int numBuf, int width, int height)
{
    SaverSettings s;
    std::strcpy(s.IMGFilename, SAMPLE_IMAGE_PATH);
    s.UseHiColor = hiColor, s.NumBuf = numBuf;
    s.Rot1 = s.Zoom2 = 0;
    s.ScreenWidth = width, s.ScreenHeight = height;
    // All black when the scene is not set up: no window shows that. The blur
    // settles in its history; a palette frame can repeat once and change again
    // (frames 15 and 17 with three buffers), so all run 64 frames, twice what
    // the slowest case needs.
    Picture picture(static_cast<size_t>(width) * height);
    DrawShownFrames(s, 64, [&](int, const Picture& shown) { picture = shown; });
    return picture;
}

// A colour as the window's visual holds it: each 8-bit channel at the nearest
// level of the visual's channel, 8 bits each on PseudoColor.
uint32_t InVisual(const Visual* v, uint32_t rgb)
{
    if (v->c_class == PseudoColor) return rgb;
    uint32_t pixel = 0;
    for (const unsigned long mask : {v->red_mask, v->green_mask, v->blue_mask}) {
        const int shift = __builtin_ctzl(mask), top = static_cast<int>(mask >> shift);
        pixel |= static_cast<uint32_t>(std::lround((rgb >> 16 & 255) * top / 255.0)) << shift;
        rgb <<= 8;
    }
    return pixel;
}

// What the screen shows: pixels of a visual with a colormap are looked up in
// the window's one, which must be installed.
Picture Grab(Display* d, Window w, int width, int height)
{
    XWindowAttributes a;
    XGetWindowAttributes(d, w, &a);
    XImage* image = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
    Picture p;
    for (int i = 0; image != nullptr && i < width * height; ++i) p.push_back(XGetPixel(image, i % width, i / width));
    if (image != nullptr) XDestroyImage(image);
    const Visual* v = a.visual;
    if (v->c_class == TrueColor) return p;
    int count = 0;
    Colormap* installed = XListInstalledColormaps(d, w, &count);
    const bool shown = std::find(installed, installed + count, a.colormap) != installed + count;
    XFree(installed);
    if (!shown) return {};
    std::vector<XColor> colours(p.size());
    for (size_t i = 0; i < p.size(); ++i) colours[i].pixel = p[i];
    XQueryColors(d, a.colormap, colours.data(), static_cast<int>(colours.size()));
    // 8 bits tell the levels of a channel of up to 8 bits apart.
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = InVisual(v, (colours[i].red >> 8) << 16 | (colours[i].green >> 8) << 8 | colours[i].blue >> 8);
    return p;
}

// The time only ends a wait that would never end: enough for a loaded machine.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 30000)
{
    for (int waited = 0; !done(); waited += 20) {
        if (waited >= milliseconds) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Hack {
    pid_t pid = 0;
    bool reaped = false;
    std::string errorFile = ::testing::TempDir() + "gyrofold-stderr-" + std::to_string(getpid());
    // Older segments are those of a former holder of the pid.
    const long long started = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());

    void Start(const std::string& display, std::vector<std::string> args, const std::string& screensaverWindow = "")
    {
        args.insert(args.begin(), GYROFOLD_PATH);
        if ((pid = fork()) != 0) return;
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        if (!screensaverWindow.empty()) setenv("XSCREENSAVER_WINDOW", screensaverWindow.c_str(), 1);
        dup2(open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    // The exit code, or -1 when it had not ended within the time (then killed).
    int Wait(int milliseconds = 30000)
    {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, milliseconds);
        if (!ended) kill(pid, SIGKILL), waitpid(pid, &status, 0);
        reaped = true;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // A test that stops early leaves no program behind.
    ~Hack()
    {
        if (pid > 0 && !reaped) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        std::remove(errorFile.c_str());
    }
    std::string Errors() const { return (std::stringstream() << std::ifstream(errorFile).rdbuf()).str(); }
    // Its shared memory segments left; `marked`: those marked for removal, which no ending can leak.
    int Segments(bool marked = false) const
    {
        std::ifstream table("/proc/sysvipc/shm");
        int count = 0;
        for (std::string line; std::getline(table, line);) {
            long long mode = 0, creator = 0, made = 0;  // made: the segment's ctime
            count += std::sscanf(line.c_str(), "%*d %*d %llo %*u %lld %*u %*u %*u %*u %*u %*u %*u %*u %lld", &mode,
                                 &creator, &made) == 3 &&
                     creator == pid && made >= started && (!marked || (mode & 01000) != 0);
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

// The program's own window: the root's one child, once it is mapped (its
// pixels cannot be read before).
Window OnlyChild(Display* d)
{
    Window rootReturn, parent, *children = nullptr, child = 0;
    unsigned int count = 0;
    XQueryTree(d, DefaultRootWindow(d), &rootReturn, &parent, &children, &count);
    XWindowAttributes a;
    if (count == 1 && XGetWindowAttributes(d, children[0], &a) && a.map_state == IsViewable) child = children[0];
    if (children != nullptr) XFree(children);
    return child;
}

// The window's picture: the frame scaled to w x h, each window pixel the frame
// pixel under its centre, and centred over black as on Windows (offsets
// truncate toward zero, so a frame 83 wider than its window starts at x = -41).
Picture Placed(const Picture& frame, int fw, int fh, int w, int h, int width, int height)
{
    const int x0 = (width - w) / 2, y0 = (height - h) / 2;
    Picture p(static_cast<size_t>(width) * height, 0);
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
            p[static_cast<size_t>(y) * width + x] =
                frame[(2 * (y - y0) + 1) * fh / (2 * h) * fw + (2 * (x - x0) + 1) * fw / (2 * w)];
    return p;
}

enum class Target { WindowId, Root, ScreensaverWindow, Own, VirtualRoot };

struct PixelCase {
    const char* name;
    Target target;
    int hiColor, numBuf, windowWidth, windowHeight;
    int frameWidth, frameHeight, resizedWidth, resizedHeight;  // 0: the window's size; not resized
    const char* server = "x24";
    std::vector<std::string> extra = {};
};

class ShownFrame : public ::testing::TestWithParam<PixelCase> {};

TEST_P(ShownFrame, EqualsTheCoreFrameCentredAndCropped)
{
    const PixelCase& c = GetParam();
    XvfbSession x;
    const bool root = c.target == Target::Root;
    ASSERT_TRUE(x.Start(root ? c.windowWidth : 640, root ? c.windowHeight : 480, c.server));
    const bool shm = !std::strstr(c.server, "MIT-SHM") && c.extra != std::vector<std::string>{"-no-shm"};
    Window w = root ? DefaultRootWindow(x.display)
               : c.target == Target::Own ? 0 : MakeWindow(x.display, c.windowWidth, c.windowHeight);
    // A virtual root names itself in its __SWM_VROOT property.
    if (c.target == Target::VirtualRoot)
        XChangeProperty(x.display, w, XInternAtom(x.display, "__SWM_VROOT", False), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&w), 1);
    const std::string dash = c.target == Target::ScreensaverWindow ? "--" : "-";
    std::vector<std::string> args = {dash + "rot1", "0", dash + "zoom2", "0", c.hiColor ? "-hicolor" : "--no-hicolor",
                                     "-numbuf", std::to_string(c.numBuf), "-delay", "0"};
    if (c.target == Target::WindowId) args.insert(args.end(), {"-window-id", std::to_string(w)});
    if (c.target != Target::WindowId) args.push_back(c.target == Target::Own ? "-window" : "-root");
    for (const std::string& a : c.extra) args.push_back(a == "NAME" ? x.name : a);
    const bool display = std::count(args.begin(), args.end(), "-display") == 1;
    if (c.frameWidth != 0)
        args.insert(args.end(), {"-frame-width", std::to_string(c.frameWidth), "-frame-height",
                                 std::to_string(c.frameHeight)});
    Hack hack;
    // The daemon names its window in hexadecimal.
    const auto named = (std::stringstream() << std::showbase << std::hex << w).str();
    hack.Start(display ? "" : x.name, args, c.target == Target::ScreensaverWindow ? named : "");
    ASSERT_TRUE(WaitFor([&] { return w != 0 || (w = OnlyChild(x.display)) != 0; }));
    XWindowAttributes a;
    XGetWindowAttributes(x.display, w, &a);
    // Own windows ask for a TrueColor visual, and are named as window managers read it.
    if (c.target == Target::Own) {
        EXPECT_EQ(a.visual->c_class, TrueColor);
        XClassHint hint = {};
        ASSERT_TRUE(XGetClassHint(x.display, w, &hint));
        EXPECT_EQ(std::string(hint.res_name) + "/" + hint.res_class, "gyrofold/Gyrofold");
        XFree(hint.res_name), XFree(hint.res_class);
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* pid = nullptr;
        XGetWindowProperty(x.display, w, XInternAtom(x.display, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &type, &format, &items, &after, &pid);
        ASSERT_NE(pid, nullptr);
        EXPECT_EQ(*reinterpret_cast<long*>(pid), hack.pid);
        XFree(pid);
    }
    // 16-bit frames fall back to 8-bit ones on a PseudoColor visual.
    const int hiColor = c.hiColor && a.visual->c_class != PseudoColor;
    for (int pass = 0; pass < (c.resizedWidth ? 2 : 1); ++pass) {
        const int width = pass ? c.resizedWidth : c.windowWidth, height = pass ? c.resizedHeight : c.windowHeight;
        if (pass) XResizeWindow(x.display, w, width, height), XSync(x.display, False);
        const bool low = std::count(c.extra.begin(), c.extra.end(), "-low-resolution") == 1;
        const int fw = c.frameWidth ? c.frameWidth : low ? 320 : width, fh = c.frameHeight ? c.frameHeight : low ? 240 : height;
        // The low-resolution look: the frame as large as its shape fits the window.
        const bool wide = width * fh <= height * fw;
        const int sw = !low ? fw : wide ? width : fw * height / fh, sh = !low ? fh : wide ? fh * width / fw : height;
        Picture expected = Placed(CoreFrame(hiColor, c.numBuf, fw, fh), fw, fh, sw, sh, width, height);
        for (uint32_t& p : expected) p = InVisual(a.visual, p);
        Picture shown;
        EXPECT_TRUE(WaitFor([&] { return (shown = Grab(x.display, w, width, height)) == expected; }))
            << width << "x" << height << ", pixels differing: "
            << std::inner_product(shown.begin(), shown.end(), expected.begin(), 0, std::plus<>(),
                                  std::not_equal_to<>());
    }
    EXPECT_EQ(hack.Segments(), shm ? 1 : 0) << "frames are put through one shared memory image, if any";
    kill(hack.pid, SIGTERM);
    EXPECT_EQ(hack.Wait(), 0);
    EXPECT_EQ(hack.Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ShownFrame,
    // Each row also puts the frame on a server of another kind: 15-, 16-, 30-bit and DirectColor screens
    // whose channels scale the engine's colours, 8-bit PseudoColor ones that take 8-bit frames only.
    ::testing::Values(
        PixelCase{"IdPalettePlainWindowSize16", Target::WindowId, 0, 1, 320, 240, 0, 0, 0, 0, "x16", {"-no-fps"}},
        PixelCase{"IdHiColorBlurredSmallerOddThreads", Target::WindowId, 1, 3, 320, 240, 251, 177, 0, 0, "x24",
                  {"-threads", "3"}},
        PixelCase{"IdPaletteBlurredLargerOdd30", Target::WindowId, 0, 3, 320, 240, 403, 301, 0, 0, "x30"},
        PixelCase{"IdHiColorWidthNotFourResizedNoShmServer", Target::WindowId, 1, 1, 317, 203, 0, 0, 250, 190,
                  "x24 -extension MIT-SHM"},
        PixelCase{"IdFixedFrameResized15NoShm", Target::WindowId, 1, 1, 320, 240, 300, 200, 280, 210, "x15", {"-no-shm"}},
        PixelCase{"RootHiColorAs8BitPseudoColorWidthNotFour", Target::Root, 1, 1, 330, 250, 0, 0, 0, 0, "x8"},
        PixelCase{"RootPaletteBlurredSmaller", Target::Root, 0, 5, 330, 250, 322, 161, 0, 0, "x24", {"-shm"}},
        PixelCase{"EnvHiColorBlurredLargerDirectColor", Target::ScreensaverWindow, 1, 4, 200, 150, 333, 222, 0, 0,
                  "x24 -cc 5"},
        PixelCase{"EnvPalettePseudoColorNoShmServerInstallThreads", Target::ScreensaverWindow, 0, 1, 241, 180, 0, 0,
                  0, 0, "x8 -extension MIT-SHM", {"-install", "-threads", "2"}},
        PixelCase{"OwnBestOverDirectColor", Target::Own, 1, 1, 640, 480, 0, 0, 0, 0, "x24 -cc 5",
                  {"-visual", "best", "-mono", "-sync"}},
        PixelCase{"OwnTrueColorOnPseudoColor", Target::Own, 1, 1, 640, 480, 0, 0, 0, 0, "x8",
                  {"-visual", "TrueColor", "-noinstall"}},
        PixelCase{"OwnGeometry", Target::Own, 1, 1, 300, 200, 0, 0, 0, 0, "x24",
                  {"-geometry", "300x200+10+20", "-display", "NAME", "-visual", "default"}},
        PixelCase{"VirtualRootPalette", Target::VirtualRoot, 0, 1, 250, 190, 0, 0, 0, 0},
        PixelCase{"LowResolutionDoubledResizedBarsBeside", Target::WindowId, 1, 3, 640, 480, 0, 0, 401, 150, "x24",
                  {"-low-resolution"}},
        PixelCase{"LowResolutionGivenFrameOddBarsAbove", Target::WindowId, 0, 1, 333, 250, 101, 75, 0, 0, "x24",
                  {"-low-resolution"}}),
    [](const auto& info) { return std::string(info.param.name); });

// "    ERROR LOADING IMAGE    " in black on white, its spaces included, centred
// in a black window; the program keeps running.
TEST(ShownFrame, MissingImageShowsTheErrorTextCentred)
{
    XvfbSession x;
    ASSERT_TRUE(x.Start(640, 480));
    const Window w = MakeWindow(x.display, 321, 240);
    Hack hack;
    hack.Start(x.name, {"-image", "/nonexistent/picture.bmp", "-window-id", std::to_string(w)});
    XFontStruct* font = XLoadQueryFont(x.display, "fixed");
    ASSERT_NE(font, nullptr);
    const int textWidth = 27 * font->max_bounds.width, textHeight = font->ascent + font->descent;
    XFreeFont(x.display, font);
    int left, right, top, bottom;
    EXPECT_TRUE(WaitFor([&] {
        const Picture p = Grab(x.display, w, 321, 240);
        left = top = 1 << 20, right = bottom = -1;
        for (int i = 0; i < 321 * 240; ++i)
            if (p[i] == 0xFFFFFF)
                left = std::min(left, i % 321), right = std::max(right, i % 321), top = std::min(top, i / 321),
                bottom = std::max(bottom, i / 321);
        return right - left + 1 == textWidth && bottom - top + 1 == textHeight;
    })) << "white box " << right - left + 1 << "x" << bottom - top + 1;
    EXPECT_EQ(left, (321 - textWidth) / 2);
    EXPECT_EQ(top, (240 - textHeight) / 2);
    EXPECT_EQ(hack.Wait(300), -1) << "still running";
    EXPECT_EQ(hack.Errors(), "gyrofold: /nonexistent/picture.bmp: cannot open file: No such file or directory\n");
}

// A folder (and a folder in it) of a red BMP, a blue PNG, a PNG whose header
// is broken and a text file, shown for a second each: the screen turns red and
// blue, the broken picture is passed over with its reason on stderr, and the
// text file is not a picture at all.
TEST(ShownFrame, FolderShowsItsPicturesInTurnAndPassesOverABrokenOne)
{
    const std::string folder = ::testing::TempDir() + "gyrofold-folder-" + std::to_string(getpid());
    std::filesystem::create_directories(folder + "/more");
    const bmpw::BmpImage red{8, 8, {}, std::vector<bmpw::BmpColor>(64, {255, 0, 0}), {}};
    bmpw::SaveFile(folder + "/red.bmp", bmpw::WriteBmp(red, bmpw::Form(bmpw::Info, 24)));
    picw::PngPicture blue;
    blue.width = blue.height = 8;
    for (int i = 0; i < 64; ++i) blue.samples.insert(blue.samples.end(), {0, 0, 255});
    std::vector<uint8_t> png = picw::WritePng(blue);
    bmpw::SaveFile(folder + "/more/blue.png", png);
    png[29] ^= 1;  // the header's checksum
    bmpw::SaveFile(folder + "/broken.png", png);
    bmpw::SaveFile(folder + "/notes.txt", {'h', 'i', '\n'});

    XvfbSession x;
    ASSERT_TRUE(x.Start(320, 240));
    const Window w = MakeWindow(x.display, 40, 30);
    Hack hack;
    hack.Start(x.name, {"-image", folder, "-duration", "1", "-numbuf", "1", "-rot1", "0", "-zoom2", "0", "-window-id",
                        std::to_string(w)});
    for (const uint32_t colour : {0xFF0000u, 0x0000FFu, 0xFF0000u}) {
        EXPECT_TRUE(WaitFor([&] { return Grab(x.display, w, 40, 30) == Picture(40 * 30, colour); }, 8000)) << colour;
    }
    kill(hack.pid, SIGTERM);
    EXPECT_EQ(hack.Wait(), 0);
    const std::string errors = hack.Errors(), line = "gyrofold: " + folder + "/broken.png: IHDR: CRC error\n";
    ASSERT_FALSE(errors.empty());
    for (size_t at = 0; at < errors.size(); at += line.size()) EXPECT_EQ(errors.substr(at, line.size()), line);
    std::filesystem::remove_all(folder);
}

enum class Ending { Refused, Interrupt, CloseButton, Key, DestroyWindow, KillServer };

struct EndCase {
    const char* name;
    Ending ending;
    int exitCode;
    std::string message;  // how stderr starts: one line, or that line and the usage
    KeySym key = 0;
    unsigned int modifiers = 0;
    const char* server = "x24";          // null: no display given
    std::vector<std::string> args = {};  // those of a refused start
};

class Ends : public ::testing::TestWithParam<EndCase> {};

// Refused at the start: the option table's refusals in full are a unit test;
// here, that the program shows them, and that without a display it ends there.
// Else with a quarter-hour -delay the program sits in its pause, so every
// ending must wake it: a missed wake-up outlasts the limit of Wait.
TEST_P(Ends, WithItsExitCodeOneLineAndNoSegmentLeft)
{
    const EndCase& c = GetParam();
    XvfbSession x;
    ASSERT_TRUE(!c.server || x.Start(320, 240, c.server));
    const bool refused = c.ending == Ending::Refused;
    const bool ownWindow = c.ending == Ending::CloseButton || c.ending == Ending::Key;
    Window w = ownWindow || refused ? 0 : MakeWindow(x.display, 200, 100);
    Hack hack;
    hack.Start(c.server ? x.name : "", refused ? c.args : std::vector<std::string>{"-delay", "900000000",
               ownWindow ? "-window" : "-window-id", ownWindow ? "-fps" : std::to_string(w)});
    // Its own window is the root's one child; a window of ours, drawn on.
    ASSERT_TRUE(refused ||
                WaitFor([&] { return (w != 0 || (w = OnlyChild(x.display)) != 0) && hack.Segments(true) == 1; }));
    // Under the frame rate the first frame is drawn: dozens of the sample's colours.
    size_t colours = 0;
    EXPECT_TRUE(!ownWindow || WaitFor([&] {
        Picture p = Grab(x.display, w, 300, 200);
        std::sort(p.begin(), p.end());
        return (colours = std::unique(p.begin(), p.end()) - p.begin()) > 20;
    })) << colours << " colours";
    XEvent e = {};
    e.xany.window = w;
    if (c.ending == Ending::Interrupt) kill(hack.pid, SIGINT);
    if (c.ending == Ending::CloseButton) {
        e.xclient.type = ClientMessage, e.xclient.format = 32;
        e.xclient.message_type = XInternAtom(x.display, "WM_PROTOCOLS", False);
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(x.display, "WM_DELETE_WINDOW", False));
    }
    if (c.ending == Ending::Key)
        e.xkey.type = KeyPress, e.xkey.state = c.modifiers, e.xkey.keycode = XKeysymToKeycode(x.display, c.key);
    if (ownWindow) XSendEvent(x.display, w, False, c.ending == Ending::Key ? KeyPressMask : NoEventMask, &e);
    if (c.ending == Ending::DestroyWindow) XDestroyWindow(x.display, w);
    if (c.ending == Ending::KillServer) {
        // Killed, not asked to stop: a server that shuts down first destroys
        // the windows, which is the case above. Ours outlive our connection.
        XSetCloseDownMode(x.display, RetainPermanent);
        XCloseDisplay(x.display);
        x.display = nullptr;
        kill(x.pid, SIGKILL);
    }
    if (x.display != nullptr) XSync(x.display, False);
    EXPECT_EQ(hack.Wait(), c.exitCode) << hack.Errors();
    EXPECT_TRUE(WaitFor([&] { return hack.Segments() == 0; })) << "the server frees it once both have let go";
    const std::string errors = hack.Errors();
    EXPECT_EQ(errors.substr(0, c.message.size()), c.message);
    const bool usage = c.message.find("\nusage: ") != std::string::npos;
    EXPECT_TRUE(usage || std::count(errors.begin(), errors.end(), '\n') == (c.message.empty() ? 0 : 1)) << errors;
}

const std::string kNeeds = "it needs TrueColor, DirectColor or PseudoColor with 256 colours\n";
const std::string kUsage = "\nusage: gyrofold [options]\n  -root";

INSTANTIATE_TEST_SUITE_P(
    Requests, Ends,
    ::testing::Values(EndCase{"Interrupt", Ending::Interrupt, 0, ""},
                      EndCase{"CloseButton", Ending::CloseButton, 0, ""},
                      EndCase{"KeyQ", Ending::Key, 0, "", XK_q},
                      EndCase{"KeyShiftQ", Ending::Key, 0, "", XK_q, ShiftMask},
                      EndCase{"KeyEscape", Ending::Key, 0, "", XK_Escape},
                      EndCase{"KeyCtrlC", Ending::Key, 0, "", XK_c, ControlMask},
                      EndCase{"DestroyWindow", Ending::DestroyWindow, 1, "gyrofold: the window is gone"},
                      EndCase{"KillServer", Ending::KillServer, 1, "gyrofold: lost the connection to the X"},
                      EndCase{"StaticColorOwnWindow", Ending::Refused, 1,
                              "gyrofold: cannot draw on visual 0x23 (StaticColor, depth 8): " + kNeeds, 0, 0, "x8",
                              {"-visual", "staticcolor"}},
                      EndCase{"GrayScaleRoot", Ending::Refused, 1,
                              "gyrofold: cannot draw on visual 0x22 (GrayScale, depth 8): " + kNeeds, 0, 0, "x8 -cc 1",
                              {"-root"}},
                      EndCase{"NoSuchId", Ending::Refused, 1, "gyrofold: no visual \"0x7777\" on this screen\n", 0, 0,
                              "x24", {"-visual", "0x7777"}},
                      EndCase{"NotANumber", Ending::Refused, 1,
                              "gyrofold: -delay: expected an integer from 0 to 2147483647, got \"abc\"" + kUsage, 0, 0,
                              nullptr, {"-delay", "abc"}},
                      EndCase{"BadGeometry", Ending::Refused, 1,
                              "gyrofold: -geometry: expected WxH+X+Y, got \"0x10\"" + kUsage, 0, 0, nullptr,
                              {"-geometry", "0x10"}},
                      EndCase{"NoDisplay", Ending::Refused, 1, "gyrofold: cannot open display \"\"\n", 0, 0, nullptr,
                              {"-root"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
