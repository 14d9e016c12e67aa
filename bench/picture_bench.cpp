// Pictures from the file's bytes in memory to the texture, in both colour
// modes, at a phone camera's sizes: 2, 24 and 64 megapixels (64 being the
// largest picture the loaders accept), beside memcpy of the same bytes, which
// no decoder can beat. Rates are megapixels per second of the picture.
// The pictures are photo-like: smooth gradients with fine noise, so that the
// 8-bit mode meets far more than 256 colours and takes the median cut.
// Rates are of processor time: the machine is shared, and the decoders use one
// thread.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/bmp_decoder.h"

namespace {

struct Size {
    int32_t width, height;
};
const Size kSizes[] = {{1632, 1224}, {6000, 4000}, {8192, 8192}};

// A photo-like colour at (x, y).
void PhotoPixel(int32_t x, int32_t y, uint32_t& seed, uint8_t rgb[3])
{
    seed = seed * 1664525u + 1013904223u;
    const uint32_t noise = seed >> 24;
    rgb[0] = static_cast<uint8_t>((x >> 4) + (noise & 7));
    rgb[1] = static_cast<uint8_t>((y >> 4) + ((noise >> 3) & 7));
    rgb[2] = static_cast<uint8_t>(((x + y) >> 5) ^ (noise >> 6));
}

// A bottom-up BMP with the 40-byte header, 24 or 32 bits a pixel.
std::vector<uint8_t> PhotoBmp(Size size, int bits)
{
    const size_t rowBytes = (size_t(size.width) * bits / 8 + 3) & ~size_t{3};
    const size_t total = 54 + rowBytes * size_t(size.height);
    std::vector<uint8_t> file(total, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(total));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(size.width));
    put32(22, static_cast<uint32_t>(size.height));
    file[26] = 1;
    file[28] = static_cast<uint8_t>(bits);
    uint32_t seed = 1;
    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* row = file.data() + 54 + rowBytes * size_t(size.height - 1 - y);
        for (int32_t x = 0; x < size.width; ++x) {
            uint8_t rgb[3];
            PhotoPixel(x, y, seed, rgb);
            uint8_t* p = row + size_t(x) * (bits / 8);
            p[0] = rgb[2];
            p[1] = rgb[1];
            p[2] = rgb[0];
        }
    }
    return file;
}

void SetRate(benchmark::State& state, Size size)
{
    const double pixels = double(size.width) * size.height;
    state.counters["MP/s"] = benchmark::Counter(pixels * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// Arguments: bits (24 or 32), hiColor, size.
void BM_Bmp(benchmark::State& state)
{
    const Size size = kSizes[state.range(2)];
    const std::vector<uint8_t> file = PhotoBmp(size, static_cast<int>(state.range(0)));
    std::string error;
    for (auto _ : state) {
        bool ok;
        if (state.range(1)) {
            Bitmap16 out;
            ok = DecodeBmp16(file.data(), file.size(), out, error);
            benchmark::DoNotOptimize(out.pixels.data());
        } else {
            Bitmap8 out;
            ok = DecodeBmp8(file.data(), file.size(), out, error);
            benchmark::DoNotOptimize(out.pixels.data());
        }
        if (!ok) state.SkipWithError(error.c_str());
    }
    SetRate(state, size);
}

// memcpy of a 32-bit BMP's bytes. Argument: size.
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

BENCHMARK(BM_Bmp)
    ->ArgNames({"bits", "hicolor", "size"})
    ->ArgsProduct({{24, 32}, {1, 0}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->ArgNames({"size"})->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
