#include "imaging/surface_x11.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/status_text.h"

X11Target TheX11Target;

namespace {

uint32_t ChannelValue(unsigned long mask, uint8_t v)
{
    if (mask == 0) return 0;
    int shift = 0, bits = 0;
    while (!((mask >> shift) & 1)) ++shift;
    while ((mask >> (shift + bits)) & 1) ++bits;
    // Scaled, not shifted: a 10-bit channel shows 255 as its full 1023.
    const uint32_t top = (1u << bits) - 1;
    return ((static_cast<uint32_t>(v) * top + 127) / 255) << shift;
}

VisualPixels PixelsOf(const Visual* visual)
{
    VisualPixels p;
    p.redMask = visual->red_mask;
    p.greenMask = visual->green_mask;
    p.blueMask = visual->blue_mask;
    return p;
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

}  // namespace

unsigned long VisualPixels::Pixel(uint8_t r, uint8_t g, uint8_t b) const
{
    return ChannelValue(redMask, r) | ChannelValue(greenMask, g) | ChannelValue(blueMask, b);
}

X11Surface::X11Surface(int32_t hiColor, WindowHandle target, const Rect32& rect)
    : MemorySurface(hiColor, rect), pixels_(PixelsOf(TheX11Target.visual))
{
    window = target;
    if (hiColor) {
        lookup_.resize(32768);
        for (uint32_t w = 0; w < 32768; ++w)
            lookup_[w] = static_cast<uint32_t>(
                pixels_.Pixel(WidenChannel5(w >> 10), WidenChannel5((w >> 5) & 31), WidenChannel5(w & 31)));
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
    for (int i = 0; i < 256; ++i)
        lookup_[i] = static_cast<uint32_t>(pixels_.Pixel(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]));
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

// GDI ignores bit 15 of a 5-5-5 word; the mask also keeps the lookup inside
// its table.
template <typename Out, typename In>
static void ConvertRow(Out* out, const In* in, int width, const uint32_t* lookup, uint32_t mask)
{
    for (int x = 0; x < width; ++x) out[x] = static_cast<Out>(lookup[in[x] & mask]);
}

template <typename In>
static void ConvertImageRow(XImage* image, int j, const In* in, const uint32_t* lookup, uint32_t mask)
{
    char* out = image->data + static_cast<size_t>(j) * image->bytes_per_line;
    if (image->bits_per_pixel == 32)
        ConvertRow(reinterpret_cast<uint32_t*>(out), in, image->width, lookup, mask);
    else if (image->bits_per_pixel == 16)
        ConvertRow(reinterpret_cast<uint16_t*>(out), in, image->width, lookup, mask);
    else
        for (int x = 0; x < image->width; ++x) XPutPixel(image, x, j, lookup[in[x] & mask]);
}

void X11Surface::ConvertRows(int32_t srcX, int32_t srcY)
{
    for (int j = 0; j < image_->height; ++j) {
        const uint8_t* row = PictureRow(srcY + j);
        if (HiColor())
            ConvertImageRow(image_, j, reinterpret_cast<const uint16_t*>(row) + srcX, lookup_.data(), 0x7FFF);
        else
            ConvertImageRow(image_, j, row + srcX, lookup_.data(), 0xFF);
    }
}

void X11Surface::Show()
{
    X11Target& t = TheX11Target;
    // Signed and truncating toward zero, as on Windows: a frame 3 wider than
    // the window starts at x = -1 and is cropped on both sides.
    const int32_t x = (t.width - Width()) / 2, y = (t.height - Height()) / 2;
    const int32_t left = std::max(0, x), top = std::max(0, y);
    const int32_t right = std::min(t.width, x + Width()), bottom = std::min(t.height, y + Height());
    if (right <= left || bottom <= top || pixelMemory == nullptr) return;
    if (image_ == nullptr || image_->width != right - left || image_->height != bottom - top)
        MakeImage(right - left, bottom - top);
    if (image_ == nullptr) return;
    ConvertRows(left - x, top - y);
    if (shmImage_)
        XShmPutImage(t.display, t.window, t.gc, image_, 0, 0, left, top, image_->width, image_->height, False);
    else
        XPutImage(t.display, t.window, t.gc, image_, 0, 0, left, top, image_->width, image_->height);
    // The shared image is written again for the next frame only once the
    // server has read it.
    XSync(t.display, False);
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
    const VisualPixels pixels = PixelsOf(t.visual);
    XSetForeground(t.display, t.gc, pixels.Pixel(0, 0, 0));
    XFillRectangle(t.display, t.window, t.gc, 0, 0, t.width, t.height);
    if (t.font != nullptr) {
        const int length = static_cast<int>(std::strlen(text));
        const int width = XTextWidth(t.font, text, length);
        const int ascent = t.font->ascent, descent = t.font->descent;
        XSetFont(t.display, t.gc, t.font->fid);
        XSetBackground(t.display, t.gc, pixels.Pixel(255, 255, 255));
        XDrawImageString(t.display, t.window, t.gc, (t.width - width) / 2, (t.height - ascent - descent) / 2 + ascent,
                         text, length);
    }
    XSync(t.display, False);
}
