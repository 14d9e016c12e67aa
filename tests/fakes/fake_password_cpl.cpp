// Stand-in for the platform's screen saver password verifier: allows every
// close, and counts its calls and the loads of the library.
#include "tests/fakes/fake_services.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) CountFake(FAKE_LOADS);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND) {
    CountFake(FAKE_VERIFY_CALLS);
    return TRUE;
}
