// Placeholder until display mode switching lands: never switches.
#include "shell/display_mode.h"

void SwitchDisplayMode() {}
void RestoreDisplayMode() {}
