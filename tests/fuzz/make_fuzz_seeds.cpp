// Writes the decoder fuzzers' seed inputs, a file of every form, into the
// bmp, png and jpeg folders under DIR. Run at build time, so no binary inputs
// live in the tree.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/bmp_writer.h"
#include "tests/support/picture_writer.h"

using namespace bmpw;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
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
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (auto [name, form] : seeds) {
        if (form.bitsPerPixel == 1) form.paletteEntries = 2;
        files.push_back({std::string("bmp/") + name + ".bmp", WriteBmp(form.bitsPerPixel <= 8 ? paletted : direct, form)});
    }
    // PNG: each colour type, a low depth, 16 bits, Adam7, tRNS.
    const int types[][4] = {{0, 1, 0, 0}, {0, 16, 1, 1}, {2, 8, 0, 1}, {2, 16, 1, 0}, {3, 4, 0, 0},
                            {3, 8, 1, 1}, {4, 8, 0, 0}, {6, 8, 1, 0},  {6, 16, 0, 0}};
    for (const auto& t : types) {
        picw::PngPicture p;
        p.width = 9, p.height = 5, p.colorType = t[0], p.bitDepth = t[1], p.interlaced = t[2] != 0;
        const int channels = t[0] == 2 ? 3 : t[0] == 4 ? 2 : t[0] == 6 ? 4 : 1;
        for (int i = 0; i < 9 * 5 * channels; ++i) p.samples.push_back(uint16_t(i * 2654435761u % (1u << t[1])));
        if (t[0] == 3) p.palette = palette;
        if (t[0] == 3 && t[1] == 8) p.palette.resize(256);
        if (t[3] && t[0] == 3) p.paletteAlpha = {0, 128, 255};
        if (t[3] && t[0] != 3) p.transparent = {{p.samples[0], p.samples[1], p.samples[2]}};
        char name[64];
        std::snprintf(name, sizeof name, "png/type%d-%d%s%s.png", t[0], t[1], t[2] ? "-adam7" : "", t[3] ? "-trns" : "");
        files.push_back({name, picw::WritePng(p)});
    }
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 17 * 9 * 3; ++i) pixels.push_back(uint8_t(i * 37));
    const std::pair<const char*, picw::JpegForm> jpegs[] = {{"baseline", {}}, {"progressive", {false, true}},
                                                            {"arithmetic", {false, false, true}}, {"grey", {true}}};
    for (const auto& [name, form] : jpegs) files.push_back({std::string("jpeg/") + name + ".jpg", picw::WriteJpeg(17, 9, pixels, form)});
    // A file that could not be written throws from file_size: the build step fails.
    for (const auto& [name, bytes] : files)
        if (std::filesystem::file_size(SaveFile(std::string(argv[1]) + "/" + name, bytes)) != bytes.size()) return 1;
    return 0;
}
