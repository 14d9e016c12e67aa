// Stand-in for the platform's screen saver password verifier: answers what the
// test stored and records each call.
#include "tests/fakes/fake_registry.h"

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    HKEY key = OpenFakeKey();
    if (key == nullptr) return TRUE;
    CountFakeCall(key, FAKE_VERIFY_CALLS);
    WriteFakeWindow(key, FAKE_VERIFY_WINDOW, window);
    const DWORD answer = ReadFakeNumber(key, FAKE_VERIFY_ANSWER);
    RegCloseKey(key);
    return static_cast<BOOL>(answer);
}
