#include "tests/support/picture_writer.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace picw {

namespace {

void Append(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

}  // namespace

std::vector<uint8_t> WritePng(const PngPicture& p)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, Append, nullptr);
    png_set_IHDR(png, info, p.width, p.height, p.bitDepth, p.colorType,
                 p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (const bmpw::BmpColor& c : p.palette) palette.push_back({c.red, c.green, c.blue});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 colour = {};
    if (p.transparent) {
        colour.gray = colour.red = (*p.transparent)[0];
        colour.green = (*p.transparent)[1];
        colour.blue = (*p.transparent)[2];
    }
    if (!p.paletteAlpha.empty() || p.transparent)
        png_set_tRNS(png, info, p.paletteAlpha.empty() ? nullptr : p.paletteAlpha.data(),
                     static_cast<int>(p.paletteAlpha.size()), p.transparent ? &colour : nullptr);
    png_write_info(png, info);
    // A sample a byte below 8 bits, which libpng packs; 16-bit samples
    // big-endian, as PNG stores them.
    png_set_packing(png);
    std::vector<uint8_t> rows;
    for (const uint16_t v : p.samples) {
        if (p.bitDepth == 16) rows.push_back(static_cast<uint8_t>(v >> 8));
        rows.push_back(static_cast<uint8_t>(v));
    }
    const size_t rowBytes = rows.size() / static_cast<size_t>(p.height);
    std::vector<png_bytep> pointers;
    for (int32_t y = 0; y < p.height; ++y) pointers.push_back(&rows[y * rowBytes]);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> WriteJpeg(int32_t width, int32_t height, const std::vector<uint8_t>& pixels, const JpegForm& form)
{
    jpeg_compress_struct c = {};
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = form.cmyk ? 4 : 3;
    c.in_color_space = form.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, form.quality, TRUE);
    if (form.grey) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    if (form.fullChroma) c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
    if (form.progressive) jpeg_simple_progression(&c);
    c.arith_code = form.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    const size_t stride = static_cast<size_t>(width) * c.input_components;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&pixels[c.next_scanline * stride]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

}  // namespace picw
