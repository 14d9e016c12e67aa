#pragma once
// The hooks into the platform's screen saver password services.

#include <cstdint>

// Non-zero when the full-screen saver may close; 0 keeps it running.
int32_t VerifyPasswordOnClose();

// The password-change run mode, owned by TheShell.parentWindow.
void ChangePassword();
