#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_persistence.h"
#include "settings/settings_store_memory.h"

namespace {

template <typename T>
void Put(MemorySettingsStore& store, const char* name, const T& value, uint32_t type = kStoreBinary)
{
    store.Set(name, type, &value, sizeof value);
}

void PutBytes(MemorySettingsStore& store, const char* name, size_t size, uint8_t fill = 0x11)
{
    std::vector<uint8_t> bytes(size, fill);
    store.Set(name, kStoreBinary, bytes.data(), static_cast<uint32_t>(size));
}

MemorySettingsStore StoreWith(const SaverSettings& s)
{
    MemorySettingsStore store;
    SaverSettings copy = s;
    SaveSettings(copy, store);
    store.writeOrder.clear();
    return store;
}

void ExpectDefaults(const SaverSettings& s)
{
    EXPECT_STREQ(s.IMGFilename, "");
    EXPECT_EQ(s.ScreenWidth, 320);
    EXPECT_EQ(s.ScreenHeight, 240);
    EXPECT_EQ(s.Stretch, 0);
    EXPECT_EQ(s.NumBuf, 3);
    EXPECT_EQ(s.UseHiColor, 1);
    EXPECT_EQ(s.Warpy, 0);
    for (double d : {s.XScale, s.YScale, s.Rot1, s.Rot2, s.Zoom1, s.Zoom2}) EXPECT_EQ(d, 1.0);
}

}  // namespace

TEST(SettingsPersistence, MissingKeyKeepsWhateverTheRecordHeld)
{
    SaverSettings s;
    ExpectDefaults(s);
    MemorySettingsStore empty;
    LoadSettings(s, empty);
    ExpectDefaults(s);

    s.NumBuf = 5;
    LoadSettings(s, empty);
    EXPECT_EQ(s.NumBuf, 5);
}

TEST(SettingsPersistence, SaveWritesThirteenValuesInOrderWithTypesAndSizes)
{
    SaverSettings s;
    s.ScreenWidth = 322;
    s.ScreenHeight = 243;
    std::strcpy(s.IMGFilename, "C:\\pictures\\tile.bmp");
    MemorySettingsStore store;
    store.values["Unrelated"] = {kStoreString, {'x', 0}};
    SaveSettings(s, store);

    const std::vector<std::string> order = {"ScreenWidth", "ScreenHeight", "Stretch", "Warpy", "NumBuf",
                                            "UseHiColor", "XScale", "YScale", "Rot1", "Rot2",
                                            "Zoom1", "Zoom2", "IMGFilename"};
    EXPECT_EQ(store.writeOrder, order);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(store.values[order[i]].type, kStoreBinary) << order[i];
        EXPECT_EQ(store.values[order[i]].bytes.size(), i < 6 ? 4u : 8u) << order[i];
    }
    EXPECT_EQ(store.values["IMGFilename"].type, kStoreString);
    EXPECT_EQ(store.values["IMGFilename"].bytes.size(), std::strlen(s.IMGFilename) + 1);
    EXPECT_EQ(store.values.count("Unrelated"), 1u);

    // The width is rounded down in the record too; the height is not.
    EXPECT_EQ(s.ScreenWidth, 320);
    int32_t stored = 0;
    std::memcpy(&stored, store.values["ScreenWidth"].bytes.data(), 4);
    EXPECT_EQ(stored, 320);
    std::memcpy(&stored, store.values["ScreenHeight"].bytes.data(), 4);
    EXPECT_EQ(stored, 243);
}

TEST(SettingsPersistence, RoundTripKeepsEveryBit)
{
    SaverSettings s;
    s.Warpy = 1;
    s.XScale = 0.333;
    s.YScale = -2.5;
    s.Zoom1 = 1e300;
    s.Zoom2 = 0.05;
    s.Rot1 = 0.0;
    s.Rot2 = 10.0;
    std::strcpy(s.IMGFilename, "Z:\\tmp\\a b.bmp");
    s.Stretch = -1;
    s.ScreenWidth = 640;
    s.ScreenHeight = 480;
    s.NumBuf = 5;
    s.UseHiColor = 0;
    MemorySettingsStore store = StoreWith(s);
    SaverSettings loaded;
    LoadSettings(loaded, store);
    EXPECT_EQ(loaded.Warpy, 1);
    EXPECT_EQ(loaded.XScale, 0.333);
    EXPECT_EQ(loaded.YScale, -2.5);
    EXPECT_EQ(loaded.Zoom1, 1e300);
    EXPECT_EQ(loaded.Zoom2, 0.05);
    EXPECT_EQ(loaded.Rot1, 0.0);
    EXPECT_EQ(loaded.Rot2, 10.0);
    EXPECT_STREQ(loaded.IMGFilename, s.IMGFilename);
    EXPECT_EQ(loaded.Stretch, -1);
    EXPECT_EQ(loaded.ScreenWidth, 640);
    EXPECT_EQ(loaded.ScreenHeight, 480);
    EXPECT_EQ(loaded.NumBuf, 5);
    EXPECT_EQ(loaded.UseHiColor, 0);
}

TEST(SettingsPersistence, WrongSizesFallBackValueByValue)
{
    SaverSettings original;
    original.ScreenWidth = 800;
    original.ScreenHeight = 600;
    original.XScale = 3.0;
    original.NumBuf = 4;
    MemorySettingsStore store = StoreWith(original);
    PutBytes(store, "ScreenWidth", 2);
    PutBytes(store, "XScale", 4);
    PutBytes(store, "Warpy", 8);
    PutBytes(store, "Rot1", 0);
    store.values.erase("Zoom2");

    SaverSettings s;
    s.Zoom2 = 7.0;
    s.Warpy = 9;
    LoadSettings(s, store);
    EXPECT_EQ(s.ScreenWidth, 320);
    EXPECT_EQ(s.ScreenHeight, 600);
    EXPECT_EQ(s.XScale, 1.0);
    EXPECT_EQ(s.Warpy, 0);
    EXPECT_EQ(s.Rot1, 1.0);
    EXPECT_EQ(s.Zoom2, 1.0);
    EXPECT_EQ(s.NumBuf, 4);
}

TEST(SettingsPersistence, AnyTypeOfTheRightSizeLoads)
{
    MemorySettingsStore store = StoreWith(SaverSettings{});
    Put(store, "NumBuf", int32_t{2}, kStoreDword);
    Put(store, "ScreenWidth", int32_t{322});
    SaverSettings s;
    LoadSettings(s, store);
    EXPECT_EQ(s.NumBuf, 2);
    // Rounding happens only on save.
    EXPECT_EQ(s.ScreenWidth, 322);
}

TEST(SettingsPersistence, ImageNameTooLongOrUnterminatedStaysTerminated)
{
    MemorySettingsStore store = StoreWith(SaverSettings{});
    const std::string tooLong(399, 'a');
    store.Set("IMGFilename", kStoreString, tooLong.c_str(), 400);
    SaverSettings s;
    std::strcpy(s.IMGFilename, "old");
    LoadSettings(s, store);
    EXPECT_STREQ(s.IMGFilename, "");

    // 299 bytes fit; without a terminator of their own the text is cut there.
    const std::string justFits(299, 'b');
    store.Set("IMGFilename", kStoreBinary, justFits.data(), 299);
    LoadSettings(s, store);
    EXPECT_EQ(std::strlen(s.IMGFilename), 299u);
    EXPECT_EQ(s.IMGFilename[299], 0);

    std::memset(s.IMGFilename, 'z', sizeof s.IMGFilename - 1);
    store.Set("IMGFilename", kStoreBinary, "abc", 3);
    LoadSettings(s, store);
    EXPECT_STREQ(s.IMGFilename, "abc");
}

TEST(SettingsPersistence, FailedCreateStillRoundsTheWidth)
{
    MemorySettingsStore store;
    store.failCreate = true;
    SaverSettings s;
    s.ScreenWidth = 327;
    SaveSettings(s, store);
    EXPECT_EQ(s.ScreenWidth, 324);
    EXPECT_TRUE(store.values.empty());
}
