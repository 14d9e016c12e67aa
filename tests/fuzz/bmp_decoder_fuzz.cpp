// Feeds the BMP decoder arbitrary bytes. Beyond the sanitizers' own checks:
// both output forms accept or refuse the same files, and an accepted file has
// the shape every texture must have.

#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/bmp_decoder.h"

static void Check(bool ok)
{
    if (!ok) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bitmap8 b8;
    Bitmap16 b16;
    std::string error8, error16;
    const bool ok8 = DecodeBmp8(data, size, b8, error8);
    const bool ok16 = DecodeBmp16(data, size, b16, error16);
    Check(ok8 == ok16);
    if (!ok8) {
        Check(!error8.empty() && error8 == error16);
        Check(b8.pixels.empty() && b16.pixels.empty());
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
