#pragma once
// The layout of a settings fuzz input, shared by the fuzz target and the seed
// generator: one flag byte (bit 0: the settings key exists), then for each of
// the thirteen values a type byte (bit 7 set: the value is absent), a 16-bit
// little-endian size (the low 9 bits count, so sizes reach past the 299 bytes
// of the name buffer) and that many bytes, cut short where the input ends.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "settings/settings_store_memory.h"

namespace fuzzinput {

struct NamedValue {
    const char* name;
    size_t size;  // the size the record holds; 0 for the name buffer
};

constexpr NamedValue kValues[13] = {
    {"IMGFilename", 0}, {"ScreenWidth", 4}, {"ScreenHeight", 4}, {"Stretch", 4}, {"NumBuf", 4},
    {"UseHiColor", 4},  {"XScale", 8},      {"YScale", 8},       {"Rot1", 8},    {"Rot2", 8},
    {"Zoom1", 8},       {"Zoom2", 8},       {"Warpy", 4},
};

inline void FillStore(const uint8_t* data, size_t size, MemorySettingsStore& store)
{
    size_t at = 0;
    store.keyExists = size > 0 && (data[at++] & 1) != 0;
    for (const NamedValue& v : kValues) {
        if (at + 3 > size) break;
        const uint8_t type = data[at];
        size_t length = (data[at + 1] | (data[at + 2] << 8)) & 0x1FF;
        at += 3;
        if (length > size - at) length = size - at;
        if ((type & 0x80) == 0) store.Set(v.name, type, data + at, static_cast<uint32_t>(length));
        at += length;
    }
}

inline void AppendValue(std::vector<uint8_t>& out, uint8_t type, const void* bytes, size_t length)
{
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(length >> 8));
    const auto* p = static_cast<const uint8_t*>(bytes);
    out.insert(out.end(), p, p + length);
}

}  // namespace fuzzinput
