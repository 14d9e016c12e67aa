// make-sample: writes the sample texture, a 256 x 256 8-bit BMP whose every
// feature shows which way the camera turns and how far it zooms: hue follows
// the angle around the centre, bright and dark rings follow the distance, a
// grid marks every 32 texels, and a white "F" near one corner has no mirror
// or turn symmetry, so a flipped or turned picture is seen at once. Given a
// second name it also writes the program icon made from the same picture.
// It needs nothing beyond the standard library, so a cross-compiled build can
// build it for the build machine.

#include <cmath>
#include <cstdio>
#include <string>

#include "tools/frame_output.h"
#include "tools/icon_encoder.h"

namespace {

constexpr int32_t kSide = 256;
constexpr int32_t kHues = 48;
constexpr int32_t kShades = 5;
// Palette entries from here on are greys, black first, white last.
constexpr int32_t kFirstGrey = kHues * kShades;  // 240
constexpr uint8_t kBlack = kFirstGrey;
constexpr uint8_t kWhite = 255;

void HueToRgb(double hue, double value, uint8_t* rgb)
{
    // Hue in [0, 6): red, yellow, green, cyan, blue, magenta.
    const int32_t sector = static_cast<int32_t>(hue) % 6;
    const double f = hue - std::floor(hue);
    double r = 0, g = 0, b = 0;
    switch (sector) {
    case 0: r = 1; g = f; break;
    case 1: r = 1 - f; g = 1; break;
    case 2: g = 1; b = f; break;
    case 3: g = 1 - f; b = 1; break;
    case 4: r = f; b = 1; break;
    default: r = 1; b = 1 - f; break;
    }
    rgb[0] = static_cast<uint8_t>(std::lround(r * value * 255));
    rgb[1] = static_cast<uint8_t>(std::lround(g * value * 255));
    rgb[2] = static_cast<uint8_t>(std::lround(b * value * 255));
}

// A 5 x 7 "F", drawn at four texels per dot.
bool InMarker(int32_t x, int32_t y)
{
    static const char* const glyph[7] = {"#####", "#....", "#....", "####.", "#....", "#....", "#...."};
    const int32_t left = 24, top = 20, dot = 4;
    const int32_t gx = (x - left) / dot, gy = (y - top) / dot;
    if (x < left || y < top || gx >= 5 || gy >= 7) return false;
    return glyph[gy][gx] == '#';
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "sample.bmp";
    if (argc > 3) {
        std::fprintf(stderr, "usage: make-sample [OUT.bmp [OUT.ico]]\n");
        return 2;
    }
    Frame f;
    f.width = kSide;
    f.height = kSide;
    f.hiColor = false;
    for (int32_t h = 0; h < kHues; ++h)
        for (int32_t s = 0; s < kShades; ++s)
            HueToRgb(6.0 * h / kHues, 0.4 + 0.15 * s, f.palette + 3 * (h * kShades + s));
    for (int32_t g = 0; g < 256 - kFirstGrey; ++g)
        for (int32_t c = 0; c < 3; ++c) f.palette[3 * (kFirstGrey + g) + c] = static_cast<uint8_t>(g * 17);

    const double kPi = 3.14159265358979323846;
    f.screen.resize(static_cast<size_t>(kSide) * kSide);
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x) {
            const double dx = x - 127.5, dy = y - 127.5;
            const double radius = std::sqrt(dx * dx + dy * dy);
            const double angle = std::atan2(dy, dx) + kPi;  // 0 .. 2 pi
            int32_t hue = static_cast<int32_t>(angle / (2 * kPi) * kHues) % kHues;
            // Rings 12 texels wide step through the shades; outside the wheel
            // the corners are a coarse checkerboard of the darker shades.
            int32_t shade = static_cast<int32_t>(radius / 12) % kShades;
            if (radius > 124) shade = ((x / 16 + y / 16) & 1) ? 0 : 2;
            uint8_t index = static_cast<uint8_t>(hue * kShades + shade);
            if (x % 32 == 0 || y % 32 == 0) index = kBlack;
            if (radius < 6) index = kWhite;
            if (InMarker(x, y)) index = kWhite;
            f.screen[static_cast<size_t>(y) * kSide + x] = index;
        }

    if (!WriteWholeFile(path, EncodeBmp(f))) {
        std::fprintf(stderr, "make-sample: cannot write %s\n", path.c_str());
        return 1;
    }
    // The sizes the Explorer and the installer ask for.
    if (argc > 2 && !WriteWholeFile(argv[2], EncodeIcon(f, {16, 32, 48, 256}))) {
        std::fprintf(stderr, "make-sample: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
