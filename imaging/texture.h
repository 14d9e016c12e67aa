#pragma once
// The one bitmap the saver tiles across the plane, and the loaders that read it.

#include <cstdint>
#include <string>

struct Texture {
    int32_t width = 0;   // texels per row, a multiple of 4
    int32_t height = 0;  // rows
    void* pixels = nullptr;  // width x height bytes or 16-bit words, rows top-down
    int32_t* rowOffsets = nullptr;  // entry y = y x width
};

// Read the BMP file at path as 8-bit palette indices with a 768-byte red,
// green, blue palette, or as 16-bit 5-5-5 texels. 0 on success, -1 on failure;
// on failure the outputs are untouched, nothing stays allocated, and reason
// (when given) says why in a few words. The caller frees the buffers with
// free(). Defined once per platform: through the GDI on Windows, through the
// portable decoders natively.
int32_t LoadTexture8(const char* path, int32_t* outWidth, int32_t* outHeight, uint8_t** outPalette,
                     uint8_t** outPixels, std::string* reason = nullptr);
int32_t LoadTexture16(const char* path, int32_t* outWidth, int32_t* outHeight, uint16_t** outPixels,
                      std::string* reason = nullptr);
