#pragma once
// Texels from whole rows of 8-bit red, green, blue: what a truecolour PNG or
// JPEG gives once decoded. The texels are those a 24-bit BMP of the same
// pixels gives: the width rounded down to a multiple of 4, the same 5-5-5
// packing and the same 8-bit quantiser.

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/bmp_decoder.h"

// rgb holds height rows top-down, stride bytes apart, width pixels each.
// False with a one-line reason when the size is refused or memory is short.
bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap16& out,
                       std::string& error);
bool TexelsFromRgbRows(const uint8_t* rgb, size_t stride, int32_t width, int32_t height, Bitmap8& out,
                       std::string& error);
