// Placeholder until the password hooks land: closing is always allowed.
#include "shell/password.h"

int32_t VerifyPasswordOnClose() { return 1; }
void ChangePassword() {}
