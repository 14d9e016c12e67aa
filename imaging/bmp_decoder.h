#pragma once
// A validating BMP decoder: turns the bytes of a BMP file into the two texture
// forms, or refuses the file with a short reason. It never reads outside the
// given bytes and checks every size before it allocates.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Pictures larger than this on either side are refused (the renderer's limit).
constexpr int32_t kMaxBitmapSide = 16384;

struct Bitmap8 {
    int32_t width = 0;   // the file's width rounded down to a multiple of 4
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width x height palette indices, rows top-down
    uint8_t palette[768] = {};    // 256 entries of red, green, blue
};

struct Bitmap16 {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> pixels;  // width x height 5-5-5 texels, rows top-down
};

// Both return false with a one-line reason in error when the file is refused.
bool DecodeBmp8(const uint8_t* data, size_t size, Bitmap8& out, std::string& error);
bool DecodeBmp16(const uint8_t* data, size_t size, Bitmap16& out, std::string& error);

// Reads a whole file (bounded in size) and decodes it; error names the cause.
bool LoadBmpFile8(const char* path, Bitmap8& out, std::string& error);
bool LoadBmpFile16(const char* path, Bitmap16& out, std::string& error);
