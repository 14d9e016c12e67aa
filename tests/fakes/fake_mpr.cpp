// Stand-in for the platform's password change service: records what it was
// given. Built without the entry point as well, for the missing-export case.
#include "tests/fakes/fake_registry.h"

#ifdef FAKE_MPR_WITH_CHANGE
extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner,
                                                                DWORD reserved1, DWORD reserved2) {
    HKEY key = OpenFakeKey();
    if (key == nullptr) return 0;
    CountFakeCall(key, FAKE_CHANGE_CALLS);
    const char* name = provider != nullptr ? provider : "";
    RegSetValueExA(key, FAKE_CHANGE_PROVIDER, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                   static_cast<DWORD>(lstrlenA(name) + 1));
    WriteFakeWindow(key, FAKE_CHANGE_OWNER, owner);
    WriteFakeNumber(key, FAKE_CHANGE_RESERVED1, reserved1);
    WriteFakeNumber(key, FAKE_CHANGE_RESERVED2, reserved2);
    RegCloseKey(key);
    return 0;
}
#else
// A library needs something to export; this one has no change entry point.
extern "C" __declspec(dllexport) DWORD WINAPI FakeMprWithoutChange() { return 0; }
#endif
