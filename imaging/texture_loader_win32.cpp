// The texture loaders of the Windows build: the platform's image loader reads
// the file and GetDIBits converts it to the wanted depth. A file the bitmap
// loader refuses that is no BMP (a PNG, a JPEG) is read by the Windows Imaging
// Component into a 32-bit DIB section instead, which then takes the same
// conversion as a 24-bit BMP of the same pixels.

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/bmp_decoder.h"
#include "imaging/texture.h"

namespace {

struct TextureBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// A COM interface pointer released on scope exit.
template <typename T>
struct ComRef {
    T* p = nullptr;
    ~ComRef()
    {
        if (p != nullptr) p->Release();
    }
    T* operator->() const { return p; }
};

// COM for this thread while a picture is read, unless the thread had it
// already in another mode (then what it has serves as well).
struct ComScope {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ~ComScope()
    {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

bool StartsLikeBmp(const char* path)
{
    char head[2] = {};
    std::FILE* file = std::fopen(path, "rb");
    const bool bmp = file != nullptr && std::fread(head, 1, 2, file) == 2 && head[0] == 'B' && head[1] == 'M';
    if (file != nullptr) std::fclose(file);
    return bmp;
}

// Frame 0 of the file as a top-down 32-bit DIB section, transparency over
// black (premultiplied), or null with the reason. The size is checked before
// the pixels are allocated, with the bounds of every texture.
HBITMAP ReadThroughWic(const char* path, std::string& why)
{
    wchar_t wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) {
        why = "the file name cannot be read";
        return nullptr;
    }
    ComScope com;
    HRESULT hr = com.result == RPC_E_CHANGED_MODE ? S_OK : com.result;
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&factory.p));
    if (SUCCEEDED(hr))
        hr = factory->CreateDecoderFromFilename(wide, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                &decoder.p);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame.p);
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&converter.p);
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) {
        char text[96];
        std::snprintf(text, sizeof text, "the system's image loaders cannot read it (0x%08lx)",
                      static_cast<unsigned long>(hr));
        why = text;
        return nullptr;
    }
    if (width > static_cast<UINT>(kMaxBitmapSide) || height > static_cast<UINT>(kMaxBitmapSide) ||
        uint64_t{width} * height > static_cast<uint64_t>(kMaxBitmapTexels) || width < 4 || height < 1) {
        why = "its size is not one a texture can have";
        return nullptr;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) {
        why = "out of memory";
        return nullptr;
    }
    const UINT stride = width * 4;
    hr = converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits));
    if (FAILED(hr)) {
        DeleteObject(bitmap);
        char text[96];
        std::snprintf(text, sizeof text, "the picture's data cannot be decoded (0x%08lx)",
                      static_cast<unsigned long>(hr));
        why = text;
        return nullptr;
    }
    return bitmap;
}

// The loaded bitmap selected into a memory context, given back on scope exit.
class LoadedBitmap {
public:
    explicit LoadedBitmap(const char* path)
    {
        bitmap_ = static_cast<HBITMAP>(
            LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        // BMP files keep the bitmap loader's answer.
        if (bitmap_ == nullptr && path != nullptr && !StartsLikeBmp(path)) bitmap_ = ReadThroughWic(path, why_);
        if (bitmap_ == nullptr) return;
        dc_ = CreateCompatibleDC(nullptr);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~LoadedBitmap()
    {
        if (bitmap_ == nullptr) return;
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    LoadedBitmap(const LoadedBitmap&) = delete;
    LoadedBitmap& operator=(const LoadedBitmap&) = delete;

    bool Loaded() const { return bitmap_ != nullptr; }
    HDC Dc() const { return dc_; }
    HBITMAP Bitmap() const { return bitmap_; }
    // Why a file that is no BMP could not be read; empty otherwise.
    const std::string& Why() const { return why_; }

private:
    std::string why_;
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Asks for the bitmap's size; false when the query fails or the size is of
// no use: the mapper divides by both sides, sides beyond the renderer's limit
// would overflow its 16.16 coordinates, and the texels are allocated from the
// size the file declares, which costs a few bytes in a run-length file.
bool QueryFormat(const LoadedBitmap& bmp, TextureBitmapInfo& info, DWORD compression, int32_t& width,
                 int32_t& height)
{
    info.header = BITMAPINFOHEADER{};
    info.colours[0] = RGBQUAD{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biPlanes = 1;
    info.header.biCompression = compression;
    if (GetDIBits(bmp.Dc(), bmp.Bitmap(), 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) ==
        0)
        return false;
    width = info.header.biWidth & ~3;
    height = info.header.biHeight;
    if (width < 4 || height < 1) return false;
    if (info.header.biWidth > kMaxBitmapSide || height > kMaxBitmapSide ||
        int64_t{info.header.biWidth} * height > kMaxBitmapTexels)
        return false;
    info.header.biWidth = width;
    // Negative height asks for the rows top-down.
    info.header.biHeight = -height;
    return true;
}

const char kUnreadable[] = "the system's image loader cannot read it as a bitmap";
const char kUnsupportedSize[] = "its size is not one a texture can have";
const char kOutOfMemory[] = "out of memory";

int32_t Refuse(std::string* reason, const char* why)
{
    if (reason != nullptr) *reason = why;
    return -1;
}

}  // namespace

int32_t LoadTexture8(const char* path, int32_t* outWidth, int32_t* outHeight, uint8_t** outPalette,
                     uint8_t** outPixels, std::string* reason)
{
    LoadedBitmap bmp(path);
    if (!bmp.Loaded()) return Refuse(reason, kUnreadable);
    TextureBitmapInfo info;
    int32_t width = 0;
    int32_t height = 0;
    if (!QueryFormat(bmp, info, BI_RGB, width, height)) return Refuse(reason, kUnsupportedSize);

    auto* pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(width), static_cast<size_t>(height)));
    auto* palette = static_cast<uint8_t*>(std::malloc(768));
    if (pixels == nullptr || palette == nullptr) {
        std::free(pixels);
        std::free(palette);
        return Refuse(reason, kOutOfMemory);
    }
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biPlanes = 1;
    // A failed read leaves every texel at index 0, which is still a picture.
    GetDIBits(bmp.Dc(), bmp.Bitmap(), 0, static_cast<UINT>(height), pixels, reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    for (int i = 0; i < 256; ++i) {
        palette[3 * i] = info.colours[i].rgbRed;
        palette[3 * i + 1] = info.colours[i].rgbGreen;
        palette[3 * i + 2] = info.colours[i].rgbBlue;
    }
    *outWidth = width;
    *outHeight = height;
    *outPixels = pixels;
    *outPalette = palette;
    return 0;
}

int32_t LoadTexture16(const char* path, int32_t* outWidth, int32_t* outHeight, uint16_t** outPixels,
                      std::string* reason)
{
    LoadedBitmap bmp(path);
    if (!bmp.Loaded()) return Refuse(reason, kUnreadable);
    TextureBitmapInfo info;
    int32_t width = 0;
    int32_t height = 0;
    if (!QueryFormat(bmp, info, BI_BITFIELDS, width, height)) return Refuse(reason, kUnsupportedSize);

    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 2;
    auto* pixels = static_cast<uint16_t*>(std::malloc(bytes));
    if (pixels == nullptr) return Refuse(reason, kOutOfMemory);
    // A plain 16-bit request is 5-5-5 by definition, the layout the renderer
    // works in. A bit-field request would leave the masks to the platform,
    // and with the masks the format query returns (none) the conversion
    // yields empty texels.
    info.header.biBitCount = 16;
    info.header.biCompression = BI_RGB;
    info.header.biPlanes = 1;
    info.header.biClrUsed = 0;
    info.header.biClrImportant = 0;
    info.header.biSizeImage = 0;
    GetDIBits(bmp.Dc(), bmp.Bitmap(), 0, static_cast<UINT>(height), pixels, reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    *outWidth = width;
    *outHeight = height;
    *outPixels = pixels;
    return 0;
}
