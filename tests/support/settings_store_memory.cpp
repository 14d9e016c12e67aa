#include "tests/support/settings_store_memory.h"

#include <cstring>

bool MemorySettingsStore::OpenExisting() { return keyExists; }

bool MemorySettingsStore::OpenOrCreate()
{
    if (failCreate) return false;
    keyExists = true;
    return true;
}

bool MemorySettingsStore::Query(const char* name, void* data, uint32_t* size)
{
    const auto it = values.find(name);
    if (it == values.end() || it->second.bytes.size() > *size) return false;
    if (!it->second.bytes.empty()) std::memcpy(data, it->second.bytes.data(), it->second.bytes.size());
    *size = static_cast<uint32_t>(it->second.bytes.size());
    return true;
}

void MemorySettingsStore::Set(const char* name, uint32_t type, const void* data, uint32_t size)
{
    Value v;
    v.type = type;
    const auto* bytes = static_cast<const uint8_t*>(data);
    v.bytes.assign(bytes, bytes + size);
    values[name] = v;
    writeOrder.push_back(name);
}

void MemorySettingsStore::Close() {}
