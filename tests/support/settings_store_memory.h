#pragma once
// A settings store held in memory, with switches that make it fail, for the
// tests of the settings rules.

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

    bool OpenExisting() override;
    bool OpenOrCreate() override;
    bool Query(const char* name, void* data, uint32_t* size) override;
    void Set(const char* name, uint32_t type, const void* data, uint32_t size) override;
    void Close() override;

    bool keyExists = false;
    bool failCreate = false;
    std::map<std::string, Value> values;
    // The names written, in the order they were written.
    std::vector<std::string> writeOrder;
};
