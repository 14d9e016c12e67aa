#pragma once
// The settings dialog: edits every setting and saves them on OK.

#include <cstdint>

// Runs dialog template 101 modally from the module instance, owned by the
// window owner (0 for none). Both handles cross as plain values: the dialog
// sits below the shell and knows neither its record nor the windows' types.
void RunSettingsDialog(uintptr_t instance, uintptr_t owner);
