#pragma once
// A validating BMP decoder: turns the bytes of a BMP file into the two texture
// forms, or refuses the file with a short reason. It never reads outside the
// given bytes and checks every size before it allocates.

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
    int32_t width = 0;   // the file's width rounded down to a multiple of 4
    int32_t height = 0;
    PixelBuffer<uint8_t> pixels;  // width x height palette indices, rows top-down
    uint8_t palette[768] = {};    // 256 entries of red, green, blue
};

struct Bitmap16 {
    int32_t width = 0;
    int32_t height = 0;
    PixelBuffer<uint16_t> pixels;  // width x height 5-5-5 texels, rows top-down
};

// Both return false with a one-line reason in error when the file is refused.
bool DecodeBmp8(const uint8_t* data, size_t size, Bitmap8& out, std::string& error);
bool DecodeBmp16(const uint8_t* data, size_t size, Bitmap16& out, std::string& error);

// Reads a whole file (bounded in size) and decodes it; error names the cause.
bool LoadBmpFile8(const char* path, Bitmap8& out, std::string& error);
bool LoadBmpFile16(const char* path, Bitmap16& out, std::string& error);
