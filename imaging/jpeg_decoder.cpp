// JPEG pictures through libjpeg-turbo with its defaults (accurate integer
// IDCT, fancy upsampling), so the texels are what its own djpeg writes.
// libjpeg reports errors by long-jumping, so the one function that calls into
// it (ReadJpeg) holds the setjmp and nothing with a destructor.

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "imaging/picture_decoder.h"
#include "imaging/texel_rows.h"

namespace {

// What libjpeg may hold for itself: a progressive picture keeps every
// coefficient (two bytes each, up to three full-size components) until its
// last scan, which for the largest picture is 384 MiB.
constexpr long kJpegMemoryLimit = static_cast<long>(kMaxBitmapTexels * 6 + (16 << 20));
// Progressive files may repeat scans without end, each one a pass over every
// block: a few hundred are more than any encoder writes.
constexpr int kMaxScans = 500;

struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

struct JpegJob {
    const PictureSource* source = nullptr;
    jpeg_decompress_struct cinfo = {};
    JpegErrors errors = {};
    jpeg_progress_mgr progress = {};
    // Where the rows go as they are decoded, so that the texture is the only
    // picture-sized memory: start is told the sides (false refuses them),
    // row is handed each row of red, green, blue bytes in turn.
    void* sink = nullptr;
    bool (*start)(void* sink, int32_t width, int32_t height) = nullptr;
    void (*row)(void* sink, const uint8_t* rgb) = nullptr;
    uint8_t* line = nullptr;  // one row, owned by the caller (free())
    char reason[JMSG_LENGTH_MAX + 32] = {};
};

void SetReason(JpegJob* job, const char* text)
{
    if (job->reason[0] == '\0') std::snprintf(job->reason, sizeof job->reason, "%s", text);
}

JpegJob* JobOf(j_common_ptr cinfo) { return static_cast<JpegJob*>(cinfo->client_data); }

void OnJpegError(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    SetReason(JobOf(cinfo), text);
    longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// Warnings (a short file, a bad marker) leave what was read on the picture.
void OnJpegMessage(j_common_ptr, int) {}

void OnJpegProgress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->is_decompressor && d->input_scan_number > kMaxScans) {
        SetReason(JobOf(cinfo), "too many scans in the JPEG file");
        longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
    }
}

// Fails the job (through libjpeg's error path) when its header is refused.
void Refuse(JpegJob* job, const char* reason)
{
    SetReason(job, reason);
    longjmp(job->errors.jump, 1);
}

void CheckHeader(JpegJob* job)
{
    jpeg_decompress_struct& c = job->cinfo;
    if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK)
        Refuse(job, "CMYK JPEG pictures are not supported");
    if (c.num_components != 1 && c.num_components != 3) Refuse(job, "unsupported JPEG colour components");
    if (c.image_width > static_cast<JDIMENSION>(kMaxBitmapSide) ||
        c.image_height > static_cast<JDIMENSION>(kMaxBitmapSide) ||
        uint64_t{c.image_width} * c.image_height > kMaxBitmapTexels)
        Refuse(job, "picture too large");
    if ((c.image_width & ~3u) < 4 || c.image_height < 1) Refuse(job, "picture narrower than 4 pixels");
    // Huffman coding spends at least one bit on every block's DC value, so a
    // file with fewer bits than blocks cannot hold its picture: refused
    // before its memory is taken rather than drawn as grey.
    if (!c.arith_code) {
        uint64_t blocks = 0;
        for (int i = 0; i < c.num_components; ++i)
            blocks += uint64_t{c.comp_info[i].width_in_blocks} * c.comp_info[i].height_in_blocks;
        if (blocks > uint64_t{job->source->size} * 8) Refuse(job, "truncated JPEG file");
    }
}

// The C-facing part: on return the job holds the rows or the reason.
bool ReadJpeg(JpegJob* job)
{
    jpeg_decompress_struct& c = job->cinfo;
    c.err = jpeg_std_error(&job->errors.pub);
    job->errors.pub.error_exit = OnJpegError;
    job->errors.pub.emit_message = OnJpegMessage;
    c.client_data = job;
    if (setjmp(job->errors.jump)) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    jpeg_create_decompress(&c);
    c.mem->max_memory_to_use = kJpegMemoryLimit;
    job->progress.progress_monitor = OnJpegProgress;
    c.progress = &job->progress;
    if (job->source->file != nullptr)
        jpeg_stdio_src(&c, job->source->file);
    else
        jpeg_mem_src(&c, job->source->data, static_cast<unsigned long>(job->source->size));
    if (jpeg_read_header(&c, TRUE) != JPEG_HEADER_OK) Refuse(job, "no picture in the JPEG file");
    CheckHeader(job);
    c.out_color_space = JCS_RGB;
    jpeg_start_decompress(&c);
    if (!job->start(job->sink, static_cast<int32_t>(c.output_width), static_cast<int32_t>(c.output_height)))
        Refuse(job, "the texture cannot be made");
    job->line = static_cast<uint8_t*>(std::malloc(size_t{c.output_width} * 3));
    if (job->line == nullptr) Refuse(job, "out of memory");
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = job->line;
        if (jpeg_read_scanlines(&c, &row, 1) == 1) job->row(job->sink, job->line);
    }
    // The rest of the file (markers after the picture) is not needed.
    jpeg_destroy_decompress(&c);
    return true;
}

template <typename Bitmap>
struct JpegRows {
    RgbRowWriter<Bitmap> writer;
    std::string error;  // why the writer refused the sides
};

template <typename Bitmap>
bool StartRows(void* sink, int32_t width, int32_t height)
{
    auto* rows = static_cast<JpegRows<Bitmap>*>(sink);
    return rows->writer.Start(width, height, rows->error);
}

template <typename Bitmap>
void TakeRow(void* sink, const uint8_t* rgb)
{
    static_cast<JpegRows<Bitmap>*>(sink)->writer.Row(rgb);
}

template <typename Bitmap>
bool DecodeJpeg(const PictureSource& source, Bitmap& out, std::string& error)
{
    JpegRows<Bitmap> rows;
    JpegJob job;
    job.source = &source;
    job.sink = &rows;
    job.start = StartRows<Bitmap>;
    job.row = TakeRow<Bitmap>;
    const bool ok = ReadJpeg(&job);
    std::free(job.line);
    if (!ok) {
        error = rows.error.empty() ? std::string(job.reason) : rows.error;
        return false;
    }
    rows.writer.Finish(out);
    return true;
}

}  // namespace

bool DecodeJpeg8(const PictureSource& source, Bitmap8& out, std::string& error)
{
    return DecodeJpeg(source, out, error);
}

bool DecodeJpeg16(const PictureSource& source, Bitmap16& out, std::string& error)
{
    return DecodeJpeg(source, out, error);
}
