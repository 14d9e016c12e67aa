// The settings in the real registry of the wine prefix. The fallback rules
// are checked exhaustively over the store seam (settings_persistence_test);
// here only what the registry adds: the key and its class, the value types
// written, and every value type read at and beside its size.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "settings/registry_store_win32.h"
#include "settings/saver_settings.h"
#include "settings/settings_persistence.h"

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath); }

    static void Put(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSettingsKeyPath, &key), ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static SaverSettings Load()
    {
        SaverSettings s;
        std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
        RegistrySettingsStore store;
        LoadSettings(s, store);
        return s;
    }
};

// SaveSettings through the registry: the key with its class text, twelve
// REG_BINARY numbers and a REG_SZ name counting its terminator; nothing
// else in the key is touched.
TEST_F(RegistryStoreTest, SaveWritesTheKeyItsClassAndTheValueTypes)
{
    Put("SomebodyElse", REG_SZ, "stay", 5);
    SaverSettings s;
    s.ScreenWidth = 642, s.NumBuf = 11, s.Zoom2 = 0.125;
    std::strcpy(s.IMGFilename, "C:\\tile.bmp");
    RegistrySettingsStore store;
    SaveSettings(s, store);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Quillbox ScreenSavers\\Whirlpan", &key), ERROR_SUCCESS);
    char cls[32] = {};
    DWORD clsLen = sizeof cls, values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, cls, &clsLen, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(cls, "Dunno");
    EXPECT_EQ(values, 14u);
    const struct {
        const char* name;
        DWORD type, size;
    } written[] = {{"ScreenWidth", REG_BINARY, 4}, {"Warpy", REG_BINARY, 4},  {"XScale", REG_BINARY, 8},
                   {"Zoom2", REG_BINARY, 8},       {"IMGFilename", REG_SZ, 12}, {"SomebodyElse", REG_SZ, 5}};
    for (const auto& w : written) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(RegQueryValueExA(key, w.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS) << w.name;
        EXPECT_EQ(type * 1000 + size, w.type * 1000 + w.size) << w.name;
    }
    RegCloseKey(key);
}

// Every registry type at a number's own size loads as it lies; one byte
// more or less falls back, and so does a value that is missing.
TEST_F(RegistryStoreTest, EveryValueTypeLoadsAtItsOwnSizeOnly)
{
    const char pattern[] = "QRSTUVWXYZ";
    for (DWORD type : {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ, REG_QWORD})
        for (const char* name : {"NumBuf", "Rot1"})
            for (int delta : {-1, 0, 1}) {
                const DWORD own = name[0] == 'N' ? 4 : 8;
                SCOPED_TRACE(std::string(name) + " type " + std::to_string(type) + " size " + std::to_string(own + delta));
                RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
                Put(name, type, pattern, own + delta);
                const SaverSettings s = Load();
                int32_t numBuf = 3;
                double rot1 = 1.0;
                if (delta == 0) std::memcpy(own == 4 ? static_cast<void*>(&numBuf) : &rot1, pattern, own);
                EXPECT_EQ(s.NumBuf, numBuf);
                EXPECT_EQ(std::memcmp(&s.Rot1, &rot1, 8), 0);
                EXPECT_EQ(s.ScreenWidth, 320);
            }
    // A name of 299 bytes loads, of 300 loads empty, whatever the string type.
    for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_BINARY})
        for (DWORD size : {299u, 300u}) {
            Put("IMGFilename", type, std::string(size - 1, 'n').c_str(), size);
            EXPECT_EQ(std::strlen(Load().IMGFilename), size == 299 ? 298u : 0u) << type << " " << size;
        }
}

}  // namespace
