#pragma once
// The program icon, made from the sample texture at build time: one picture
// at several sizes in the icon file form that resource compilers read.

#include <cstdint>
#include <vector>

struct Frame;

// An icon file holding the 8-bit picture at each side in sides (256 becomes
// the large Explorer icon), every image an 8-bit DIB on the picture's own
// palette with an all-opaque mask.
std::vector<uint8_t> EncodeIcon(const Frame& picture, const std::vector<int32_t>& sides);
