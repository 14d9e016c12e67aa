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
    for (int i = 0; i < 16; ++i)
        palette.push_back({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 9), static_cast<uint8_t>(i * 5)});
    const BmpImage paletted = MakePalettedImage(9, 5, palette);
    const BmpImage direct = MakeColorImage(9, 5);
    const BmpCompression rgb = BmpCompression::Rgb, fields = BmpCompression::Bitfields;
    const struct {
        const char* name;
        uint32_t header;
        uint16_t bits;
        BmpCompression compression;
        uint32_t red, green, blue;  // masks with bit fields
    } seeds[] = {
        {"core8", Core, 8, rgb, 0, 0, 0},     {"core24", Core, 24, rgb, 0, 0, 0},
        {"info1", Info, 1, rgb, 0, 0, 0},     {"info4", Info, 4, rgb, 0, 0, 0},
        {"info16", Info, 16, rgb, 0, 0, 0},   {"info16-565", Info, 16, fields, 0xF800, 0x07E0, 0x1F},
        {"info24", Info, 24, rgb, 0, 0, 0},   {"info32", Info, 32, rgb, 0, 0, 0},
        {"os2-16", 16, 24, rgb, 0, 0, 0},     {"os2-64", 64, 8, rgb, 0, 0, 0},
        {"rle4", Info, 4, BmpCompression::Rle4, 0, 0, 0},
        {"rle8", Info, 8, BmpCompression::Rle8, 0, 0, 0},
        {"v4-565", V4, 16, fields, 0xF800, 0x07E0, 0x1F},
        {"v5-32", V5, 32, fields, 0xFF0000, 0xFF00, 0xFF},
    };
    for (const auto& s : seeds) {
        BmpForm form;
        form.header = s.header, form.bitsPerPixel = s.bits, form.compression = s.compression;
        form.redMask = s.red, form.greenMask = s.green, form.blueMask = s.blue;
        if (s.bits == 1) form.paletteEntries = 2;
        const std::vector<uint8_t> bytes = WriteBmp(s.bits <= 8 ? paletted : direct, form);
        const std::string path = std::string(argv[1]) + "/" + s.name + ".bmp";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f == nullptr || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
