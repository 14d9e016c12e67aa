// Placeholder until the decoder lands: refuses every file.
#include "imaging/bmp_decoder.h"

bool DecodeBmp8(const uint8_t*, size_t, Bitmap8&, std::string& error) { error = "not implemented"; return false; }
bool DecodeBmp16(const uint8_t*, size_t, Bitmap16&, std::string& error) { error = "not implemented"; return false; }
bool LoadBmpFile8(const char*, Bitmap8&, std::string& error) { error = "not implemented"; return false; }
bool LoadBmpFile16(const char*, Bitmap16&, std::string& error) { error = "not implemented"; return false; }
