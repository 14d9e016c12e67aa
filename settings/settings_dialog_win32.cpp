// Placeholder until the settings dialog lands.
#include "settings/settings_dialog.h"

void RunSettingsDialog() {}
