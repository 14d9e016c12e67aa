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


// ---- Every wrong type and size ----------------------------------------------

// The twelve numbers, each with the value a good key holds for it here (none
// of them a default) and the fallback the loader must put in its place.
struct NumberSetting {
    const char* name;
    uint32_t size;  // 4 for the integers, 8 for the doubles
    int32_t goodInt;
    double goodDouble;
    int32_t fallbackInt;
    double fallbackDouble;
    void* (*field)(SaverSettings&);
};

#define GYROFOLD_FIELD(f) [](SaverSettings& s) -> void* { return &s.f; }
const NumberSetting kNumbers[] = {
    {"ScreenWidth", 4, 640, 0, 320, 0, GYROFOLD_FIELD(ScreenWidth)},
    {"ScreenHeight", 4, 480, 0, 240, 0, GYROFOLD_FIELD(ScreenHeight)},
    {"Stretch", 4, 16, 0, 0, 0, GYROFOLD_FIELD(Stretch)},
    {"NumBuf", 4, 5, 0, 3, 0, GYROFOLD_FIELD(NumBuf)},
    {"UseHiColor", 4, 0, 0, 1, 0, GYROFOLD_FIELD(UseHiColor)},
    {"XScale", 8, 0, 0.25, 0, 1.0, GYROFOLD_FIELD(XScale)},
    {"YScale", 8, 0, 2.5, 0, 1.0, GYROFOLD_FIELD(YScale)},
    {"Rot1", 8, 0, -1.5, 0, 1.0, GYROFOLD_FIELD(Rot1)},
    {"Rot2", 8, 0, 3.0, 0, 1.0, GYROFOLD_FIELD(Rot2)},
    {"Zoom1", 8, 0, 0.125, 0, 1.0, GYROFOLD_FIELD(Zoom1)},
    {"Zoom2", 8, 0, 7.0, 0, 1.0, GYROFOLD_FIELD(Zoom2)},
    {"Warpy", 4, 1, 0, 0, 0, GYROFOLD_FIELD(Warpy)},
};
#undef GYROFOLD_FIELD

std::vector<uint8_t> BytesOf(const NumberSetting& n, bool good)
{
    std::vector<uint8_t> bytes(n.size);
    if (n.size == 4) {
        const int32_t v = good ? n.goodInt : n.fallbackInt;
        std::memcpy(bytes.data(), &v, 4);
    } else {
        const double v = good ? n.goodDouble : n.fallbackDouble;
        std::memcpy(bytes.data(), &v, 8);
    }
    return bytes;
}

std::vector<uint8_t> FieldBytes(SaverSettings& s, const NumberSetting& n)
{
    const auto* at = static_cast<const uint8_t*>(n.field(s));
    return std::vector<uint8_t>(at, at + n.size);
}

struct RegistryType {
    DWORD type;
    const char* name;
};
const RegistryType kTypes[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},   {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"}, {REG_QWORD, "REG_QWORD"},
};

// Letters and digits only, with no 0 anywhere: a string type goes through the
// registry's conversion to and from UTF-16 unchanged, and its length is what
// was stored. The byte after the stored ones is not 0 either, because the
// registry counts a terminator that an ANSI caller seems to have left out.
std::vector<uint8_t> Pattern(size_t size, uint8_t salt)
{
    std::vector<uint8_t> bytes(size + 1);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>('A' + (i * 7 + salt) % 26);
    return bytes;
}

class RegistryFallbackTest : public RegistryStoreTest {
protected:
    // A good key: every number with its good value, and a name.
    static void PutGoodKey()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
        for (const NumberSetting& n : kNumbers) {
            const std::vector<uint8_t> good = BytesOf(n, true);
            Put(n.name, REG_BINARY, good.data(), n.size);
        }
        Put("IMGFilename", REG_SZ, "C:\\keep.bmp", 12);
    }
    // A record whose every byte is 0x5A, so that a field the loader does not
    // write, or writes only in part, shows.
    static SaverSettings Scrambled()
    {
        SaverSettings s;
        std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
        return s;
    }
};

TEST_F(RegistryFallbackTest, EveryNumberOfAnyTypeLoadsOnlyAtItsOwnSizeAndOthersStillLoad)
{
    const uint32_t sizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 16, 300, 4096};
    int cases = 0;
    for (const NumberSetting& wrecked : kNumbers) {
        for (const RegistryType& type : kTypes) {
            for (uint32_t size : sizes) {
                SCOPED_TRACE(std::string(wrecked.name) + " as " + type.name + " of " + std::to_string(size) +
                             " bytes");
                PutGoodKey();
                const std::vector<uint8_t> stored = Pattern(size, static_cast<uint8_t>(cases));
                Put(wrecked.name, type.type, stored.data(), size);
                SaverSettings s = Scrambled();
                RegistrySettingsStore store;
                LoadSettings(s, store);
                ++cases;

                // Its own size of any type is taken as it lies; any other size
                // is refused whole.
                const std::vector<uint8_t> expected =
                    size == wrecked.size ? std::vector<uint8_t>(stored.begin(), stored.begin() + size)
                                         : BytesOf(wrecked, false);
                EXPECT_EQ(FieldBytes(s, wrecked), expected);
                for (const NumberSetting& other : kNumbers) {
                    if (&other == &wrecked) continue;
                    EXPECT_EQ(FieldBytes(s, other), BytesOf(other, true)) << other.name;
                }
                EXPECT_STREQ(s.IMGFilename, "C:\\keep.bmp");
            }
        }
    }
    EXPECT_EQ(cases, 12 * 8 * 13);
}

TEST_F(RegistryFallbackTest, EveryNumberMissingFromAGoodKeyFallsBackAlone)
{
    for (const NumberSetting& missing : kNumbers) {
        SCOPED_TRACE(missing.name);
        PutGoodKey();
        HKEY key = CreateKey();
        ASSERT_EQ(RegDeleteValueA(key, missing.name), ERROR_SUCCESS);
        RegCloseKey(key);
        SaverSettings s = Scrambled();
        RegistrySettingsStore store;
        LoadSettings(s, store);
        EXPECT_EQ(FieldBytes(s, missing), BytesOf(missing, false));
        for (const NumberSetting& other : kNumbers) {
            if (&other == &missing) continue;
            EXPECT_EQ(FieldBytes(s, other), BytesOf(other, true)) << other.name;
        }
    }
}

TEST_F(RegistryFallbackTest, WholeKeyWreckedLoadsEveryFallback)
{
    // Each number with a size next to its own, of a type it was never
    // written with; the name too long for its buffer.
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    int salt = 0;
    for (const NumberSetting& n : kNumbers) {
        const uint32_t size = n.size == 4 ? (salt % 2 ? 3 : 5) : (salt % 2 ? 7 : 9);
        const std::vector<uint8_t> bytes = Pattern(size, static_cast<uint8_t>(salt));
        Put(n.name, kTypes[salt % 8].type, bytes.data(), size);
        ++salt;
    }
    const std::vector<uint8_t> longName = Pattern(400, 3);
    Put("IMGFilename", REG_SZ, longName.data(), 400);
    SaverSettings s = Scrambled();
    RegistrySettingsStore store;
    LoadSettings(s, store);
    EXPECT_STREQ(s.IMGFilename, "");
    EXPECT_EQ(s.ScreenWidth, 320);
    EXPECT_EQ(s.ScreenHeight, 240);
    EXPECT_EQ(s.Stretch, 0);
    EXPECT_EQ(s.NumBuf, 3);
    EXPECT_EQ(s.UseHiColor, 1);
    EXPECT_EQ(s.Warpy, 0);
    for (double d : {s.XScale, s.YScale, s.Rot1, s.Rot2, s.Zoom1, s.Zoom2}) EXPECT_EQ(d, 1.0);
}

// The name takes up to 299 bytes of any type, with or without a terminator;
// a longer one loads as the empty name. The buffer's last byte stays 0.
TEST_F(RegistryFallbackTest, NameOfAnyTypeLoadsUpTo299BytesTerminatedAndLongerOnesLoadEmpty)
{
    const uint32_t sizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 100, 297, 298, 299, 300, 301, 400, 4096};
    int cases = 0;
    for (const RegistryType& type : kTypes) {
        for (uint32_t size : sizes) {
            for (bool terminated : {false, true}) {
                if (terminated && size == 0) continue;
                SCOPED_TRACE(std::string(type.name) + ", " + std::to_string(size) + " bytes, " +
                             (terminated ? "ending in 0" : "no terminator"));
                PutGoodKey();
                std::vector<uint8_t> stored = Pattern(size, static_cast<uint8_t>(cases));
                if (terminated) stored[size - 1] = 0;
                Put("IMGFilename", type.type, stored.data(), size);
                SaverSettings s = Scrambled();
                RegistrySettingsStore store;
                LoadSettings(s, store);
                ++cases;

                std::string expected;
                if (size <= 299)
                    expected.assign(reinterpret_cast<const char*>(stored.data()), terminated ? size - 1 : size);
                EXPECT_EQ(s.IMGFilename[kImageFilenameSize - 1], 0);
                ASSERT_LE(std::strlen(s.IMGFilename), 299u);
                EXPECT_EQ(std::string(s.IMGFilename), expected);
                // The name never decides the numbers.
                for (const NumberSetting& n : kNumbers) EXPECT_EQ(FieldBytes(s, n), BytesOf(n, true)) << n.name;
            }
        }
    }
    EXPECT_EQ(cases, 8 * 17 * 2 - 8);
}

// A value written through the wide registry calls, as another program might:
// what counts is the size the ANSI query reports, a REG_SZ of four UTF-16
// characters being four bytes to the loader.
TEST_F(RegistryFallbackTest, WideStringsCountInAnsiBytes)
{
    PutGoodKey();
    HKEY key = CreateKey();
    const wchar_t four[] = L"@\x01\x00\x00";  // 8 bytes stored, 4 ANSI bytes read: 320
    ASSERT_EQ(RegSetValueExW(key, L"ScreenHeight", 0, REG_SZ, reinterpret_cast<const BYTE*>(four), 8),
              ERROR_SUCCESS);
    // 16 bytes stored, 8 ANSI bytes read. A ninth character follows, because
    // the registry counts a terminator the caller seems to have left out.
    const wchar_t eight[] = L"ABCDEFGHI";
    ASSERT_EQ(RegSetValueExW(key, L"ScreenWidth", 0, REG_SZ, reinterpret_cast<const BYTE*>(eight), 16),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"Zoom1", 0, REG_SZ, reinterpret_cast<const BYTE*>(eight), 16), ERROR_SUCCESS);
    RegCloseKey(key);
    SaverSettings s = Scrambled();
    RegistrySettingsStore store;
    LoadSettings(s, store);
    EXPECT_EQ(s.ScreenHeight, 320);
    EXPECT_EQ(s.ScreenWidth, 320);  // eight bytes for a four-byte value
    double zoom = 0;
    std::memcpy(&zoom, "ABCDEFGH", 8);
    EXPECT_EQ(std::memcmp(&s.Zoom1, &zoom, 8), 0) << s.Zoom1;
}

}  // namespace
