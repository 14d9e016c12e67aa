// Feeds the PNG or the JPEG decoder arbitrary bytes (built once for each, by
// GYROFOLD_FUZZ_JPEG). Beyond the sanitizers' own checks: both output forms
// accept or refuse the same files, a refusal has a reason, and an accepted
// file has the shape every texture must have. A long-jump that escaped the
// decoder, or memory libpng or libjpeg kept, shows as a crash or a leak.

#include <cstdlib>
#include <string>

#include "imaging/picture_decoder.h"

#ifdef GYROFOLD_FUZZ_JPEG
#define DECODE8 DecodeJpeg8
#define DECODE16 DecodeJpeg16
#else
#define DECODE8 DecodePng8
#define DECODE16 DecodePng16
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
    const bool ok8 = DECODE8(source, b8, error8);
    const bool ok16 = DECODE16(source, b16, error16);
    Check(ok8 == ok16);
    if (!ok8) {
        Check(!error8.empty() && !error16.empty() && b8.pixels.empty() && b16.pixels.empty());
        return 0;
    }
    Check(b8.width == b16.width && b8.height == b16.height);
    Check(b8.width >= 4 && b8.width % 4 == 0 && b8.width <= kMaxBitmapSide);
    Check(b8.height >= 1 && b8.height <= kMaxBitmapSide);
    const size_t texels = static_cast<size_t>(b8.width) * static_cast<size_t>(b8.height);
    Check(b8.pixels.size() == texels && b16.pixels.size() == texels);
    for (uint16_t t : b16.pixels) Check((t & 0x8000) == 0);
    return 0;
}
