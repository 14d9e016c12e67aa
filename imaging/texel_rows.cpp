// Texels from RGB rows by way of the BMP decoder: the rows are written as a
// 24-bit BMP in memory and decoded, which gives the BMP's texels by
// construction at the cost of one copy of the picture.

#include "imaging/texel_rows.h"

#include <vector>

namespace {

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool AsBmp(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, std::vector<uint8_t>& bmp,
           std::string& error)
{
    if (width < 1 || height < 1) {
        error = "empty picture";
        return false;
    }
    if (width > kMaxBitmapSide || height > kMaxBitmapSide || int64_t{width} * height > kMaxBitmapTexels) {
        error = "picture too large";
        return false;
    }
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    bmp.assign(54 + rowBytes * static_cast<size_t>(height), 0);
    uint8_t* h = bmp.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 10, 54);
    Put32(h + 14, 40);
    Put32(h + 18, static_cast<uint32_t>(width));
    Put32(h + 22, static_cast<uint32_t>(-height));  // top-down
    h[26] = 1;
    h[28] = 24;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = rgb + static_cast<size_t>(y) * stride;
        uint8_t* dst = h + 54 + static_cast<size_t>(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return true;
}

}  // namespace

bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap16& out,
                       std::string& error)
{
    std::vector<uint8_t> bmp;
    return AsBmp(rgb, stride, width, height, bmp, error) && DecodeBmp16(bmp.data(), bmp.size(), out, error);
}

bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap8& out,
                       std::string& error)
{
    std::vector<uint8_t> bmp;
    return AsBmp(rgb, stride, width, height, bmp, error) && DecodeBmp8(bmp.data(), bmp.size(), out, error);
}
