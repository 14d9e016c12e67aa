// PNG pictures through libpng. libpng reports errors by long-jumping, so the
// one function that calls into it (ReadPng) holds the setjmp and nothing with
// a destructor: everything it makes is kept in a plain record its caller owns
// and frees. Our own code only sees a result and a reason.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "imaging/picture_decoder.h"
#include "imaging/texel_rows.h"

namespace {

// Deflate codes at most 258 bytes in two bits, so compressed data is never
// smaller than 1/1032 of what it expands to. A file too short to hold its
// declared picture is refused before the picture's memory is taken.
constexpr uint64_t kDeflateMaxRatio = 1032;

struct PngJob {
    // In.
    const PictureSource* source = nullptr;
    size_t offset = 0;
    bool keepPalette = false;  // 8-bit texels: a palette PNG keeps its palette
    // Out, owned by the caller (free()).
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint8_t* pixels = nullptr;  // rows of RGB (or indices when indexed)
    png_bytep* rows = nullptr;
    size_t stride = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool indexed = false;
    uint8_t palette[768] = {};
    char reason[160] = {};
    char warning[96] = {};  // the last one, which says why libpng gave up on a header
};

void SetReason(PngJob* job, const char* text)
{
    if (job->reason[0] == '\0') std::snprintf(job->reason, sizeof job->reason, "%s", text);
}

void OnPngError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    char text[sizeof job->reason];
    if (job->warning[0] != '\0')
        std::snprintf(text, sizeof text, "%s (%s)", message, job->warning);
    else
        std::snprintf(text, sizeof text, "%s", message);
    SetReason(job, text);
    png_longjmp(png, 1);
}

// Most warnings are about ancillary chunks libpng skips, and the picture is
// fine; a refused header is explained by one.
void OnPngWarning(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->warning, sizeof job->warning, "%s", message);
}

void ReadPngBytes(png_structp png, png_bytep out, size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    const PictureSource& s = *job->source;
    size_t got = 0;
    if (s.file != nullptr) {
        got = std::fread(out, 1, length, s.file);
    } else if (job->offset <= s.size) {
        got = length < s.size - job->offset ? length : s.size - job->offset;
        std::memcpy(out, s.data + job->offset, got);
        job->offset += got;
    }
    if (got != length) png_error(png, "truncated PNG file");
}

// Fails the job (through libpng's error path) when its header is refused.
void CheckHeader(PngJob* job, png_uint_32 width, png_uint_32 height, int bitDepth, int colorType)
{
    if (uint64_t{width} * height > kMaxBitmapTexels) png_error(job->png, "picture too large");
    if ((width & ~3u) < 4) png_error(job->png, "picture narrower than 4 pixels");
    const int channels = colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                         : colorType == PNG_COLOR_TYPE_RGB     ? 3
                         : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                  : 1;
    const uint64_t filtered = uint64_t{height} * (1 + (uint64_t{width} * channels * bitDepth + 7) / 8);
    if (filtered / kDeflateMaxRatio > job->source->size) png_error(job->png, "truncated PNG file");
}

// The C-facing part: on return the job holds the rows or the reason.
bool ReadPng(PngJob* job)
{
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, OnPngError, OnPngWarning);
    if (job->png == nullptr) {
        SetReason(job, "out of memory");
        return false;
    }
    job->info = png_create_info_struct(job->png);
    if (job->info == nullptr || setjmp(png_jmpbuf(job->png))) {
        SetReason(job, "out of memory");
        png_destroy_read_struct(&job->png, &job->info, nullptr);
        return false;
    }
    png_set_read_fn(job->png, job, ReadPngBytes);
    // libpng refuses larger headers itself; text and other ancillary chunks
    // may not make it hold more than a little.
    png_set_user_limits(job->png, kMaxBitmapSide, kMaxBitmapSide);
    png_set_chunk_cache_max(job->png, 64);
    png_set_chunk_malloc_max(job->png, 1u << 20);
    png_read_info(job->png, job->info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(job->png, job->info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    CheckHeader(job, width, height, bitDepth, colorType);
    const bool transparent = png_get_valid(job->png, job->info, PNG_INFO_tRNS) != 0;
    job->indexed = job->keepPalette && colorType == PNG_COLOR_TYPE_PALETTE && !transparent;
    if (job->indexed) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(job->png, job->info, &entries, &count) != 0)
            for (int i = 0; i < count && i < 256; ++i) {
                job->palette[3 * i] = entries[i].red;
                job->palette[3 * i + 1] = entries[i].green;
                job->palette[3 * i + 2] = entries[i].blue;
            }
        png_set_packing(job->png);
    } else {
        // Palette to RGB, grey of 1 to 4 bits to 8, tRNS to an alpha channel;
        // 16-bit channels rounded to 8. No gamma: the texels are the file's
        // values, and bKGD is not used.
        png_set_expand(job->png);
        png_set_scale_16(job->png);
        png_set_gray_to_rgb(job->png);
    }
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    job->stride = png_get_rowbytes(job->png, job->info);
    job->width = static_cast<int32_t>(width);
    job->height = static_cast<int32_t>(height);
    job->pixels = static_cast<uint8_t*>(std::malloc(job->stride * height));
    job->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (job->pixels == nullptr || job->rows == nullptr) png_error(job->png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y) job->rows[y] = job->pixels + job->stride * y;
    png_read_image(job->png, job->rows);

    // Transparency over black: each channel times its alpha, rounded, each
    // row packed to RGB in place.
    if (!job->indexed && png_get_channels(job->png, job->info) == 4) {
        for (png_uint_32 y = 0; y < height; ++y) {
            uint8_t* row = job->rows[y];
            for (png_uint_32 x = 0; x < width; ++x) {
                const uint32_t a = row[4 * x + 3];
                for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<uint8_t>((row[4 * x + c] * a + 127) / 255);
            }
        }
    }
    png_destroy_read_struct(&job->png, &job->info, nullptr);
    return true;
}

template <typename Bitmap>
bool DecodePng(const PictureSource& source, bool keepPalette, Bitmap& out, std::string& error)
{
    PngJob job;
    job.source = &source;
    job.keepPalette = keepPalette;
    const bool read = ReadPng(&job);
    std::free(job.rows);
    bool ok = read;
    if (!read) {
        error = job.reason;
    } else if constexpr (std::is_same_v<Bitmap, Bitmap8>) {
        if (job.indexed) {
            // As an 8-bit BMP: its own palette and indices, the width cut.
            Bitmap8 result;
            result.width = job.width & ~3;
            result.height = job.height;
            ok = result.pixels.Allocate(static_cast<size_t>(result.width) * static_cast<size_t>(result.height));
            if (!ok) error = "out of memory";
            for (int32_t y = 0; ok && y < job.height; ++y)
                std::memcpy(&result.pixels[static_cast<size_t>(y) * static_cast<size_t>(result.width)],
                            job.pixels + job.stride * static_cast<size_t>(y), static_cast<size_t>(result.width));
            std::memcpy(result.palette, job.palette, sizeof result.palette);
            if (ok) out = std::move(result);
        } else {
            ok = TexelsFromRgbRows(job.pixels, job.stride, job.width, job.height, out, error);
        }
    } else {
        ok = TexelsFromRgbRows(job.pixels, job.stride, job.width, job.height, out, error);
    }
    std::free(job.pixels);
    return ok;
}

}  // namespace

bool DecodePng8(const PictureSource& source, Bitmap8& out, std::string& error)
{
    return DecodePng(source, true, out, error);
}

bool DecodePng16(const PictureSource& source, Bitmap16& out, std::string& error)
{
    return DecodePng(source, false, out, error);
}
