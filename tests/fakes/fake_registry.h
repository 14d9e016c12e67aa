#pragma once
// Small registry helpers shared by the fake services.
#include <windows.h>

#include <cstdint>

#include "tests/fakes/fake_services.h"

inline HKEY OpenFakeKey() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, FAKE_SERVICES_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

inline DWORD ReadFakeNumber(HKEY key, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return 0;
    return value;
}

inline void WriteFakeNumber(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

inline void WriteFakeWindow(HKEY key, const char* name, HWND window) {
    const uint64_t value = reinterpret_cast<uintptr_t>(window);
    RegSetValueExA(key, name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

inline void CountFakeCall(HKEY key, const char* name) {
    WriteFakeNumber(key, name, ReadFakeNumber(key, name) + 1);
}
