// The texture loaders of the native build, over the portable decoders (BMP, PNG, JPEG).

#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/picture_decoder.h"
#include "imaging/texture.h"

int32_t LoadTexture8(const char* path, int32_t* outWidth, int32_t* outHeight, uint8_t** outPalette,
                     uint8_t** outPixels, std::string* reason)
{
    Bitmap8 bitmap;
    std::string error;
    if (!LoadPictureFile8(path, bitmap, error)) {
        if (reason != nullptr) *reason = error;
        return -1;
    }
    auto* palette = static_cast<uint8_t*>(std::malloc(768));
    if (palette == nullptr) {
        if (reason != nullptr) *reason = "out of memory";
        return -1;
    }
    std::memcpy(palette, bitmap.palette, 768);
    // The decoded texels are handed on, not copied.
    uint8_t* pixels = bitmap.pixels.Release();
    *outWidth = bitmap.width;
    *outHeight = bitmap.height;
    *outPalette = palette;
    *outPixels = pixels;
    return 0;
}

int32_t LoadTexture16(const char* path, int32_t* outWidth, int32_t* outHeight, uint16_t** outPixels,
                      std::string* reason)
{
    Bitmap16 bitmap;
    std::string error;
    if (!LoadPictureFile16(path, bitmap, error)) {
        if (reason != nullptr) *reason = error;
        return -1;
    }
    *outWidth = bitmap.width;
    *outHeight = bitmap.height;
    *outPixels = bitmap.pixels.Release();
    return 0;
}
