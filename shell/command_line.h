#pragma once
// Reading the switches the platform starts a screen saver with. Pure
// functions, so every rule can be tested without a window system.

#include <cstdint>

#include "imaging/surface.h"

// Reads a window number the way atoi does: leading white space skipped, one
// optional '+' or '-', decimal digits up to the first non-digit, 0 when there
// are no digits. There is no overflow check: the digits are accumulated in an
// unsigned 32-bit value that wraps, and the result is that value taken as a
// signed 32-bit number, so "4294967297" reads as 1 and "2147483648" as
// -2147483648. A negative number becomes the handle of its sign-extended value.
WindowHandle ParseWindowArg(const char* text);

enum class RunMode : int32_t {
    SettingsNoOwner,  // no argument, empty or leading space: the dialog without owner
    Preview,          // /p, -p, /l, -l as a whole argument; the handle follows
    PasswordChange,   // /a, -a as a whole argument; the handle follows
    Settings,         // /c..., -c...
    FullScreen,       // anything else
};

// How the owner of the settings dialog is found.
enum class OwnerSource : int32_t {
    None,            // no owner text
    Text,            // handleText holds the number (preview, password, /c:N)
    ForegroundWindow // /c without a colon
};

struct RunRequest {
    RunMode mode = RunMode::SettingsNoOwner;
    OwnerSource owner = OwnerSource::None;
    // The text the window number is read from; never null when owner is Text.
    // A preview or password switch without a second argument gets "" (handle 0).
    const char* handleText = "";
};

// Picks the run mode from the argument vector (the program's name first).
// Reads no element at or past argc.
RunRequest ParseCommandLine(int argc, const char* const* argv);
