#pragma once
// The settings dialog: edits every setting and saves them on OK.

// Runs dialog template 101 modally, owned by TheShell.parentWindow.
void RunSettingsDialog();
