// Stand-in for the platform's screen saver password verifier: answers what the
// run stored, and records each call and each load and release of the library.
#include "tests/fakes/fake_services.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) CountFake(FAKE_LOADS);
    if (reason == DLL_PROCESS_DETACH) CountFake(FAKE_FREES);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    CountFake(FAKE_VERIFY_CALLS);
    WriteFakeNumber(FAKE_VERIFY_WINDOW, static_cast<DWORD>(reinterpret_cast<uintptr_t>(window)));
    return static_cast<BOOL>(ReadFakeNumber(FAKE_VERIFY_ANSWER));
}
