#pragma once
#include "settings/saver_settings.h"
#include "settings/settings_store.h"

// Fills the record from the store, value by value, with a fallback for every
// value that is missing or has the wrong size. An absent key changes nothing.
void LoadSettings(SaverSettings& settings, SettingsStore& store);

// Rounds ScreenWidth down to a multiple of 4 and writes all thirteen values.
void SaveSettings(SaverSettings& settings, SettingsStore& store);
