// The settings round trip through the real registry of the wine prefix.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "settings/registry_store_win32.h"
#include "settings/saver_settings.h"
#include "settings/settings_persistence.h"

namespace {

struct StoredValue {
    DWORD type = 0;
    std::vector<uint8_t> bytes;
};

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath); }

    static HKEY CreateKey()
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static void Put(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = CreateKey();
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static std::map<std::string, StoredValue> ReadAll()
    {
        std::map<std::string, StoredValue> out;
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, kSettingsKeyPath, &key) != ERROR_SUCCESS) return out;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameLen = sizeof name;
            BYTE data[1024];
            DWORD dataLen = sizeof data;
            DWORD type = 0;
            if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) break;
            out[name] = StoredValue{type, std::vector<uint8_t>(data, data + dataLen)};
        }
        RegCloseKey(key);
        return out;
    }
};

TEST_F(RegistryStoreTest, AbsentKeyChangesNothing)
{
    SaverSettings s;
    s.ScreenWidth = 1234;
    s.XScale = 7.5;
    std::strcpy(s.IMGFilename, "kept.bmp");
    RegistrySettingsStore store;
    LoadSettings(s, store);
    EXPECT_EQ(s.ScreenWidth, 1234);
    EXPECT_EQ(s.XScale, 7.5);
    EXPECT_STREQ(s.IMGFilename, "kept.bmp");
    EXPECT_FALSE(store.OpenExisting());
}

TEST_F(RegistryStoreTest, SaveWritesThirteenValuesOfTheirTypesAndSizes)
{
    Put("SomebodyElse", REG_SZ, "stay", 5);
    SaverSettings s;
    s.ScreenWidth = 322;
    s.ScreenHeight = 243;
    s.Stretch = -1;
    s.Warpy = 1;
    s.NumBuf = 5;
    s.UseHiColor = 0;
    s.XScale = 0.25;
    s.YScale = 2.5;
    s.Rot1 = -1.0;
    s.Rot2 = 3.0;
    s.Zoom1 = 0.5;
    s.Zoom2 = 4.0;
    std::strcpy(s.IMGFilename, "C:\\pictures\\tile.bmp");
    RegistrySettingsStore store;
    SaveSettings(s, store);
    EXPECT_EQ(s.ScreenWidth, 320);  // rounded in the record too

    const auto values = ReadAll();
    EXPECT_EQ(values.size(), 14u);
    ASSERT_EQ(values.count("SomebodyElse"), 1u);
    EXPECT_EQ(values.at("SomebodyElse").type, static_cast<DWORD>(REG_SZ));

    const struct {
        const char* name;
        int32_t value;
    } ints[] = {{"ScreenWidth", 320}, {"ScreenHeight", 243}, {"Stretch", -1},
                {"Warpy", 1},         {"NumBuf", 5},         {"UseHiColor", 0}};
    for (const auto& c : ints) {
        ASSERT_EQ(values.count(c.name), 1u) << c.name;
        const StoredValue& v = values.at(c.name);
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY)) << c.name;
        ASSERT_EQ(v.bytes.size(), 4u) << c.name;
        int32_t got = 0;
        std::memcpy(&got, v.bytes.data(), 4);
        EXPECT_EQ(got, c.value) << c.name;
    }
    const struct {
        const char* name;
        double value;
    } doubles[] = {{"XScale", 0.25}, {"YScale", 2.5}, {"Rot1", -1.0}, {"Rot2", 3.0}, {"Zoom1", 0.5}, {"Zoom2", 4.0}};
    for (const auto& c : doubles) {
        ASSERT_EQ(values.count(c.name), 1u) << c.name;
        const StoredValue& v = values.at(c.name);
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY)) << c.name;
        ASSERT_EQ(v.bytes.size(), 8u) << c.name;
        double got = 0;
        std::memcpy(&got, v.bytes.data(), 8);
        EXPECT_EQ(got, c.value) << c.name;
    }
    ASSERT_EQ(values.count("IMGFilename"), 1u);
    const StoredValue& name = values.at("IMGFilename");
    EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
    const std::string expected = "C:\\pictures\\tile.bmp";
    ASSERT_EQ(name.bytes.size(), expected.size() + 1);  // the terminator counted
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.bytes.data())), expected);

    SaverSettings back;
    RegistrySettingsStore reader;
    LoadSettings(back, reader);
    EXPECT_EQ(back.ScreenWidth, 320);
    EXPECT_EQ(back.ScreenHeight, 243);
    EXPECT_EQ(back.Stretch, -1);
    EXPECT_EQ(back.Warpy, 1);
    EXPECT_EQ(back.NumBuf, 5);
    EXPECT_EQ(back.UseHiColor, 0);
    EXPECT_EQ(back.XScale, 0.25);
    EXPECT_EQ(back.Zoom2, 4.0);
    EXPECT_STREQ(back.IMGFilename, expected.c_str());
}

TEST_F(RegistryStoreTest, ValuesOfWrongSizeFallBackAndOthersLoad)
{
    const int16_t shortWidth = 1000;
    Put("ScreenWidth", REG_BINARY, &shortWidth, 2);
    const int32_t height = 243;
    Put("ScreenHeight", REG_BINARY, &height, 4);
    const int32_t xscaleAsInt = 5;
    Put("XScale", REG_BINARY, &xscaleAsInt, 4);
    const double yscale = 3.0;
    Put("YScale", REG_BINARY, &yscale, 8);
    const double twelve[2] = {6.0, 7.0};
    Put("Rot1", REG_BINARY, twelve, 16);  // too large for the field
    const DWORD numBuf = 7;
    Put("NumBuf", REG_DWORD, &numBuf, 4);  // any type of the right size loads
    const int32_t stretch = 16;
    Put("Stretch", REG_SZ, &stretch, 4);
    const int64_t warpy = 1;
    Put("Warpy", REG_BINARY, &warpy, 8);

    SaverSettings s;
    s.ScreenWidth = 1;
    s.XScale = 9.0;
    s.Rot1 = 9.0;
    s.Warpy = 9;
    s.UseHiColor = 9;
    std::strcpy(s.IMGFilename, "before.bmp");
    RegistrySettingsStore store;
    LoadSettings(s, store);
    EXPECT_EQ(s.ScreenWidth, 320);
    EXPECT_EQ(s.ScreenHeight, 243);
    EXPECT_EQ(s.XScale, 1.0);
    EXPECT_EQ(s.YScale, 3.0);
    EXPECT_EQ(s.Rot1, 1.0);
    EXPECT_EQ(s.NumBuf, 7);
    EXPECT_EQ(s.Stretch, 16);
    EXPECT_EQ(s.Warpy, 0);
    EXPECT_EQ(s.UseHiColor, 1);  // missing value
    EXPECT_STREQ(s.IMGFilename, "");  // missing name
}

TEST_F(RegistryStoreTest, NameOfFourHundredBytesLoadsEmpty)
{
    const std::string longName(399, 'x');
    Put("IMGFilename", REG_SZ, longName.c_str(), 400);
    SaverSettings s;
    std::strcpy(s.IMGFilename, "before.bmp");
    RegistrySettingsStore store;
    LoadSettings(s, store);
    EXPECT_STREQ(s.IMGFilename, "");

    const std::string fits(298, 'y');
    Put("IMGFilename", REG_SZ, fits.c_str(), 299);
    LoadSettings(s, store);
    EXPECT_EQ(std::string(s.IMGFilename), fits);
}

TEST_F(RegistryStoreTest, HandMadeWidthIsNotRoundedOnLoad)
{
    const int32_t width = 322;
    Put("ScreenWidth", REG_BINARY, &width, 4);
    SaverSettings s;
    RegistrySettingsStore store;
    LoadSettings(s, store);
    EXPECT_EQ(s.ScreenWidth, 322);
}

TEST_F(RegistryStoreTest, QueryReportsStoredSizeAndRefusesSmallBuffers)
{
    const uint8_t six[6] = {1, 2, 3, 4, 5, 6};
    Put("Six", REG_BINARY, six, 6);
    RegistrySettingsStore store;
    uint8_t buffer[8] = {};
    uint32_t size = 8;
    EXPECT_FALSE(store.Query("Six", buffer, &size));  // not open yet
    ASSERT_TRUE(store.OpenExisting());
    EXPECT_TRUE(store.Query("Six", buffer, &size));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer[5], 6);
    size = 4;
    EXPECT_FALSE(store.Query("Six", buffer, &size));
    size = 8;
    EXPECT_FALSE(store.Query("Missing", buffer, &size));
    store.Close();
    store.Close();  // a second close is harmless
}

TEST_F(RegistryStoreTest, CreatedKeyCarriesItsClassText)
{
    RegistrySettingsStore store;
    ASSERT_TRUE(store.OpenOrCreate());
    store.Close();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kSettingsKeyPath, &key), ERROR_SUCCESS);
    char cls[32] = {};
    DWORD clsLen = sizeof cls;
    ASSERT_EQ(RegQueryInfoKeyA(key, cls, &clsLen, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(cls, "Dunno");
}

TEST_F(RegistryStoreTest, PlatformStoreIsTheCurrentUsersKey)
{
    const int32_t numBuf = 11;
    Put("NumBuf", REG_BINARY, &numBuf, 4);
    const SaverSettings saved = TheSettings;
    LoadSettings();
    EXPECT_EQ(TheSettings.NumBuf, 11);
    TheSettings = saved;
}

}  // namespace
