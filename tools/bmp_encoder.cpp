// The BMP encoder on its own, with nothing but the standard library under it,
// so that the sample generator also builds for the build machine when the
// project itself is cross-compiled.

#include "tools/frame_output.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const Frame& frame)
{
    const uint32_t bpp = frame.hiColor ? 2 : 1;
    const uint32_t rowBytes = (frame.width * bpp + 3) & ~3u;
    const uint32_t paletteBytes = frame.hiColor ? 0 : 1024;
    const uint32_t pixelOffset = 14 + 40 + paletteBytes;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(frame.height);
    std::vector<uint8_t> b(pixelOffset + imageBytes, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, pixelOffset);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(frame.width));
    Put32(b, 22, static_cast<uint32_t>(frame.height));  // positive: bottom-up
    Put16(b, 26, 1);
    Put16(b, 28, frame.hiColor ? 16 : 8);
    Put32(b, 34, imageBytes);
    Put32(b, 38, 2835);  // 72 dpi
    Put32(b, 42, 2835);
    if (!frame.hiColor) {
        for (int32_t i = 0; i < 256; ++i) {
            b[54 + 4 * i] = frame.palette[3 * i + 2];
            b[54 + 4 * i + 1] = frame.palette[3 * i + 1];
            b[54 + 4 * i + 2] = frame.palette[3 * i];
        }
    }
    for (int32_t y = 0; y < frame.height; ++y) {
        uint8_t* row = &b[pixelOffset + rowBytes * static_cast<uint32_t>(frame.height - 1 - y)];
        for (int32_t x = 0; x < frame.width; ++x) {
            const uint16_t v = frame.At(x, y);
            if (frame.hiColor) {
                row[2 * x] = static_cast<uint8_t>(v);
                row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            } else {
                row[x] = static_cast<uint8_t>(v);
            }
        }
    }
    return b;
}
