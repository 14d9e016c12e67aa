// The saver as an X11 hack: settings from the command line, a window of its
// own, an existing one or the screen saver's, and one frame per pass of the
// loop, paced by -delay and by the display's refresh.

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#ifdef GYROFOLD_HAVE_XRANDR
#include <X11/extensions/Xrandr.h>
#endif

#include <sys/select.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/picture_folder.h"
#include "imaging/surface_x11.h"
#include "settings/command_options.h"
#include "shell/picture_rotation.h"

namespace {

CommandOptions TheOptions;
SaverSettings& Settings = TheOptions;

void PrintUsage(FILE* out)
{
    std::fprintf(out, "usage: gyrofold [options]\n%s", OptionsHelp(kSaverOption).c_str());
}

// The sample image beside the program in the build tree, or where the install
// puts it relative to libexec/xscreensaver.
void DefaultImage(char* name)
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = '\0';
    std::string dir(exe, std::strrchr(exe, '/') - exe);
    for (const std::string& path : {dir + "/../../share/gyrofold/sample.bmp", dir + "/sample.bmp"}) {
        if (access(path.c_str(), R_OK) == 0 && path.size() <= static_cast<size_t>(kImageFilenameLimit)) {
            std::strcpy(name, path.c_str());
            return;
        }
    }
}

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int)
{
    stopRequested = 1;
    const char byte = 1;
    // The loop may be waiting in select; the byte wakes it.
    if (write(signalPipe[1], &byte, 1) < 0) return;
}

int OnXError(Display* display, XErrorEvent* e)
{
    char text[128];
    XGetErrorText(display, e->error_code, text, sizeof text);
    const bool gone = e->error_code == BadWindow || e->error_code == BadDrawable;
    std::fprintf(stderr, "gyrofold: %s (%s)\n", gone ? "the window is gone" : "the X server refused a request", text);
    std::exit(1);
}

int OnXConnectionLost(Display*)
{
    std::fprintf(stderr, "gyrofold: lost the connection to the X server\n");
    std::exit(1);
}

double RefreshRate(Display* display)
{
    double rate = 0;
#ifdef GYROFOLD_HAVE_XRANDR
    int eventBase, errorBase;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        XRRScreenConfiguration* config = XRRGetScreenInfo(display, DefaultRootWindow(display));
        if (config != nullptr) {
            rate = XRRConfigCurrentRate(config);
            XRRFreeScreenConfigInfo(config);
        }
    }
#else
    (void)display;
#endif
    // The same fallback as the Windows saver's for a display that reports none.
    return rate > 1 ? rate : 60.0;
}

using Clock = std::chrono::steady_clock;

// With a folder for -image: its pictures, the one shown and since when.
struct Slideshow {
    std::unique_ptr<PictureRotation> rotation;
    std::string shown;  // the file; empty before the first
    Clock::time_point shownAt;
    bool exhausted = false;
};
Slideshow TheSlideshow;

void ReportLine(const std::string& line) { std::fprintf(stderr, "gyrofold: %s\n", line.c_str()); }

// Builds the scene for the window; a picture that fails is named on stderr
// once (a rebuild for a resized window does not repeat it).
void BuildScene(ScenePicture* picture)
{
    static std::string reported;
    X11Target& t = TheX11Target;
    TheScene.bands.threads = TheOptions.threads;
    SetupScene(TheScene, Settings, t.window, 0, picture);
    const std::string line =
        TheScene.sceneReady ? "" : std::string(picture ? picture->file : Settings.IMGFilename) + ": " + TheScene.imageError;
    if (!line.empty() && line != reported) ReportLine(line);
    reported = line;
}

struct Loop {
    Display* display;
    Atom deleteWindow;
    bool ownWindow;
    bool rebuild = true;
    bool clear = true;
    int exitCode = -1;
};

// A side of the frame: as given, else the window's; the low-resolution look
// takes the saver's default frame instead and scales it to the window.
int32_t FrameSide(int32_t given, int32_t lowResolution, int32_t window)
{
    return given != 0 ? given : TheOptions.lowResolution ? lowResolution : window;
}

bool FrameFollowsWindow()
{
    return !TheOptions.lowResolution && (TheOptions.frameWidth == 0 || TheOptions.frameHeight == 0);
}

void HandleEvent(Loop& loop, XEvent& e)
{
    X11Target& t = TheX11Target;
    switch (e.type) {
    case ConfigureNotify:
        if (e.xconfigure.window != t.window) break;
        if (e.xconfigure.width != t.width || e.xconfigure.height != t.height) {
            t.width = e.xconfigure.width;
            t.height = e.xconfigure.height;
            loop.rebuild = loop.rebuild || FrameFollowsWindow();
            loop.clear = true;
        }
        break;
    case Expose:
        if (e.xexpose.count == 0) loop.clear = true;
        break;
    case DestroyNotify:
        if (e.xdestroywindow.window != t.window) break;
        std::fprintf(stderr, "gyrofold: the window is gone\n");
        loop.exitCode = 1;
        break;
    case ClientMessage:
        if (static_cast<Atom>(e.xclient.data.l[0]) == loop.deleteWindow) loop.exitCode = 0;
        break;
    case KeyPress: {
        char c = 0;
        KeySym key = NoSymbol;
        XLookupString(&e.xkey, &c, 1, &key, nullptr);
        // Ctrl-C reads as the control character, as in a terminal.
        if (c == 'q' || c == 'Q' || c == '\003' || key == XK_Escape) loop.exitCode = 0;
        break;
    }
    default:
        break;
    }
}

// Builds the scene anew when the frame follows a resized window, and shows
// the window's picture again without moving the camera: the current frame
// over black, as on Windows, or the image load error.
void Repaint(Loop& loop)
{
    X11Target& t = TheX11Target;
    Slideshow& show = TheSlideshow;
    if (loop.rebuild) {
        TeardownScene(TheScene);
        Settings.ScreenWidth = FrameSide(TheOptions.frameWidth, SaverSettings{}.ScreenWidth, t.width);
        Settings.ScreenHeight = FrameSide(TheOptions.frameHeight, SaverSettings{}.ScreenHeight, t.height);
        // A failed setup has drawn the error text itself. A folder's picture
        // is read again for the new size; before the first there is none.
        if (show.rotation == nullptr) {
            BuildScene(nullptr);
        } else if (!show.shown.empty()) {
            ScenePicture picture;
            LoadScenePicture(show.shown.c_str(), Settings.UseHiColor != 0, Settings.NumBuf, picture);
            BuildScene(&picture);
        }
        loop.clear = TheScene.sceneReady != 0;
        loop.rebuild = false;
    }
    const bool waiting = show.rotation != nullptr && show.shown.empty() && !show.exhausted;
    if (loop.clear && !TheScene.sceneReady && !waiting) DrawCentredText(kImageLoadErrorText);
    if (loop.clear && TheScene.sceneReady) {
        XSetForeground(t.display, t.gc, X11Pixel(0, 0, 0));
        XFillRectangle(t.display, t.window, t.gc, 0, 0, t.width, t.height);
        TheScene.currentSurface->Present();
    }
    loop.clear = false;
}

// The folder's first picture as soon as it is ready, then the next one each
// -duration seconds, when it is ready: the scene's rebuild is the only pause.
void ChangePicture(Loop& loop)
{
    Slideshow& show = TheSlideshow;
    if (show.rotation == nullptr || show.exhausted) return;
    if (!show.shown.empty() &&
        (TheOptions.duration == 0 || Clock::now() - show.shownAt < std::chrono::seconds(TheOptions.duration)))
        return;
    std::unique_ptr<ScenePicture> picture = show.rotation->Take();
    if (picture == nullptr) {
        // Nothing in the folder can be shown: the error text, once.
        show.exhausted = show.shown.empty() && show.rotation->Exhausted();
        loop.clear = loop.clear || show.exhausted;
        return;
    }
    TeardownScene(TheScene);
    BuildScene(picture.get());
    show.shown = picture->file;
    show.shownAt = Clock::now();
    loop.clear = true;
}

// Takes every waiting event and repaints what they ask for, then sleeps until
// the deadline or until an event or a stop signal arrives.
void WaitUntil(Loop& loop, Clock::time_point deadline)
{
    const int xfd = ConnectionNumber(loop.display);
    for (;;) {
        while (loop.exitCode < 0 && !stopRequested && XPending(loop.display) > 0) {
            XEvent e;
            XNextEvent(loop.display, &e);
            HandleEvent(loop, e);
        }
        if (stopRequested && loop.exitCode < 0) loop.exitCode = 0;
        if (loop.exitCode < 0) Repaint(loop);
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (loop.exitCode >= 0 || left <= 0) return;
        // The repaint waits for the server, and Xlib queues whatever arrives
        // meanwhile: the socket shows none of that, so select would sleep on it.
        if (XPending(loop.display) > 0) continue;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(xfd, &fds);
        FD_SET(signalPipe[0], &fds);
        timeval tv = {static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
        select((xfd > signalPipe[0] ? xfd : signalPipe[0]) + 1, &fds, nullptr, nullptr, &tv);
    }
}

void DrawFrameRate(double fps)
{
    X11Target& t = TheX11Target;
    if (t.font == nullptr) return;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "FPS: %.1f", fps);
    XSetFont(t.display, t.gc, t.font->fid);
    XSetForeground(t.display, t.gc, X11Pixel(255, 255, 0));
    XSetBackground(t.display, t.gc, X11Pixel(0, 0, 0));
    XDrawImageString(t.display, t.window, t.gc, 10, t.height - 10 - t.font->descent, text, length);
    XFlush(t.display);
}

// Null, with the reason, when the own window's visual cannot be found.
// The own window's size and place from -geometry on a screen of the given
// size: 640 x 480 where it gives no size, a negative offset counted from the
// right or bottom edge. False for a text XParseGeometry cannot take, or an
// empty window.
bool OwnWindowGeometry(XSizeHints& size, int screenWidth, int screenHeight)
{
    size = {};
    size.width = 640, size.height = 480;
    if (TheOptions.geometry.empty()) return true;
    unsigned int w = 0, h = 0;
    const int given = XParseGeometry(TheOptions.geometry.c_str(), &size.x, &size.y, &w, &h);
    if (given & WidthValue) size.width = static_cast<int>(w), size.flags |= USSize;
    if (given & HeightValue) size.height = static_cast<int>(h), size.flags |= USSize;
    if (given & (XValue | YValue)) size.flags |= USPosition;
    if (given & XNegative) size.x += screenWidth - size.width;
    if (given & YNegative) size.y += screenHeight - size.height;
    return given != NoValue && w <= 32767 && h <= 32767 && size.width > 0 && size.height > 0;
}

// The command line into TheOptions. Returns the exit code when the program
// ends here (help, or an option it cannot take), else -1.
int TakeOptions(int argc, char** argv)
{
    std::string error;
    switch (ReadOptions(argc, argv, kSaverOption, TheOptions, error)) {
    case ParseOutcome::Help:
        PrintUsage(stdout);
        return 0;
    case ParseOutcome::Refused:
        break;
    case ParseOutcome::Run:
        XSizeHints size;
        if (OwnWindowGeometry(size, 0, 0)) return -1;
        error = BadValueText("-geometry", "WxH+X+Y", TheOptions.geometry);
        break;
    }
    std::fprintf(stderr, "gyrofold: %s\n", error.c_str());
    PrintUsage(stderr);
    return 1;
}

// A window manager with a virtual root (swm, tvtwm and their heirs) names it
// in a property of one of the root's children; drawing on the real root would
// be hidden behind it.
Window VirtualRoot(Display* display)
{
    const Window root = DefaultRootWindow(display);
    const Atom property = XInternAtom(display, "__SWM_VROOT", False);
    Window found = root, rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count)) return root;
    for (unsigned int i = 0; i < count && found == root; ++i) {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* value = nullptr;
        if (XGetWindowProperty(display, children[i], property, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                               &value) == Success && value != nullptr) {
            if (type == XA_WINDOW && format == 32 && items == 1) found = *reinterpret_cast<Window*>(value);
            XFree(value);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

Window ChooseWindow(Display* display, Loop& loop, int argc, char** argv, std::string& reason)
{
    loop.ownWindow = false;
    if (TheOptions.windowId != 0) return TheOptions.windowId;
    if (TheOptions.root) {
        const char* named = std::getenv("XSCREENSAVER_WINDOW");
        if (named != nullptr && *named != '\0') return std::strtoul(named, nullptr, 0);
        return VirtualRoot(display);
    }
    loop.ownWindow = true;
    const int screen = DefaultScreen(display);
    XVisualInfo visual;
    if (!ChooseX11Visual(display, screen, TheOptions.visual, visual, reason)) return 0;
    XSizeHints size;
    OwnWindowGeometry(size, DisplayWidth(display, screen), DisplayHeight(display, screen));
    XSetWindowAttributes a = {};
    // A visual other than the root's needs a colormap and border of its own.
    a.colormap = XCreateColormap(display, RootWindow(display, screen), visual.visual, AllocNone);
    a.event_mask = KeyPressMask | StructureNotifyMask | ExposureMask;
    Window w = XCreateWindow(display, RootWindow(display, screen), size.x, size.y, size.width, size.height, 0,
                             visual.depth, InputOutput, visual.visual,
                             CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &a);
    // Name, class, command, host and size as window managers and session
    // tools read them, and the process that draws it.
    char name[] = "Gyrofold", resName[] = "gyrofold", resClass[] = "Gyrofold";
    char* nameList = name;
    XTextProperty title;
    XStringListToTextProperty(&nameList, 1, &title);
    XClassHint hint = {resName, resClass};
    XSetWMProperties(display, w, &title, &title, argv, argc, &size, nullptr, &hint);
    XFree(title.value);
    const long pid = getpid();
    XChangeProperty(display, w, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XSetWMProtocols(display, w, &loop.deleteWindow, 1);
    XMapWindow(display, w);
    return w;
}

}  // namespace

int main(int argc, char** argv)
{
    const int refused = TakeOptions(argc, argv);
    if (refused >= 0) return refused;
    std::strcpy(Settings.IMGFilename, TheOptions.image.c_str());
    TheX11Target.fillWindow = TheOptions.lowResolution != 0;
    if (Settings.IMGFilename[0] == '\0') DefaultImage(Settings.IMGFilename);

    const char* displayName = TheOptions.display.empty() ? nullptr : TheOptions.display.c_str();
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        std::fprintf(stderr, "gyrofold: cannot open display \"%s\"\n", XDisplayName(displayName));
        return 1;
    }
    if (TheOptions.sync) XSynchronize(display, True);
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXConnectionLost);
    if (pipe(signalPipe) != 0) return 1;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    Loop loop = {display, XInternAtom(display, "WM_DELETE_WINDOW", False), false};
    X11Target& t = TheX11Target;
    X11OutputOptions output;
    output.useShm = TheOptions.shm != 0;
    output.visual = TheOptions.visual;
    output.installColormap = TheOptions.install != 0;
    std::string reason;
    const Window window = ChooseWindow(display, loop, argc, argv, reason);
    if (window == 0 || !AttachX11Target(display, window, output, reason)) {
        std::fprintf(stderr, "gyrofold: %s\n", reason.c_str());
        XCloseDisplay(display);
        return 1;
    }
    // The Windows saver's 8-bit mode, on a display that has only that.
    if (!X11TargetShowsHiColor()) Settings.UseHiColor = 0;
    // A folder is read on a thread of its own from here on; the window is
    // drawn (black) and answers meanwhile.
    if (IsPictureFolder(Settings.IMGFilename))
        TheSlideshow.rotation = std::make_unique<PictureRotation>(
            Settings.IMGFilename, Settings.UseHiColor != 0, Settings.NumBuf, TheOptions.duration > 0, ReportLine);
    XGCValues values = {};
    values.graphics_exposures = False;
    t.gc = XCreateGC(display, t.window, GCGraphicsExposures, &values);
    // Another client's window: only its size, exposures and end matter.
    if (!loop.ownWindow) XSelectInput(display, t.window, StructureNotifyMask | ExposureMask);
    t.font = XLoadQueryFont(display, "fixed");

    const auto refresh =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / RefreshRate(display)));
    const auto delay = std::chrono::microseconds(TheOptions.delay);
    auto rateStart = Clock::now();
    int rateFrames = 0;
    double fps = 0;
    while (loop.exitCode < 0) {
        const auto frameStart = Clock::now();
        ChangePicture(loop);
        Repaint(loop);
        if (TheScene.sceneReady) {
            RenderFrame(TheScene, Settings);
            ++rateFrames;
            const double seconds = std::chrono::duration<double>(Clock::now() - rateStart).count();
            if (seconds >= 1.0) {
                fps = rateFrames / seconds;
                rateFrames = 0;
                rateStart = Clock::now();
            }
            if (TheOptions.fps) DrawFrameRate(fps);
        }
        // -delay after the frame, and no more frames than the display shows.
        const auto next = Clock::now() + delay;
        WaitUntil(loop, next > frameStart + refresh ? next : frameStart + refresh);
    }
    TeardownScene(TheScene);
    // A picture being read is not waited for (libpng and libjpeg cannot be
    // stopped halfway, and a 24-megapixel file takes half a second): the
    // process ends around it. Held in a global, so it is not a leak either.
    static PictureRotation* leftReading = TheSlideshow.rotation.release();
    (void)leftReading;
    DetachX11Target();
    XCloseDisplay(display);
    return loop.exitCode;
}
