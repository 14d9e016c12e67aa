#pragma once
// The two texture forms, and the one way every picture decoder reaches them:
// rows of direct colour turned into 5-5-5 texels or, through the quantiser,
// into 8-bit palette indices. A decoder picks its row routine once per
// picture; the conversion then runs a whole row at a time, so the only memory
// beyond the decoder's input and the texture is a row or two.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// Pictures larger than this on either side are refused (the renderer's limit).
constexpr int32_t kMaxBitmapSide = 16384;
// Pictures of more texels than this are refused as well: a run-length file of
// a few bytes may declare any size, and the texture is allocated from it.
// 8192 x 8192 costs 64 MiB of 8-bit or 128 MiB of 16-bit texels.
constexpr int64_t kMaxBitmapTexels = int64_t{8192} * 8192;

// Texels on the heap from calloc, so that a texture loader can hand them on
// to an owner that frees them with free() instead of copying them.
template <typename T>
class PixelBuffer {
public:
    PixelBuffer() = default;
    ~PixelBuffer() { std::free(data_); }
    PixelBuffer(PixelBuffer&& other) noexcept : data_(other.data_), size_(other.size_)
    {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    PixelBuffer& operator=(PixelBuffer&& other) noexcept
    {
        if (this != &other) {
            std::free(data_);
            data_ = other.data_;
            size_ = other.size_;
            other.data_ = nullptr;
            other.size_ = 0;
        }
        return *this;
    }
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    // count zero-filled elements in place of the old ones; false when the
    // heap has no room.
    bool Allocate(size_t count)
    {
        std::free(data_);
        data_ = static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T)));
        size_ = data_ != nullptr ? count : 0;
        return data_ != nullptr;
    }
    // Takes count elements' worth of memory from malloc, calloc or realloc.
    void Adopt(T* data, size_t count)
    {
        std::free(data_);
        data_ = data;
        size_ = count;
    }
    // Gives the memory to the caller, who frees it with free().
    T* Release()
    {
        T* p = data_;
        data_ = nullptr;
        size_ = 0;
        return p;
    }
    T* data() { return data_; }
    const T* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

private:
    T* data_ = nullptr;
    size_t size_ = 0;
};

struct Bitmap8 {
    int32_t width = 0;   // the picture's width rounded down to a multiple of 4
    int32_t height = 0;
    PixelBuffer<uint8_t> pixels;  // width x height palette indices, rows top-down
    uint8_t palette[768] = {};    // 256 entries of red, green, blue
};

struct Bitmap16 {
    int32_t width = 0;
    int32_t height = 0;
    PixelBuffer<uint16_t> pixels;  // width x height 5-5-5 texels, rows top-down
};

// Whole rows of 8-bit red, green, blue (three bytes a pixel, rows top-down,
// stride bytes apart) to texels, exactly as a 24-bit BMP of the same pixels
// decodes: the width cut to a multiple of 4, the top five bits of each channel
// in 16-bit mode, the BMP decoder's quantiser in 8-bit mode. False with a
// one-line reason, out untouched, when the sides are out of bounds or the heap
// has no room.
bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap16& out,
                       std::string& error);
bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap8& out,
                       std::string& error);

// The same conversion for decoders that give their rows one at a time, top
// row first, without keeping the picture (libjpeg's scanlines, libpng's
// rows): the texture is the only picture-sized memory. In 8-bit mode it is
// held at 16 bits a texel until the last row has come, then narrowed in place.
//     RgbRowWriter<Bitmap16> writer;
//     if (!writer.Start(width, height, error)) ...
//     for each row: writer.Row(rgb);          // width x 3 bytes
//     writer.Finish(out);
template <typename Bitmap>
class RgbRowWriter {
public:
    RgbRowWriter();
    ~RgbRowWriter();
    RgbRowWriter(const RgbRowWriter&) = delete;
    RgbRowWriter& operator=(const RgbRowWriter&) = delete;
    // Checks the sides as TexelsFromRgbRows does and takes the texture's
    // memory; false with a one-line reason.
    bool Start(int32_t width, int32_t height, std::string& error);
    // The next row; rows past the height are ignored.
    void Row(const uint8_t* rgb);
    // The texture, once every row has come (rows that never came are
    // texel 0 or index 0).
    void Finish(Bitmap& out);

private:
    struct State;
    State* state_;
};

// A picture of direct colour as its decoder reads it, one row at a time, in
// either form the texture wants. Rows may be asked for more than once (the
// 8-bit mode reads the picture twice) and in any order. width is the texture's
// (rounded) width; the routines write exactly that many pixels.
class ColourRows {
public:
    virtual ~ColourRows() = default;
    // Row y (0 = top) as 5-5-5 texels.
    virtual void Texels(int32_t y, int32_t width, uint16_t* out) const = 0;
    // Row y as 0x00RRGGBB, eight bits a channel.
    virtual void Colours(int32_t y, int32_t width, uint32_t* out) const = 0;
};

// The texture of a direct-colour picture whose sides the caller has checked
// (width a multiple of 4, within the bounds above). False only when the heap
// has no room; out is then untouched.
bool TexelsFromColourRows(const ColourRows& rows, int32_t width, int32_t height, Bitmap16& out, std::string& error);
bool TexelsFromColourRows(const ColourRows& rows, int32_t width, int32_t height, Bitmap8& out, std::string& error);

// Eight bits a channel to 5-5-5: the top five bits of each.
inline uint16_t To555(uint32_t red, uint32_t green, uint32_t blue)
{
    return static_cast<uint16_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
}
