#include "imaging/surface_x11.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "imaging/status_text.h"

X11Target TheX11Target;

namespace {

struct ChannelShape {
    int shift = 0, bits = 0;
};

ChannelShape ShapeOf(unsigned long mask)
{
    ChannelShape c;
    if (mask == 0) return c;
    while (!((mask >> c.shift) & 1)) ++c.shift;
    while (c.shift + c.bits < 64 && ((mask >> (c.shift + c.bits)) & 1)) ++c.bits;
    return c;
}

uint32_t ChannelValue(unsigned long mask, uint8_t v)
{
    const ChannelShape c = ShapeOf(mask);
    if (c.bits == 0) return 0;
    // Scaled, not shifted: a 10-bit channel shows 255 as its full 1023.
    const uint32_t top = (1u << c.bits) - 1;
    return ((static_cast<uint32_t>(v) * top + 127) / 255) << c.shift;
}

int ColourBits(const XVisualInfo& v)
{
    // 256 exact colours: better than a 3-3-2 TrueColor, worse than 15 bits,
    // which show the 16-bit frames as well.
    if (v.c_class == PseudoColor) return 12;
    return ShapeOf(v.red_mask).bits + ShapeOf(v.green_mask).bits + ShapeOf(v.blue_mask).bits;
}

const char* ClassName(int c)
{
    static const char* const names[] = {"StaticGray", "GrayScale", "StaticColor", "PseudoColor", "TrueColor",
                                        "DirectColor"};
    return c >= 0 && c < 6 ? names[c] : "unknown";
}

// Empty when frames can be shown on the visual, else why not.
std::string Unusable(const XVisualInfo& v)
{
    const bool masked = v.c_class == TrueColor || v.c_class == DirectColor;
    if (masked && ShapeOf(v.red_mask).bits && ShapeOf(v.green_mask).bits && ShapeOf(v.blue_mask).bits) return "";
    if (v.c_class == PseudoColor && v.colormap_size >= 256) return "";
    char text[160];
    std::snprintf(text, sizeof text, "cannot draw on visual 0x%lx (%s, depth %d): it needs TrueColor, DirectColor or "
                  "PseudoColor with 256 colours", v.visualid, ClassName(v.c_class), v.depth);
    return text;
}

// A better visual shows more colour bits; at equal bits TrueColor needs no
// colormap, and the shallower visual has no alpha bits to fill.
bool Better(const XVisualInfo& a, const XVisualInfo& b)
{
    if (ColourBits(a) != ColourBits(b)) return ColourBits(a) > ColourBits(b);
    if ((a.c_class == TrueColor) != (b.c_class == TrueColor)) return a.c_class == TrueColor;
    return a.depth < b.depth;
}

bool attachFailed = false;
int TrapAttachError(Display*, XErrorEvent*)
{
    attachFailed = true;
    return 0;
}

int HostByteOrder()
{
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first ? LSBFirst : MSBFirst;
}

void StoreCells(const uint8_t* colours768)
{
    X11Target& t = TheX11Target;
    std::memcpy(t.cells, colours768, sizeof t.cells);
    if (t.colormap == 0 || t.visual->c_class != PseudoColor) return;
    XColor cells[256];
    for (int i = 0; i < 256; ++i) {
        cells[i].pixel = static_cast<unsigned long>(i);
        cells[i].red = static_cast<unsigned short>(colours768[3 * i] * 257);
        cells[i].green = static_cast<unsigned short>(colours768[3 * i + 1] * 257);
        cells[i].blue = static_cast<unsigned short>(colours768[3 * i + 2] * 257);
        cells[i].flags = DoRed | DoGreen | DoBlue;
    }
    XStoreColors(t.display, t.colormap, cells, 256);
}

// DirectColor: each channel's cell i shows i of the channel's top, so pixels
// mean what they would on TrueColor.
void StoreRamp(const XVisualInfo& v, Colormap map)
{
    const ChannelShape r = ShapeOf(v.red_mask), g = ShapeOf(v.green_mask), b = ShapeOf(v.blue_mask);
    std::vector<XColor> cells;
    for (uint32_t i = 0; i < static_cast<uint32_t>(v.colormap_size); ++i) {
        XColor c = {};
        const auto level = [i](const ChannelShape& s, char flag, unsigned short& out, unsigned long& pixel) {
            const uint32_t top = (1u << s.bits) - 1;
            if (i > top) return char(0);
            out = static_cast<unsigned short>(i * 65535 / top);
            pixel |= static_cast<unsigned long>(i) << s.shift;
            return flag;
        };
        c.flags = static_cast<char>(level(r, DoRed, c.red, c.pixel) | level(g, DoGreen, c.green, c.pixel) |
                                    level(b, DoBlue, c.blue, c.pixel));
        if (c.flags != 0) cells.push_back(c);
    }
    XStoreColors(TheX11Target.display, map, cells.data(), static_cast<int>(cells.size()));
}

}  // namespace

bool ChooseX11Visual(Display* display, int screen, const std::string& choice, XVisualInfo& chosen,
                     std::string& reason)
{
    XVisualInfo pattern = {};
    pattern.screen = screen;
    int count = 0;
    XVisualInfo* all = XGetVisualInfo(display, VisualScreenMask, &pattern, &count);
    const VisualID defaultId = XVisualIDFromVisual(DefaultVisual(display, screen));
    char* end = nullptr;
    const unsigned long id = std::strtoul(choice.c_str(), &end, 0);
    const bool numeric = !choice.empty() && *end == '\0' && choice[0] != '-';
    int wantedClass = -1;
    for (int c = 0; c < 6; ++c)
        if (strcasecmp(choice.c_str(), ClassName(c)) == 0) wantedClass = c;
    const bool best = strcasecmp(choice.c_str(), "best") == 0, byDefault = strcasecmp(choice.c_str(), "default") == 0;
    const XVisualInfo* found = nullptr;
    for (int i = 0; i < count; ++i) {
        const XVisualInfo& v = all[i];
        if (byDefault ? v.visualid == defaultId
            : numeric ? v.visualid == id
            : best    ? Unusable(v).empty() && (found == nullptr || Better(v, *found))
                      : v.c_class == wantedClass && (found == nullptr || Better(v, *found)))
            found = &v;
    }
    if (found != nullptr) chosen = *found;
    if (found == nullptr && (numeric || byDefault || best || wantedClass >= 0))
        reason = "no visual \"" + choice + "\" on this screen";
    else if (found == nullptr)
        reason = "-visual takes default, best, TrueColor, PseudoColor, DirectColor or an ID, not \"" + choice + "\"";
    if (all != nullptr) XFree(all);
    return found != nullptr;
}

bool AttachX11Target(Display* display, Window window, const X11OutputOptions& options, std::string& reason)
{
    X11Target& t = TheX11Target;
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, window, &a)) {
        reason = "the window is gone";
        return false;
    }
    XVisualInfo pattern = {};
    pattern.visualid = XVisualIDFromVisual(a.visual);
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &pattern, &count);
    if (info == nullptr) {
        reason = "the window's visual is unknown to the server";
        return false;
    }
    const XVisualInfo v = *info;
    XFree(info);
    reason = Unusable(v);
    if (!reason.empty()) return false;

    t.display = display;
    t.window = window;
    t.visual = a.visual;
    t.depth = a.depth;
    t.width = a.width;
    t.height = a.height;
    // Asked first: Xlib answers a request of a missing extension with a
    // message on stderr for every frame.
    t.shmAllowed = options.useShm && XShmQueryExtension(display);
    // The palette, or the ramp, needs cells of its own; -install asks for a
    // private colormap whatever the visual.
    const bool writable = v.c_class != TrueColor;
    if (writable || options.installColormap) {
        t.colormap = XCreateColormap(display, window, a.visual, writable ? AllocAll : AllocNone);
        t.replacedColormap = a.colormap;
        uint8_t start[768] = {};
        // Until a picture's palette arrives: black, and white and yellow for texts.
        std::memset(start + 3, 255, 3);
        start[6] = start[7] = 255;
        if (v.c_class == DirectColor) StoreRamp(v, t.colormap);
        StoreCells(start);
        XSetWindowColormap(display, window, t.colormap);
        XInstallColormap(display, t.colormap);
    }
    return true;
}

void DetachX11Target()
{
    X11Target& t = TheX11Target;
    if (t.colormap == 0) return;
    XSetWindowColormap(t.display, t.window, t.replacedColormap);
    XUninstallColormap(t.display, t.colormap);
    XFreeColormap(t.display, t.colormap);
    t.colormap = 0;
}

bool X11TargetShowsHiColor() { return TheX11Target.visual == nullptr || TheX11Target.visual->c_class != PseudoColor; }

unsigned long X11Pixel(uint8_t r, uint8_t g, uint8_t b)
{
    const X11Target& t = TheX11Target;
    if (t.visual->c_class == PseudoColor) {
        int nearest = 0, distance = 1 << 30;
        for (int i = 0; i < 256; ++i) {
            const int dr = t.cells[3 * i] - r, dg = t.cells[3 * i + 1] - g, db = t.cells[3 * i + 2] - b;
            if (dr * dr + dg * dg + db * db < distance) distance = dr * dr + dg * dg + db * db, nearest = i;
        }
        return static_cast<unsigned long>(nearest);
    }
    // Bits of the depth outside the channels are alpha on a 32-bit visual:
    // set, so a compositor shows the frame opaque.
    const unsigned long all = t.depth >= 32 ? 0xFFFFFFFFul : (1ul << t.depth) - 1;
    const unsigned long alpha = all & ~(t.visual->red_mask | t.visual->green_mask | t.visual->blue_mask);
    return ChannelValue(t.visual->red_mask, r) | ChannelValue(t.visual->green_mask, g) |
           ChannelValue(t.visual->blue_mask, b) | alpha;
}

X11Surface::X11Surface(int32_t hiColor, WindowHandle target, const Rect32& rect) : MemorySurface(hiColor, rect)
{
    window = target;
    if (hiColor) {
        lookup_.resize(32768);
        for (uint32_t w = 0; w < 32768; ++w)
            lookup_[w] = static_cast<uint32_t>(
                X11Pixel(WidenChannel5(w >> 10), WidenChannel5((w >> 5) & 31), WidenChannel5(w & 31)));
    } else {
        lookup_.assign(256, 0);
    }
}

void X11Surface::Release()
{
    DropImage();
    MemorySurface::Release();
}

void X11Surface::SetPalette(const uint8_t* colours768)
{
    MemorySurface::SetPalette(colours768);
    if (HiColor()) return;
    // PseudoColor: the cells take the palette, and an index is its own pixel.
    if (TheX11Target.visual->c_class == PseudoColor) {
        StoreCells(colours);
        for (uint32_t i = 0; i < 256; ++i) lookup_[i] = i;
        return;
    }
    for (int i = 0; i < 256; ++i)
        lookup_[i] = static_cast<uint32_t>(X11Pixel(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]));
}

void X11Surface::MakeImage(int width, int height)
{
    DropImage();
    X11Target& t = TheX11Target;
    if (t.shmAllowed) {
        image_ = XShmCreateImage(t.display, t.visual, t.depth, ZPixmap, nullptr, &shm_, width, height);
        if (image_ != nullptr) {
            shm_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height, IPC_CREAT | 0600);
            void* at = shm_.shmid < 0 ? reinterpret_cast<void*>(-1) : shmat(shm_.shmid, nullptr, 0);
            attachFailed = at == reinterpret_cast<void*>(-1);
            if (!attachFailed) {
                shm_.shmaddr = image_->data = static_cast<char*>(at);
                shm_.readOnly = False;
                // A remote server answers the attach with an error.
                XErrorHandler previous = XSetErrorHandler(TrapAttachError);
                XShmAttach(t.display, &shm_);
                XSync(t.display, False);
                XSetErrorHandler(previous);
            }
            // Marked for removal at once: the segment goes when both sides
            // detach, however this process ends.
            if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
            if (!attachFailed) {
                shmImage_ = true;
                return;
            }
            if (at != reinterpret_cast<void*>(-1)) shmdt(at);
            image_->data = nullptr;
            XDestroyImage(image_);
            image_ = nullptr;
        }
        t.shmAllowed = false;
    }
    image_ = XCreateImage(t.display, t.visual, t.depth, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (image_ == nullptr) return;
    image_->data = static_cast<char*>(std::malloc(static_cast<size_t>(image_->bytes_per_line) * height));
    if (image_->data == nullptr) {
        XDestroyImage(image_);
        image_ = nullptr;
        return;
    }
    // Written in the host's order; Xlib swaps for a server of the other.
    image_->byte_order = HostByteOrder();
}

void X11Surface::DropImage()
{
    if (image_ == nullptr) return;
    if (shmImage_) {
        XShmDetach(TheX11Target.display, &shm_);
        XSync(TheX11Target.display, False);
        shmdt(shm_.shmaddr);
        image_->data = nullptr;
    }
    XDestroyImage(image_);
    image_ = nullptr;
    shmImage_ = false;
}

namespace {

// GDI ignores bit 15 of a 5-5-5 word; the mask also keeps the lookup inside
// its table.
template <typename Out, typename In>
void ConvertRow(Out* out, const In* in, int width, const uint32_t* lookup, uint32_t mask)
{
    for (int x = 0; x < width; ++x) out[x] = static_cast<Out>(lookup[in[x] & mask]);
}

// With `columns`, image column x shows frame column columns[x].
template <typename Out, typename In>
void ScaleRow(Out* out, const In* in, int width, const uint32_t* lookup, uint32_t mask, const int32_t* columns)
{
    for (int x = 0; x < width; ++x) out[x] = static_cast<Out>(lookup[in[columns[x]] & mask]);
}

template <typename In>
void ConvertImageRow(XImage* image, int j, const In* in, const uint32_t* lookup, uint32_t mask,
                     const int32_t* columns = nullptr)
{
    char* out = image->data + static_cast<size_t>(j) * image->bytes_per_line;
    const int w = image->width;
    if (columns != nullptr) {
        switch (image->bits_per_pixel) {
        case 32: return ScaleRow(reinterpret_cast<uint32_t*>(out), in, w, lookup, mask, columns);
        case 16: return ScaleRow(reinterpret_cast<uint16_t*>(out), in, w, lookup, mask, columns);
        case 8: return ScaleRow(reinterpret_cast<uint8_t*>(out), in, w, lookup, mask, columns);
        default:
            for (int x = 0; x < w; ++x) XPutPixel(image, x, j, lookup[in[columns[x]] & mask]);
        }
        return;
    }
    switch (image->bits_per_pixel) {
    case 32: ConvertRow(reinterpret_cast<uint32_t*>(out), in, w, lookup, mask); break;
    case 16: ConvertRow(reinterpret_cast<uint16_t*>(out), in, w, lookup, mask); break;
    case 8: ConvertRow(reinterpret_cast<uint8_t*>(out), in, w, lookup, mask); break;
    default:
        for (int x = 0; x < w; ++x) XPutPixel(image, x, j, lookup[in[x] & mask]);
    }
}

// The frame side n shown over m window pixels: window pixel i shows the
// frame pixel under its centre.
std::vector<int32_t> NearestMap(int32_t n, int32_t m)
{
    std::vector<int32_t> map(static_cast<size_t>(m));
    for (int32_t i = 0; i < m; ++i)
        map[i] = static_cast<int32_t>((2 * static_cast<int64_t>(i) + 1) * n / (2 * static_cast<int64_t>(m)));
    return map;
}

}  // namespace

void X11Surface::PrepareImage()
{
    const X11Target& t = TheX11Target;
    if (t.fillWindow) return PrepareScaledImage();
    // Signed and truncating toward zero, as on Windows: a frame 3 wider than
    // the window starts at x = -1 and is cropped on both sides.
    const int32_t x = (t.width - Width()) / 2, y = (t.height - Height()) / 2;
    const int32_t left = std::max(0, x), top = std::max(0, y);
    const int32_t right = std::min(t.width, x + Width()), bottom = std::min(t.height, y + Height());
    frameX_ = left - x, frameY_ = top - y, windowX_ = left, windowY_ = top;
    if (right <= left || bottom <= top || pixelMemory == nullptr) return DropImage();
    if (image_ == nullptr || image_->width != right - left || image_->height != bottom - top)
        MakeImage(right - left, bottom - top);
}

void X11Surface::PrepareScaledImage()
{
    const X11Target& t = TheX11Target;
    const int64_t fw = Width(), fh = Height();
    // The largest size of the frame's shape inside the window.
    const bool widthBound = t.width * fh <= t.height * fw;
    const int32_t w = static_cast<int32_t>(widthBound ? t.width : fw * t.height / fh);
    const int32_t h = static_cast<int32_t>(widthBound ? fh * t.width / fw : t.height);
    windowX_ = (t.width - w) / 2, windowY_ = (t.height - h) / 2;
    if (w <= 0 || h <= 0 || pixelMemory == nullptr) return DropImage();
    if (image_ == nullptr || image_->width != w || image_->height != h) {
        MakeImage(w, h);
        columns_ = NearestMap(Width(), w);
        rows_ = NearestMap(Height(), h);
    }
}

void X11Surface::ConvertRows(int32_t firstRow, int32_t endRow)
{
    if (image_ == nullptr) return;
    if (TheX11Target.fillWindow) {
        // Rows are nondecreasing: the image rows of a band lie together.
        const auto first = std::lower_bound(rows_.begin(), rows_.end(), firstRow);
        const auto end = std::lower_bound(first, rows_.end(), endRow);
        for (auto j = first; j != end; ++j) {
            const uint8_t* row = PictureRow(*j);
            const int i = static_cast<int>(j - rows_.begin());
            if (HiColor())
                ConvertImageRow(image_, i, reinterpret_cast<const uint16_t*>(row), lookup_.data(), 0x7FFF,
                                columns_.data());
            else
                ConvertImageRow(image_, i, row, lookup_.data(), 0xFF, columns_.data());
        }
        return;
    }
    const int32_t first = std::max(firstRow, frameY_), end = std::min(endRow, frameY_ + image_->height);
    for (int32_t r = first; r < end; ++r) {
        const uint8_t* row = PictureRow(r);
        if (HiColor())
            ConvertImageRow(image_, r - frameY_, reinterpret_cast<const uint16_t*>(row) + frameX_, lookup_.data(),
                            0x7FFF);
        else
            ConvertImageRow(image_, r - frameY_, row + frameX_, lookup_.data(), 0xFF);
    }
}

void X11Surface::PutImage()
{
    X11Target& t = TheX11Target;
    if (image_ == nullptr) return;
    if (shmImage_)
        XShmPutImage(t.display, t.window, t.gc, image_, 0, 0, windowX_, windowY_, image_->width, image_->height,
                     False);
    else
        XPutImage(t.display, t.window, t.gc, image_, 0, 0, windowX_, windowY_, image_->width, image_->height);
    // The shared image is written again for the next frame only once the
    // server has read it.
    XSync(t.display, False);
}

void X11Surface::Show()
{
    if (!converted_) {
        PrepareImage();
        ConvertRows(0, Height());
    }
    converted_ = false;
    PutImage();
}

void X11Surface::FramePrepared()
{
    PrepareImage();
    converted_ = true;
}

void Surface::Present()
{
    // Every surface of this program is an X11Surface (CreateSurface).
    static_cast<X11Surface*>(this)->Show();
    ++framesPresented;
}

Surface* CreateSurface(int32_t hiColor, WindowHandle target, const Rect32& frame)
{
    return new X11Surface(hiColor, target, frame);
}

Rect32 ClientRectOf(WindowHandle) { return Rect32{0, 0, TheX11Target.width, TheX11Target.height}; }

void DrawStatusText(WindowHandle, TextContext, const char* text, const Rect32&) { DrawCentredText(text); }

void DrawCentredText(const char* text)
{
    X11Target& t = TheX11Target;
    if (t.font == nullptr) t.font = XLoadQueryFont(t.display, "fixed");
    if (t.font == nullptr) t.font = XQueryFont(t.display, XGContextFromGC(t.gc));
    XSetForeground(t.display, t.gc, X11Pixel(0, 0, 0));
    XFillRectangle(t.display, t.window, t.gc, 0, 0, t.width, t.height);
    if (t.font != nullptr) {
        const int length = static_cast<int>(std::strlen(text));
        const int width = XTextWidth(t.font, text, length);
        const int ascent = t.font->ascent, descent = t.font->descent;
        XSetFont(t.display, t.gc, t.font->fid);
        XSetBackground(t.display, t.gc, X11Pixel(255, 255, 255));
        XDrawImageString(t.display, t.window, t.gc, (t.width - width) / 2, (t.height - ascent - descent) / 2 + ascent,
                         text, length);
    }
    XSync(t.display, False);
}
