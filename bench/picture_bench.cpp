// Pictures from the file's bytes in memory to the texture beside memcpy of a
// 32-bit BMP's bytes and libjpeg-turbo's own decode of the same JPEG, the
// floors under ours. Photo-like pictures, so that the 8-bit mode meets far more
// than 256 colours and takes the median cut. Rates are of processor time: the
// machine is shared, and every decoder here uses one thread.

#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "imaging/bmp_decoder.h"
#include "imaging/picture_decoder.h"
#include "imaging/texel_rows.h"
#include "tests/support/picture_writer.h"

namespace {

struct Size {
    int32_t width, height;
};
const Size kSizes[] = {{1632, 1224}, {6000, 4000}, {8192, 8192}};

// A photo-like picture, top row first.
bmpw::BmpImage Photo(Size size)
{
    bmpw::BmpImage photo{size.width, size.height, {}, {}, {}};
    photo.colors.reserve(size_t(size.width) * size.height);
    uint32_t seed = 1;
    for (int32_t y = 0; y < size.height; ++y)
        for (int32_t x = 0; x < size.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t noise = seed >> 24;
            photo.colors.push_back({uint8_t((x >> 4) + (noise & 7)), uint8_t((y >> 4) + ((noise >> 3) & 7)),
                                    uint8_t(((x + y) >> 5) ^ (noise >> 6))});
        }
    return photo;
}

enum Format { kBmp24, kBmp32, kPng, kJpeg };
const char* const kFormatNames[] = {"BMP 24-bit", "BMP 32-bit", "PNG", "JPEG"};

// Each file once per run, whichever benchmarks ask for it.
const std::vector<uint8_t>& PhotoFile(Format format, int sizeIndex)
{
    static std::map<std::pair<int, int>, std::vector<uint8_t>> files;
    auto& file = files[{format, sizeIndex}];
    if (!file.empty()) return file;
    const Size size = kSizes[sizeIndex];
    const bmpw::BmpImage photo = Photo(size);
    if (format == kBmp24 || format == kBmp32)
        return file = bmpw::WriteBmp(photo, bmpw::Form(bmpw::Info, format == kBmp24 ? 24 : 32));
    std::vector<uint8_t> rgb;
    for (const bmpw::BmpColor& c : photo.colors) rgb.insert(rgb.end(), {c.red, c.green, c.blue});
    picw::JpegForm jpeg;
    jpeg.quality = 90;
    if (format == kJpeg) return file = picw::WriteJpeg(size.width, size.height, rgb, jpeg);
    picw::PngPicture png;
    png.width = size.width, png.height = size.height;
    png.samples.assign(rgb.begin(), rgb.end());
    return file = picw::WritePng(png);
}

void SetRate(benchmark::State& state, Size size)
{
    const double pixels = double(size.width) * size.height;
    state.counters["MP/s"] = benchmark::Counter(pixels * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

bool Decode(Format format, const std::vector<uint8_t>& file, Bitmap16& out, std::string& error)
{
    const PictureSource source{nullptr, file.data(), file.size()};
    if (format == kPng) return DecodePng16(source, out, error);
    if (format == kJpeg) return DecodeJpeg16(source, out, error);
    return DecodeBmp16(file.data(), file.size(), out, error);
}

bool Decode(Format format, const std::vector<uint8_t>& file, Bitmap8& out, std::string& error)
{
    const PictureSource source{nullptr, file.data(), file.size()};
    if (format == kPng) return DecodePng8(source, out, error);
    if (format == kJpeg) return DecodeJpeg8(source, out, error);
    return DecodeBmp8(file.data(), file.size(), out, error);
}

// Arguments: format, hiColor, size.
void BM_Picture(benchmark::State& state)
{
    const Format format = static_cast<Format>(state.range(0));
    const std::vector<uint8_t>& file = PhotoFile(format, static_cast<int>(state.range(2)));
    std::string error;
    for (auto _ : state) {
        Bitmap16 out16;
        Bitmap8 out8;
        if (!(state.range(1) ? Decode(format, file, out16, error) : Decode(format, file, out8, error)))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(out16.pixels.data());
        benchmark::DoNotOptimize(out8.pixels.data());
    }
    state.SetLabel(kFormatNames[format]);
    SetRate(state, kSizes[state.range(2)]);
}

// libjpeg-turbo's own decode of the same JPEG to rows of red, green, blue,
// each row dropped as the next comes: the floor under the JPEG decoder; or the
// same rows handed to the row writer of a texture form as they come.
template <typename Bitmap>
void DecodeJpegRows(benchmark::State& state, bool write)
{
    const std::vector<uint8_t>& file = PhotoFile(kJpeg, static_cast<int>(state.range(1)));
    std::vector<uint8_t> row(size_t(kSizes[state.range(1)].width) * 3);
    std::string error;
    for (auto _ : state) {
        jpeg_decompress_struct c{};
        jpeg_error_mgr errors{};
        c.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&c, TRUE);
        c.out_color_space = JCS_RGB;
        jpeg_start_decompress(&c);
        RgbRowWriter<Bitmap> writer;
        if (write && !writer.Start(static_cast<int32_t>(c.output_width), static_cast<int32_t>(c.output_height), error))
            state.SkipWithError(error.c_str());
        while (c.output_scanline < c.output_height) {
            JSAMPROW p = row.data();
            jpeg_read_scanlines(&c, &p, 1);
            if (write) writer.Row(row.data());
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        Bitmap out;
        if (write) writer.Finish(out);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    SetRate(state, kSizes[state.range(1)]);
}

// Arguments: rows to (0 nowhere, 1 16-bit texels, 2 8-bit indices), size.
void BM_LibjpegTurbo(benchmark::State& state)
{
    state.range(0) == 2 ? DecodeJpegRows<Bitmap8>(state, true) : DecodeJpegRows<Bitmap16>(state, state.range(0) == 1);
}

// memcpy of as many bytes as the 32-bit BMP holds. Argument: size.
void BM_Memcpy(benchmark::State& state)
{
    const Size size = kSizes[state.range(0)];
    const size_t bytes = size_t(size.width) * size.height * 4;
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    SetRate(state, size);
}

}  // namespace

BENCHMARK(BM_Picture)
    ->ArgNames({"format", "hicolor", "size"})
    ->ArgsProduct({{kBmp24, kBmp32, kPng, kJpeg}, {1, 0}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegTurbo)
    ->ArgNames({"rows_to", "size"})
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->ArgNames({"size"})->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
