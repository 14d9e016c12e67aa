#include "tools/icon_encoder.h"

#include "tools/frame_output.h"

namespace {

void Append(std::vector<uint8_t>& b, uint32_t v, int32_t bytes)
{
    for (int32_t i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Each texel of the smaller picture takes the palette entry nearest to the
// mean colour of the block it covers, so the one-texel grid lines fade into
// their surroundings instead of dropping out or taking over at 16 pixels.
Frame Shrink(const Frame& picture, int32_t side)
{
    Frame f;
    f.width = side;
    f.height = side;
    for (int32_t i = 0; i < 768; ++i) f.palette[i] = picture.palette[i];
    f.screen.resize(static_cast<size_t>(side) * side);
    for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x) {
            const int32_t x0 = x * picture.width / side, x1 = (x + 1) * picture.width / side;
            const int32_t y0 = y * picture.height / side, y1 = (y + 1) * picture.height / side;
            int64_t sum[3] = {0, 0, 0};
            for (int32_t sy = y0; sy < y1; ++sy)
                for (int32_t sx = x0; sx < x1; ++sx)
                    for (int32_t c = 0; c < 3; ++c) sum[c] += picture.palette[3 * picture.At(sx, sy) + c];
            const int64_t n = static_cast<int64_t>(x1 - x0) * (y1 - y0);
            int64_t best = INT64_MAX;
            for (int32_t i = 0; i < 256; ++i) {
                int64_t d = 0;
                for (int32_t c = 0; c < 3; ++c) {
                    const int64_t e = f.palette[3 * i + c] * n - sum[c];
                    d += e * e;
                }
                if (d < best) {
                    best = d;
                    f.screen[static_cast<size_t>(y) * side + x] = static_cast<uint16_t>(i);
                }
            }
        }
    return f;
}

}  // namespace

std::vector<uint8_t> EncodeIcon(const Frame& picture, const std::vector<int32_t>& sides)
{
    std::vector<std::vector<uint8_t>> images;
    for (const int32_t side : sides) {
        const bool same = side == picture.width && side == picture.height;
        std::vector<uint8_t> dib = EncodeBmp(same ? picture : Shrink(picture, side));
        dib.erase(dib.begin(), dib.begin() + 14);  // no file header inside an icon
        // An icon's DIB is as tall as its colour rows and its mask rows together.
        const uint32_t doubled = 2u * static_cast<uint32_t>(side);
        for (int32_t i = 0; i < 4; ++i) dib[8 + i] = static_cast<uint8_t>(doubled >> (8 * i));
        dib.resize(dib.size() + static_cast<size_t>((side + 31) / 32 * 4) * side, 0);  // mask 0: opaque
        images.push_back(std::move(dib));
    }
    std::vector<uint8_t> b;
    Append(b, 0, 2);
    Append(b, 1, 2);  // an icon, not a cursor
    Append(b, static_cast<uint32_t>(images.size()), 2);
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const uint32_t side = static_cast<uint32_t>(sides[i]);
        Append(b, side >= 256 ? 0 : side, 1);  // 0 stands for 256
        Append(b, side >= 256 ? 0 : side, 1);
        Append(b, 0, 1);  // 0: 256 colours or more
        Append(b, 0, 1);
        Append(b, 1, 2);  // planes
        Append(b, 8, 2);  // bits per pixel
        Append(b, static_cast<uint32_t>(images[i].size()), 4);
        Append(b, offset, 4);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) b.insert(b.end(), image.begin(), image.end());
    return b;
}
