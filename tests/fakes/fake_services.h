#pragma once
// Where the stand-in password verifier (PASSWORD.CPL) counts its calls and the
// loads of its library: a key that every process of one wine prefix shares.
#include <windows.h>

#define FAKE_SERVICES_KEY "Software\\Gyrofold Tests\\Fake Services"
#define FAKE_VERIFY_CALLS "VerifyCalls"
#define FAKE_LOADS "Loads"

inline DWORD ReadFakeNumber(const char* name) {
    DWORD value = 0, size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, FAKE_SERVICES_KEY, name, RRF_RT_REG_DWORD | RRF_ZEROONFAILURE, nullptr, &value,
                 &size);
    return value;
}

inline void WriteFakeNumber(const char* name, DWORD value) {
    RegSetKeyValueA(HKEY_CURRENT_USER, FAKE_SERVICES_KEY, name, REG_DWORD, &value, sizeof value);
}
inline void CountFake(const char* name) { WriteFakeNumber(name, ReadFakeNumber(name) + 1); }
