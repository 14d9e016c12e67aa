#pragma once
// The settings store over the current user's registry key
// "Software\Quillbox ScreenSavers\Whirlpan".

#include <windows.h>

#include "settings/settings_store.h"

extern const char kSettingsKeyPath[];

class RegistrySettingsStore : public SettingsStore {
public:
    // root is HKEY_CURRENT_USER in the program; tests may pass another root.
    explicit RegistrySettingsStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}
    ~RegistrySettingsStore() override { Close(); }

    bool OpenExisting() override;
    bool OpenOrCreate() override;
    bool Query(const char* name, void* data, uint32_t* size) override;
    void Set(const char* name, uint32_t type, const void* data, uint32_t size) override;
    void Close() override;

private:
    HKEY root_;
    HKEY key_ = nullptr;
};

// LoadSettings and SaveSettings on the process-wide record and the current
// user's key: the saver's and the dialog's settings.
void LoadSettings();
void SaveSettings();
