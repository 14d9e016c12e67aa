// The program's entry point: picks the run mode from the command line and,
// for the two drawing modes, runs the only message loop.

#include <windows.h>
#include <commctrl.h>
#include <cstdlib>

#include "effect/render_frame.h"
#include "settings/settings_dialog.h"
#include "settings/settings_persistence.h"
#include "shell/command_line.h"
#include "shell/password.h"
#include "shell/saver_window_win32.h"
#include "shell/shell_state.h"

namespace {

constexpr DWORD kPreviewFramePause = 50;

WindowHandle WindowOrZero(WindowHandle handle)
{
    return IsWindow(reinterpret_cast<HWND>(handle)) ? handle : 0;
}

}  // namespace

int RunMessageLoop()
{
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            // Keys are not translated: the saver never wants character messages.
            DispatchMessageA(&msg);
            continue;
        }
        // The preview pane needs no more than about 20 frames a second.
        if (TheShell.preview) Sleep(kPreviewFramePause);
        RenderFrame();
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    InitCommonControls();
    TheShell.instance = reinterpret_cast<uintptr_t>(instance);

    const RunRequest request = ParseCommandLine(__argc, __argv);
    switch (request.mode) {
    case RunMode::SettingsNoOwner:
        TheShell.parentWindow = 0;
        RunSettingsDialog();
        return 0;
    case RunMode::PasswordChange:
        TheShell.parentWindow = WindowOrZero(ParseWindowArg(request.handleText));
        ChangePassword();
        return 0;
    case RunMode::Settings:
        // The number after the colon is passed on untested.
        TheShell.parentWindow = request.owner == OwnerSource::Text
                                    ? ParseWindowArg(request.handleText)
                                    : reinterpret_cast<WindowHandle>(GetForegroundWindow());
        RunSettingsDialog();
        return 0;
    case RunMode::Preview:
        TheShell.parentWindow = WindowOrZero(ParseWindowArg(request.handleText));
        // A host that is no window gets the full-screen saver.
        TheShell.preview = TheShell.parentWindow != 0 ? 1 : 0;
        break;
    case RunMode::FullScreen:
        break;
    }

    LoadSettings();
    if (!RegisterSaverClass(instance)) return 0;
    HWND window = CreateSaverWindow(reinterpret_cast<HWND>(TheShell.parentWindow));
    if (window == nullptr) return 0;
    TheShell.saverWindow = reinterpret_cast<WindowHandle>(window);
    return RunMessageLoop();
}
