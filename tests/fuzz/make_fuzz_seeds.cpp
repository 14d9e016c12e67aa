// Writes the BMP decoder fuzzer's seed inputs, a file of every form. Run at
// build time, so no binary inputs live in the tree.

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/bmp_writer.h"

using namespace bmpw;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds BMP_DIR\n");
        return 2;
    }
    std::vector<BmpColor> palette;
    for (int i = 0; i < 16; ++i) palette.push_back({uint8_t(i * 16), uint8_t(255 - i * 9), uint8_t(i * 5)});
    const BmpImage paletted = MakePalettedImage(9, 5, palette);
    const BmpImage direct = MakePalettedImage(9, 5, {{1, 2, 3}, {250, 128, 7}, {90, 200, 33}, {0, 255, 64}});
    const BmpCompression rle4 = BmpCompression::Rle4, rle8 = BmpCompression::Rle8, rgb = BmpCompression::Rgb;
    const std::pair<const char*, BmpForm> seeds[] = {
        {"core8", Form(Core, 8)},   {"core24", Form(Core, 24)},     {"info1", Form(Info, 1)},   {"info4", Form(Info, 4)},
        {"info16", Form(Info, 16)}, {"info24", Form(Info, 24)},     {"info32", Form(Info, 32)}, {"os2-16", Form(16, 24)},
        {"os2-64", Form(64, 8)},    {"rle4", Form(Info, 4, rle4)},  {"rle8", Form(Info, 8, rle8)},
        {"info16-565", Form(Info, 16, rgb, false, 0xF800, 0x07E0, 0x1F)},
        {"v4-565", Form(V4, 16, rgb, false, 0xF800, 0x07E0, 0x1F)},
        {"v5-32", Form(V5, 32, rgb, false, 0xFF0000, 0xFF00, 0xFF)},
    };
    for (auto [name, form] : seeds) {
        if (form.bitsPerPixel == 1) form.paletteEntries = 2;
        const std::vector<uint8_t> bytes = WriteBmp(form.bitsPerPixel <= 8 ? paletted : direct, form);
        const std::string path = std::string(argv[1]) + "/" + name + ".bmp";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f == nullptr || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
