// Direct colour to the texture, a row at a time.

#include "imaging/texel_rows.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "imaging/quantiser.h"

namespace {

bool Fail(std::string& error, const char* reason)
{
    error = reason;
    return false;
}

size_t TexelCount(int32_t width, int32_t height) { return static_cast<size_t>(width) * static_cast<size_t>(height); }

// Rows of red, green, blue bytes, as the PNG and JPEG libraries give them.
class RgbRows final : public ColourRows {
public:
    RgbRows(const uint8_t* rgb, size_t stride) : rgb_(rgb), stride_(stride) {}
    void Texels(int32_t y, int32_t width, uint16_t* out) const override
    {
        const uint8_t* s = Row(y);
        for (int32_t x = 0; x < width; ++x, s += 3) out[x] = To555(s[0], s[1], s[2]);
    }
    void Colours(int32_t y, int32_t width, uint32_t* out) const override
    {
        const uint8_t* s = Row(y);
        for (int32_t x = 0; x < width; ++x, s += 3)
            out[x] = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
    }

private:
    const uint8_t* Row(int32_t y) const { return rgb_ + static_cast<size_t>(y) * stride_; }
    const uint8_t* rgb_;
    size_t stride_;
};

// The checks a BMP header makes of its sides, with the same reasons.
bool CheckSides(int32_t width, int32_t height, std::string& error)
{
    if (width <= 0 || height <= 0) return Fail(error, "empty picture");
    if (width > kMaxBitmapSide || height > kMaxBitmapSide || int64_t{width} * height > kMaxBitmapTexels)
        return Fail(error, "picture too large");
    if (width < 4) return Fail(error, "picture narrower than 4 pixels");
    return true;
}

template <typename Bitmap>
bool FromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap& out, std::string& error)
{
    if (!CheckSides(width, height, error)) return false;
    if (rgb == nullptr || stride / 3 < static_cast<size_t>(width)) return Fail(error, "bad row stride");
    return TexelsFromColourRows(RgbRows(rgb, stride), width & ~3, height, out, error);
}

}  // namespace

bool TexelsFromColourRows(const ColourRows& rows, int32_t width, int32_t height, Bitmap16& out, std::string& error)
{
    Bitmap16 result;
    if (!result.pixels.Allocate(TexelCount(width, height))) return Fail(error, "out of memory");
    result.width = width;
    result.height = height;
    uint16_t* texels = result.pixels.data();
    for (int32_t y = 0; y < height; ++y) rows.Texels(y, width, texels + TexelCount(width, y));
    out = std::move(result);
    return true;
}

bool TexelsFromColourRows(const ColourRows& rows, int32_t width, int32_t height, Bitmap8& out, std::string& error)
{
    Bitmap8 result;
    std::unique_ptr<uint32_t[]> row(new (std::nothrow) uint32_t[static_cast<size_t>(width)]);
    if (row == nullptr || !result.pixels.Allocate(TexelCount(width, height))) return Fail(error, "out of memory");
    result.width = width;
    result.height = height;
    Quantiser quantiser;
    for (int32_t y = 0; y < height; ++y) {
        rows.Colours(y, width, row.get());
        quantiser.Add(row.get(), width);
    }
    quantiser.Finish(result.palette);
    uint8_t* indices = result.pixels.data();
    for (int32_t y = 0; y < height; ++y) {
        rows.Colours(y, width, row.get());
        quantiser.Map(row.get(), width, indices + TexelCount(width, y));
    }
    out = std::move(result);
    return true;
}

template <typename Bitmap>
struct RgbRowWriter<Bitmap>::State {
    int32_t width = 0;  // rounded
    int32_t height = 0;
    int32_t rows = 0;  // rows so far
    std::unique_ptr<Quantiser> quantiser;  // 8-bit mode only
    std::unique_ptr<uint32_t[]> colours;
    PixelBuffer<uint16_t> texels;  // 5-5-5 texels, or the quantiser's codes in 8-bit mode
};

template <typename Bitmap>
RgbRowWriter<Bitmap>::RgbRowWriter() : state_(new State)
{
}

template <typename Bitmap>
RgbRowWriter<Bitmap>::~RgbRowWriter()
{
    delete state_;
}

template <typename Bitmap>
bool RgbRowWriter<Bitmap>::Start(int32_t width, int32_t height, std::string& error)
{
    State& s = *state_;
    if (!CheckSides(width, height, error)) return false;
    s.width = width & ~3;
    s.height = height;
    s.rows = 0;
    constexpr bool kEightBit = std::is_same_v<Bitmap, Bitmap8>;
    if (kEightBit) {
        s.colours.reset(new (std::nothrow) uint32_t[static_cast<size_t>(s.width)]);
        s.quantiser = std::make_unique<Quantiser>();
    }
    if ((kEightBit && s.colours == nullptr) || !s.texels.Allocate(TexelCount(s.width, height)))
        return Fail(error, "out of memory");
    return true;
}

template <typename Bitmap>
void RgbRowWriter<Bitmap>::Row(const uint8_t* rgb)
{
    State& s = *state_;
    if (s.rows >= s.height) return;
    uint16_t* texels = s.texels.data() + TexelCount(s.width, s.rows);
    const RgbRows row(rgb, 0);
    if constexpr (std::is_same_v<Bitmap, Bitmap8>) {
        row.Colours(0, s.width, s.colours.get());
        s.quantiser->Add(s.colours.get(), s.width, texels);
    } else {
        row.Texels(0, s.width, texels);
    }
    ++s.rows;
}

template <typename Bitmap>
void RgbRowWriter<Bitmap>::Finish(Bitmap& out)
{
    State& s = *state_;
    out.width = s.width;
    out.height = s.height;
    const size_t count = TexelCount(s.width, s.height);
    if constexpr (std::is_same_v<Bitmap, Bitmap8>) {
        if (s.quantiser == nullptr) s.quantiser = std::make_unique<Quantiser>();  // never started
        s.quantiser->Finish(out.palette);
        uint16_t* codes = s.texels.Release();
        auto* indices = reinterpret_cast<uint8_t*>(codes);
        const size_t given = TexelCount(s.width, s.rows);
        s.quantiser->MapCodes(codes, given, indices);
        std::fill(indices + given, indices + count, uint8_t{0});
        void* narrowed = std::realloc(codes, count == 0 ? 1 : count);
        out.pixels.Adopt(narrowed != nullptr ? static_cast<uint8_t*>(narrowed) : indices, count);
    } else {
        out.pixels = std::move(s.texels);
    }
}

template class RgbRowWriter<Bitmap8>;
template class RgbRowWriter<Bitmap16>;

bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap16& out,
                       std::string& error)
{
    return FromRgbRows(rgb, stride, width, height, out, error);
}

bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap8& out,
                       std::string& error)
{
    return FromRgbRows(rgb, stride, width, height, out, error);
}
