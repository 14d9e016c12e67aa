#include "tools/frame_output.h"

#include <gif_lib.h>
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/surface_memory.h"

Frame CaptureFrame(const MemorySurface& surface)
{
    Frame f;
    f.width = surface.Width();
    f.height = surface.Height();
    f.hiColor = surface.HiColor();
    const size_t w = static_cast<size_t>(f.width), h = static_cast<size_t>(f.height);
    const size_t bpp = static_cast<size_t>(surface.BytesPerPixel());
    const size_t strideBytes = static_cast<size_t>(surface.Stride()) * bpp;
    const auto* memory = static_cast<const uint8_t*>(surface.pixelMemory);
    std::memcpy(f.palette, surface.colours, sizeof f.palette);
    if (w == 0 || h == 0) return f;  // an empty frame has no rows, and maybe no memory
    f.raw.resize(w * h * bpp);
    for (size_t r = 0; r < h; ++r) std::memcpy(&f.raw[r * w * bpp], memory + r * strideBytes, w * bpp);
    f.screen.resize(w * h);
    for (int32_t y = 0; y < f.height; ++y) {
        const uint8_t* row = surface.PictureRow(y);
        uint16_t* out = &f.screen[static_cast<size_t>(y) * w];
        for (size_t x = 0; x < w; ++x) {
            uint16_t value;
            if (f.hiColor)
                std::memcpy(&value, row + 2 * x, 2);
            else
                value = row[x];
            out[x] = value;
        }
    }
    return f;
}

namespace {

constexpr int32_t kRedLevels = 6, kGreenLevels = 7, kBlueLevels = 6;

// The level of n nearest to the 5-bit channel c, rounding halves up.
inline uint32_t Level(uint32_t c, uint32_t n) { return (c * (n - 1) * 2 + 31) / 62; }

inline uint8_t LevelValue(uint32_t level, uint32_t n) { return static_cast<uint8_t>((level * 255 + (n - 1) / 2) / (n - 1)); }

}  // namespace

void FixedGifPalette(uint8_t colours768[768])
{
    std::memset(colours768, 0, 768);
    for (int32_t r = 0; r < kRedLevels; ++r)
        for (int32_t g = 0; g < kGreenLevels; ++g)
            for (int32_t b = 0; b < kBlueLevels; ++b) {
                uint8_t* entry = colours768 + 3 * ((r * kGreenLevels + g) * kBlueLevels + b);
                entry[0] = LevelValue(r, kRedLevels);
                entry[1] = LevelValue(g, kGreenLevels);
                entry[2] = LevelValue(b, kBlueLevels);
            }
}

uint8_t FixedGifIndex(uint16_t pixel)
{
    const uint32_t r = Level((pixel >> 10) & 31, kRedLevels);
    const uint32_t g = Level((pixel >> 5) & 31, kGreenLevels);
    const uint32_t b = Level(pixel & 31, kBlueLevels);
    return static_cast<uint8_t>((r * kGreenLevels + g) * kBlueLevels + b);
}

PendingFile::PendingFile(std::string path) : path_(std::move(path)) {}

PendingFile::~PendingFile()
{
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool PendingFile::Open(std::string& error)
{
    std::vector<char> name(path_.begin(), path_.end());
    const char suffix[] = ".partial-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    temporary_ = name.data();
    // mkstemp makes the file private; the finished picture gets the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        error = path_ + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    return true;
}

int PendingFile::Descriptor() const { return stream_ != nullptr ? fileno(stream_) : -1; }

bool PendingFile::Commit(std::string& error)
{
    if (stream_ == nullptr) {
        error = path_ + ": not open";
        return false;
    }
    const bool failed = std::ferror(stream_) != 0;
    const int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (failed || closed != 0) {
        error = path_ + ": write failed";
        return false;
    }
    return CommitClosed(error);
}

bool PendingFile::CommitClosed(std::string& error)
{
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

namespace {

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    PendingFile file(path);
    if (!file.Open(error)) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size()) {
        error = path + ": write failed";
        return false;
    }
    return file.Commit(error);
}

}  // namespace

bool WriteRawFile(const std::string& path, const Frame& frame, std::string& error)
{
    return WriteBytes(path, frame.raw, error);
}

bool WriteBmpFile(const std::string& path, const Frame& frame, std::string& error)
{
    return WriteBytes(path, EncodeBmp(frame), error);
}

namespace {

struct PngFailure {
    char message[128] = {};
};

void PngError(png_structp png, png_const_charp message)
{
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Separate from the caller so that nothing with a destructor lives across setjmp.
bool EncodePng(FILE* stream, const Frame& frame, const std::vector<uint8_t>& rows, PngFailure& failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngError, PngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, stream);
    const size_t rowBytes = static_cast<size_t>(frame.width) * (frame.hiColor ? 3 : 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(frame.width), static_cast<png_uint_32>(frame.height), 8,
                 frame.hiColor ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    if (!frame.hiColor) {
        for (int32_t i = 0; i < 256; ++i)
            palette[i] = png_color{frame.palette[3 * i], frame.palette[3 * i + 1], frame.palette[3 * i + 2]};
        png_set_PLTE(png, info, palette, 256);
    }
    png_write_info(png, info);
    for (int32_t y = 0; y < frame.height; ++y)
        png_write_row(png, const_cast<png_bytep>(rows.data() + rowBytes * static_cast<size_t>(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePngFile(const std::string& path, const Frame& frame, std::string& error)
{
    std::vector<uint8_t> rows;
    rows.reserve(frame.screen.size() * (frame.hiColor ? 3 : 1));
    for (const uint16_t v : frame.screen) {
        if (frame.hiColor) {
            rows.push_back(Expand5((v >> 10) & 31));
            rows.push_back(Expand5((v >> 5) & 31));
            rows.push_back(Expand5(v & 31));
        } else {
            rows.push_back(static_cast<uint8_t>(v));
        }
    }
    PendingFile file(path);
    if (!file.Open(error)) return false;
    PngFailure failure;
    if (!EncodePng(file.Stream(), frame, rows, failure)) {
        error = path + ": " + (failure.message[0] ? failure.message : "PNG encoder failed");
        return false;
    }
    return file.Commit(error);
}

namespace {

// Frames of the animation follow each other at 25 per second.
constexpr int kGifFrameDelayCentiseconds = 4;

std::string GifReason(int code)
{
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "GIF encoder failed";
}

ColorMapObject* MakeColourMap(const uint8_t* colours768)
{
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    if (map == nullptr) return nullptr;
    for (int32_t i = 0; i < 256; ++i)
        map->Colors[i] = GifColorType{colours768[3 * i], colours768[3 * i + 1], colours768[3 * i + 2]};
    return map;
}

}  // namespace

GifAnimation::GifAnimation(const std::string& path) : file_(path) {}

GifAnimation::~GifAnimation()
{
    if (gif_ != nullptr) {
        int code = 0;
        // The temporary file itself goes with file_.
        EGifCloseFile(static_cast<GifFileType*>(gif_), &code);
    }
}

bool GifAnimation::Start(const Frame& frame, std::string& error)
{
    if (!file_.Open(error)) return false;
    // giflib takes over a descriptor of its own and closes it; the stream keeps
    // the original one until the file is done.
    const int fd = dup(file_.Descriptor());
    int code = 0;
    GifFileType* gif = fd >= 0 ? EGifOpenFileHandle(fd, &code) : nullptr;
    if (gif == nullptr) {
        if (fd >= 0) close(fd);
        error = "GIF: " + GifReason(code);
        return false;
    }
    gif_ = gif;
    width_ = frame.width;
    height_ = frame.height;
    if (frame.hiColor)
        FixedGifPalette(globalPalette_);
    else
        std::memcpy(globalPalette_, frame.palette, sizeof globalPalette_);
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = MakeColourMap(globalPalette_);
    const int put = map != nullptr ? EGifPutScreenDesc(gif, width_, height_, 8, 0, map) : GIF_ERROR;
    GifFreeMapObject(map);
    if (put == GIF_ERROR) {
        error = "GIF: " + GifReason(gif->Error);
        return false;
    }
    // Loop for ever.
    static const GifByteType netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof netscape, netscape) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_ERROR || EGifPutExtensionTrailer(gif) == GIF_ERROR) {
        error = "GIF: " + GifReason(gif->Error);
        return false;
    }
    line_.resize(static_cast<size_t>(width_));
    return true;
}

bool GifAnimation::Add(const Frame& frame, std::string& error)
{
    if (gif_ == nullptr && !Start(frame, error)) return false;
    auto* gif = static_cast<GifFileType*>(gif_);
    if (frame.width != width_ || frame.height != height_) {
        error = "GIF: frames differ in size";
        return false;
    }
    GraphicsControlBlock control = {};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = kGifFrameDelayCentiseconds;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t extensionBytes = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extensionBytes), extension) == GIF_ERROR) {
        error = "GIF: " + GifReason(gif->Error);
        return false;
    }
    // A frame whose palette is not the first frame's brings its own.
    ColorMapObject* local = nullptr;
    if (!frame.hiColor && std::memcmp(frame.palette, globalPalette_, sizeof globalPalette_) != 0) {
        local = MakeColourMap(frame.palette);
        if (local == nullptr) {
            error = "GIF: out of memory";
            return false;
        }
    }
    const int put = EGifPutImageDesc(gif, 0, 0, width_, height_, false, local);
    GifFreeMapObject(local);
    if (put == GIF_ERROR) {
        error = "GIF: " + GifReason(gif->Error);
        return false;
    }
    for (int32_t y = 0; y < height_; ++y) {
        for (int32_t x = 0; x < width_; ++x) {
            const uint16_t v = frame.At(x, y);
            line_[static_cast<size_t>(x)] = frame.hiColor ? FixedGifIndex(v) : static_cast<uint8_t>(v);
        }
        if (EGifPutLine(gif, line_.data(), width_) == GIF_ERROR) {
            error = "GIF: " + GifReason(gif->Error);
            return false;
        }
    }
    return true;
}

bool GifAnimation::Finish(std::string& error)
{
    if (gif_ == nullptr) {
        error = "GIF: no frames";
        return false;
    }
    int code = 0;
    const int closed = EGifCloseFile(static_cast<GifFileType*>(gif_), &code);
    gif_ = nullptr;
    if (closed == GIF_ERROR) {
        error = "GIF: " + GifReason(code);
        return false;
    }
    return file_.Commit(error);
}

bool WriteGifFile(const std::string& path, const Frame& frame, std::string& error)
{
    GifAnimation gif(path);
    return gif.Add(frame, error) && gif.Finish(error);
}

bool WriteFrameFile(FrameFormat format, const std::string& path, const Frame& frame, std::string& error)
{
    switch (format) {
    case FrameFormat::Raw: return WriteRawFile(path, frame, error);
    case FrameFormat::Bmp: return WriteBmpFile(path, frame, error);
    case FrameFormat::Png: return WritePngFile(path, frame, error);
    case FrameFormat::Gif: return WriteGifFile(path, frame, error);
    }
    error = "unknown format";
    return false;
}
