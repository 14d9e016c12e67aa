#pragma once
// PNG and JPEG files made in tests by the reference libraries' own encoders,
// so no binary pictures live in the tree.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/bmp_writer.h"

namespace picw {

// colorType and bitDepth as in the PNG header (libpng's PNG_COLOR_TYPE_*).
// samples: width x height x channels values at bitDepth, rows top-down.
struct PngPicture {
    int32_t width = 0, height = 0;
    int colorType = 2, bitDepth = 8;
    bool interlaced = false;
    std::vector<uint16_t> samples;
    std::vector<bmpw::BmpColor> palette;
    std::vector<uint8_t> paletteAlpha;                  // tRNS of a palette picture
    std::optional<std::array<uint16_t, 3>> transparent;  // tRNS of grey (first value) or RGB
};
std::vector<uint8_t> WritePng(const PngPicture& picture);

struct JpegForm {
    bool grey = false, progressive = false, arithmetic = false, cmyk = false;
    bool fullChroma = false;  // 4:4:4 rather than the default 4:2:0
    int quality = 85;
};
// rgb: width x height x 3 bytes (4 for CMYK), rows top-down.
std::vector<uint8_t> WriteJpeg(int32_t width, int32_t height, const std::vector<uint8_t>& pixels, const JpegForm& form);

}  // namespace picw
