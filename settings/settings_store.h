#pragma once
// The key/value store that holds the settings: the current user's registry on
// Windows, a map in the tests. The operations mirror the five registry calls
// the settings code makes, with their success rules.

#include <cstdint>

// Value types as the registry numbers them.
constexpr uint32_t kStoreString = 1;  // REG_SZ
constexpr uint32_t kStoreBinary = 3;  // REG_BINARY
constexpr uint32_t kStoreDword = 4;   // REG_DWORD

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the existing settings key for reading; false when it is absent.
    virtual bool OpenExisting() = 0;
    // Opens the key for writing, creating it when needed; false on failure.
    virtual bool OpenOrCreate() = 0;
    // Copies the value into data when it fits *size bytes and sets *size to the
    // stored length; false when the value is missing or larger than *size.
    virtual bool Query(const char* name, void* data, uint32_t* size) = 0;
    // Stores the bytes under the name with the given type, replacing any value.
    virtual void Set(const char* name, uint32_t type, const void* data, uint32_t size) = 0;
    virtual void Close() = 0;
};
