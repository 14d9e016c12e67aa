// The hooks into the platform's screen saver password services, reached by
// library and entry point name at run time so that a platform without them
// still runs the saver.
#include "shell/password.h"

#include <windows.h>

#include "shell/shell_state.h"

namespace {

typedef BOOL(WINAPI* VerifyScreenSavePwdFunction)(HWND window);
typedef DWORD(WINAPI* PwdChangePasswordFunction)(LPCSTR provider, HWND owner, DWORD reserved1,
                                                 DWORD reserved2);

// Whether the desktop settings ask for a password. Any failure to read them
// counts as no password.
bool PasswordInUse() {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS) return false;
    // Zeroed first: a value shorter than 4 bytes fills only the low bytes and
    // the rest must not pass for a set flag. A longer one fails the query.
    DWORD inUse = 0;
    DWORD size = sizeof inUse;
    const LONG queried = RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(&inUse), &size);
    RegCloseKey(key);
    return queried == ERROR_SUCCESS && inUse != 0;
}

void ShowChangeError(HWND owner, const char* text) {
    MessageBoxA(owner, text, "Error", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

int32_t VerifyPasswordOnClose() {
    if (!PasswordInUse()) return 1;
    // Loaded afresh for every request: the user may set up or remove the
    // password service while the saver runs.
    HMODULE library = LoadLibraryA("PASSWORD.CPL");
    if (library == nullptr) return 1;
    auto verify = reinterpret_cast<VerifyScreenSavePwdFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    if (verify == nullptr) {
        FreeLibrary(library);
        return 1;
    }
    const BOOL mayClose = verify(reinterpret_cast<HWND>(TheShell.saverWindow));
    FreeLibrary(library);
    return static_cast<int32_t>(mayClose);
}

void ChangePassword() {
    HWND owner = reinterpret_cast<HWND>(TheShell.parentWindow);
    HMODULE library = LoadLibraryA("MPR.DLL");
    if (library == nullptr) {
        // The text has always named the library this way; users and help
        // pages quote it, so it stays.
        ShowChangeError(owner, "Couldn't load MRP.DLL");
        return;
    }
    auto change = reinterpret_cast<PwdChangePasswordFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
    if (change == nullptr) {
        ShowChangeError(owner, "Couldn't get PwdChangePassword");
        FreeLibrary(library);
        return;
    }
    change("SCRSAVE", owner, 0, 0);
    FreeLibrary(library);
}
