// Stand-in for the platform's password change service: records what it was
// given. Built without the entry point as well, for the missing-export case.
#include "tests/fakes/fake_services.h"

#ifdef FAKE_MPR_WITH_CHANGE
extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD reserved1,
                                                                DWORD reserved2) {
    char given[128];
    wsprintfA(given, "%s %Iu %lu %lu", provider, reinterpret_cast<uintptr_t>(owner), reserved1, reserved2);
    CountFake(FAKE_CHANGE_CALLS);
    WriteFake(FAKE_CHANGE_GIVEN, REG_SZ, given, static_cast<DWORD>(lstrlenA(given) + 1));
    return 0;
}
#else
extern "C" __declspec(dllexport) DWORD WINAPI FakeMprWithoutChange() { return 0; }
#endif
