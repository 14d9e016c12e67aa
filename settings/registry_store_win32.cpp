#include "settings/registry_store_win32.h"

#include "settings/settings_persistence.h"

const char kSettingsKeyPath[] = "Software\\Quillbox ScreenSavers\\Whirlpan";

namespace {
// The class string stored with a newly created key; nothing reads it.
char kKeyClass[] = "Dunno";
}  // namespace

bool RegistrySettingsStore::OpenExisting()
{
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyA(root_, kSettingsKeyPath, &key) != ERROR_SUCCESS) return false;
    key_ = key;
    return true;
}

bool RegistrySettingsStore::OpenOrCreate()
{
    Close();
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root_, kSettingsKeyPath, 0, kKeyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS)
        return false;
    key_ = key;
    return true;
}

bool RegistrySettingsStore::Query(const char* name, void* data, uint32_t* size)
{
    if (key_ == nullptr) return false;
    DWORD count = *size;
    const LONG result = RegQueryValueExA(key_, name, nullptr, nullptr, static_cast<BYTE*>(data), &count);
    if (result != ERROR_SUCCESS) return false;
    *size = count;
    return true;
}

void RegistrySettingsStore::Set(const char* name, uint32_t type, const void* data, uint32_t size)
{
    if (key_ == nullptr) return;
    RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size);
}

void RegistrySettingsStore::Close()
{
    if (key_ == nullptr) return;
    RegCloseKey(key_);
    key_ = nullptr;
}

namespace {
SettingsStore& UserSettingsStore()
{
    static RegistrySettingsStore store;
    return store;
}
}  // namespace

void LoadSettings() { LoadSettings(TheSettings, UserSettingsStore()); }
void SaveSettings() { SaveSettings(TheSettings, UserSettingsStore()); }
