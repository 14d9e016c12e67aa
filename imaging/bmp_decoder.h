#pragma once
// A validating BMP decoder: turns the bytes of a BMP file into the two texture
// forms, or refuses the file with a short reason. It never reads outside the
// given bytes and checks every size before it allocates.

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/texel_rows.h"

// Both return false with a one-line reason in error when the file is refused.
bool DecodeBmp8(const uint8_t* data, size_t size, Bitmap8& out, std::string& error);
bool DecodeBmp16(const uint8_t* data, size_t size, Bitmap16& out, std::string& error);

// Reads a whole file (bounded in size) and decodes it; error names the cause.
bool LoadBmpFile8(const char* path, Bitmap8& out, std::string& error);
bool LoadBmpFile16(const char* path, Bitmap16& out, std::string& error);
