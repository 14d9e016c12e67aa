// Writes the BMP decoder fuzzer's seed inputs, a file of every form. Run at
// build time, so no binary inputs live in the tree.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/bmp_writer.h"

using namespace bmpw;

namespace {

bool Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

BmpForm Form(BmpHeader header, uint16_t bits, BmpCompression compression = BmpCompression::Rgb, uint32_t red = 0)
{
    BmpForm f;
    f.header = header;
    f.bitsPerPixel = bits;
    f.compression = compression;
    f.redMask = red;  // with the compression bit fields: 5-6-5 for 16 bits, 8-8-8 for 32
    f.greenMask = red == 0 ? 0 : (bits == 16 ? 0x07E0 : 0xFF00);
    f.blueMask = red == 0 ? 0 : (bits == 16 ? 0x001F : 0xFF);
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds BMP_DIR\n");
        return 2;
    }
    const std::string bmpDir = argv[1];

    std::vector<BmpColor> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 9), static_cast<uint8_t>(i * 5)});
    BmpImage paletted = MakePalettedImage(9, 5, palette);
    for (int32_t x = 0; x < 5; ++x) paletted.indices[x] = 3;  // a run for the RLE encoders
    const BmpImage direct = MakeColorImage(9, 5);

    struct Seed {
        const char* name;
        const BmpImage& image;
        BmpForm form;
    };
    const BmpCompression fields = BmpCompression::Bitfields;
    const Seed seeds[] = {
        {"core8", paletted, Form(BmpHeader::Core, 8)},     {"core24", direct, Form(BmpHeader::Core, 24)},
        {"info1", paletted, Form(BmpHeader::Info, 1)},     {"info4", paletted, Form(BmpHeader::Info, 4)},
        {"info16", direct, Form(BmpHeader::Info, 16)},     {"info16-565", direct, Form(BmpHeader::Info, 16, fields, 0xF800)},
        {"info24", direct, Form(BmpHeader::Info, 24)},     {"info32", direct, Form(BmpHeader::Info, 32)},
        {"rle4", paletted, Form(BmpHeader::Info, 4, BmpCompression::Rle4)},
        {"rle8", paletted, Form(BmpHeader::Info, 8, BmpCompression::Rle8)},
        {"v4-565", direct, Form(BmpHeader::V4, 16, fields, 0xF800)},
        {"v5-32", direct, Form(BmpHeader::V5, 32, fields, 0xFF0000)},
    };
    for (const Seed& s : seeds)
        if (!Save(bmpDir + "/" + s.name + ".bmp", WriteBmp(s.image, s.form))) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s/%s.bmp\n", bmpDir.c_str(), s.name);
            return 1;
        }

    return 0;
}
