#pragma once
// A settings store held in memory, with switches that make it fail, for the
// tests of the settings rules.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "settings/settings_store.h"

class MemorySettingsStore : public SettingsStore {
public:
    struct Value {
        uint32_t type = kStoreBinary;
        std::vector<uint8_t> bytes;
    };

    bool OpenExisting() override { return keyExists; }
    bool OpenOrCreate() override { return !failCreate && (keyExists = true); }
    bool Query(const char* name, void* data, uint32_t* size) override
    {
        const auto it = values.find(name);
        if (it == values.end() || it->second.bytes.size() > *size) return false;
        if (!it->second.bytes.empty()) std::memcpy(data, it->second.bytes.data(), it->second.bytes.size());
        *size = static_cast<uint32_t>(it->second.bytes.size());
        return true;
    }
    void Set(const char* name, uint32_t type, const void* data, uint32_t size) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        values[name] = {type, std::vector<uint8_t>(bytes, bytes + size)};
        writeOrder.push_back(name);
    }
    void Close() override {}

    bool keyExists = false;
    bool failCreate = false;
    std::map<std::string, Value> values;
    std::vector<std::string> writeOrder;
};
