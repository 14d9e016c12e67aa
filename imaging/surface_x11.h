#pragma once
// The X11 surface: the frame in heap memory as on every platform, shown by
// converting it through lookup tables into an XImage of the window's visual
// and putting that, centred and cropped, into the window (MIT-SHM when the
// server offers it, plain XPutImage otherwise).
//
// Visuals drawn on: TrueColor of any depth (channels scaled to the visual's
// masks), DirectColor through a linear ramp in a private colormap, and
// PseudoColor with 256 cells or more, whose private colormap holds the
// picture's own palette (16-bit frames cannot be shown there: the front end
// asks X11TargetShowsHiColor and falls back to 8-bit frames).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/surface_memory.h"

// How frames reach the server, as the command line chose.
struct X11OutputOptions {
    // -shm / -no-shm: MIT-SHM when the server has it.
    bool useShm = true;
    // -visual for a window of the program's own: default, best, TrueColor,
    // PseudoColor, DirectColor (any letter case) or a visual ID (decimal or
    // 0x hex). Another client's window keeps its own visual.
    std::string visual = "default";
    // -install: a private colormap even where the visual does not need one.
    bool installColormap = false;
};

// The one display and window the program draws into, set up by
// AttachX11Target before the first scene; width and height follow the
// window's configure events.
struct X11Target {
    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    int width = 0;
    int height = 0;
    GC gc = nullptr;
    XFontStruct* font = nullptr;
    // Cleared when the server has no MIT-SHM, refuses it, or -no-shm.
    bool shmAllowed = true;
    // The low-resolution look: the frame scaled to fill the window, aspect
    // kept, each window pixel the frame pixel nearest its centre; the rest
    // of the window stays black.
    bool fillWindow = false;
    // The private colormap set on the window, and the one it replaced.
    Colormap colormap = 0;
    Colormap replacedColormap = 0;
    // PseudoColor: the colours the first 256 cells hold now.
    uint8_t cells[768] = {};
};
extern X11Target TheX11Target;

// The visual a window of the program's own is made with. False, with one line
// saying why, when the choice names none on the screen.
bool ChooseX11Visual(Display* display, int screen, const std::string& choice, XVisualInfo& chosen,
                     std::string& reason);

// Makes the window the target: its visual, depth and size, MIT-SHM as the
// options and the server allow, and a private colormap where the visual needs
// one (installed at once: a screen saver owns the screen while it runs).
// False, with one line saying why, when the window's visual cannot show
// frames.
bool AttachX11Target(Display* display, Window window, const X11OutputOptions& options, std::string& reason);
// Gives the window its colormap back and frees the private one.
void DetachX11Target();

// Whether 16-bit frames can be shown; a PseudoColor target takes 8-bit ones.
bool X11TargetShowsHiColor();

// The target's pixel for an 8-bit-per-channel colour: exact on TrueColor and
// DirectColor, the nearest colour the cells hold on PseudoColor.
unsigned long X11Pixel(uint8_t r, uint8_t g, uint8_t b);

// What GDI shows for a 5-5-5 channel: the five bits widened to eight by
// repeating the top ones.
inline uint8_t WidenChannel5(uint32_t c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); }

class X11Surface : public MemorySurface {
public:
    X11Surface(int32_t hiColor, WindowHandle target, const Rect32& rect);

    void Release() override;
    void SetPalette(const uint8_t* colours768) override;

    // Show is the three steps below; after the renderer's bands (through
    // FramePrepared and RowsDrawn) only the last.
    void Show();
    // Makes the image for the window's present size, if it changed.
    void PrepareImage();
    // Converts picture rows [firstRow, endRow) (0 = top row on screen) to the
    // visual's pixels, those inside the window only.
    void ConvertRows(int32_t firstRow, int32_t endRow);
    // Puts the image centred into the window and waits until the server has
    // read it.
    void PutImage();

    // The renderer's bands: the image made before, each band converted as
    // soon as it is drawn, and Present then only puts it.
    void FramePrepared() override;
    void PictureRowsDrawn(int32_t firstRow, int32_t endRow) override { ConvertRows(firstRow, endRow); }

private:
    void PrepareScaledImage();
    void MakeImage(int width, int height);
    void DropImage();

    // 8-bit frames: palette index -> pixel; 16-bit frames: 5-5-5 word -> pixel.
    std::vector<uint32_t> lookup_;
    XImage* image_ = nullptr;
    // Where the image's top-left pixel lies in the frame and in the window.
    int32_t frameX_ = 0, frameY_ = 0, windowX_ = 0, windowY_ = 0;
    // fillWindow: the frame column and row each image column and row shows.
    std::vector<int32_t> columns_, rows_;
    XShmSegmentInfo shm_ = {};
    bool shmImage_ = false;
    // Set by FramePrepared: the bands have converted this frame.
    bool converted_ = false;
};

// Draws a line of text centred in the window, black on white as GDI's default
// colours are, over a black window.
void DrawCentredText(const char* text);
