// Feeds the BMP, PNG or JPEG decoder arbitrary bytes (built once for each, by
// GYROFOLD_FUZZ_BMP or GYROFOLD_FUZZ_JPEG; PNG otherwise). Beyond the
// sanitizers' own checks: both output forms accept or refuse the same files, a
// refusal has a reason (for BMP the same one), and an accepted file has the
// shape every texture must have. A long-jump that escaped the decoder, or
// memory libpng or libjpeg kept, shows as a crash or a leak.

#include <cstdlib>
#include <string>

#include "imaging/picture_decoder.h"

#if defined(GYROFOLD_FUZZ_BMP)
#define DECODE(bits) DecodeBmp##bits(data, size, b##bits, error##bits)
#elif defined(GYROFOLD_FUZZ_JPEG)
#define DECODE(bits) DecodeJpeg##bits(source, b##bits, error##bits)
#else
#define DECODE(bits) DecodePng##bits(source, b##bits, error##bits)
#endif

static void Check(bool ok)
{
    if (!ok) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PictureSource source;
    source.data = data;
    source.size = size;
    Bitmap8 b8;
    Bitmap16 b16;
    std::string error8, error16;
    const bool ok8 = DECODE(8);
    const bool ok16 = DECODE(16);
    Check(ok8 == ok16);
    if (!ok8) {
        Check(!error8.empty() && !error16.empty() && b8.pixels.empty() && b16.pixels.empty());
#ifdef GYROFOLD_FUZZ_BMP
        Check(error8 == error16);
#endif
        return 0;
    }
    Check(b8.width == b16.width && b8.height == b16.height);
    Check(b8.width >= 4 && b8.width % 4 == 0 && b8.width <= kMaxBitmapSide);
    Check(b8.height >= 1 && b8.height <= kMaxBitmapSide);
    Check(int64_t{b8.width} * b8.height <= kMaxBitmapTexels);
    const size_t texels = static_cast<size_t>(b8.width) * static_cast<size_t>(b8.height);
    Check(b8.pixels.size() == texels && b16.pixels.size() == texels);
    for (uint16_t t : b16.pixels) Check((t & 0x8000) == 0);
    return 0;
}
