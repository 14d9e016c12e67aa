#pragma once
// Pictures in the three formats the native build reads, told apart by their
// first bytes rather than their names: BMP through our own decoder, PNG
// through libpng and JPEG through libjpeg-turbo. All give the texture forms of
// the BMP decoder within the same bounds, or refuse with a one-line reason.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/bmp_decoder.h"

enum class PictureFormat { Unknown, Bmp, Png, Jpeg };

PictureFormat PictureFormatOf(const uint8_t* head, size_t size);

// Where libpng and libjpeg read from: bytes in memory, or an open file of
// size bytes (the size bounds what a hostile header may ask for).
struct PictureSource {
    std::FILE* file = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

bool DecodePng8(const PictureSource& source, Bitmap8& out, std::string& error);
bool DecodePng16(const PictureSource& source, Bitmap16& out, std::string& error);
bool DecodeJpeg8(const PictureSource& source, Bitmap8& out, std::string& error);
bool DecodeJpeg16(const PictureSource& source, Bitmap16& out, std::string& error);

// Reads the file at path in whichever format it is; error names the cause.
bool LoadPictureFile8(const char* path, Bitmap8& out, std::string& error);
bool LoadPictureFile16(const char* path, Bitmap16& out, std::string& error);
