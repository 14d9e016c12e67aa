// A window-creation hook that the runs set on the saver's thread: it refuses
// the window whose title the run stored, as a platform out of resources would.
#include <cstring>

#include "tests/fakes/fake_services.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const char* title = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->lpszName;
        char refused[256] = "";
        DWORD size = sizeof refused - 1;
        RegGetValueA(HKEY_CURRENT_USER, FAKE_SERVICES_KEY, FAKE_REFUSE_TITLE, RRF_RT_REG_SZ, nullptr, refused, &size);
        if (title != nullptr && reinterpret_cast<uintptr_t>(title) > 0xFFFF && std::strcmp(title, refused) == 0)
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
