// LoadSettings and SaveSettings over the store seam. The fallback rules are
// checked here exhaustively, once; the registry store's own test keeps only
// what the registry adds (value types, its size reports, the key itself).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_persistence.h"
#include "tests/support/settings_store_memory.h"

namespace {

// The twelve numbers, each with a value a good key holds (none of them a
// default) and the fallback the loader must put in its place.
struct NumberSetting {
    const char* name;
    uint32_t size;  // 4 for the integers, 8 for the doubles
    double good, fallback;
    void* (*field)(SaverSettings&);
};

#define FIELD(f) [](SaverSettings& s) -> void* { return &s.f; }
const NumberSetting kNumbers[] = {
    {"ScreenWidth", 4, 640, 320, FIELD(ScreenWidth)}, {"ScreenHeight", 4, 480, 240, FIELD(ScreenHeight)},
    {"Stretch", 4, 16, 0, FIELD(Stretch)},            {"NumBuf", 4, 5, 3, FIELD(NumBuf)},
    {"UseHiColor", 4, 0, 1, FIELD(UseHiColor)},       {"Warpy", 4, 1, 0, FIELD(Warpy)},
    {"XScale", 8, 0.25, 1, FIELD(XScale)},            {"YScale", 8, 2.5, 1, FIELD(YScale)},
    {"Rot1", 8, -1.5, 1, FIELD(Rot1)},                {"Rot2", 8, 3, 1, FIELD(Rot2)},
    {"Zoom1", 8, 0.125, 1, FIELD(Zoom1)},             {"Zoom2", 8, 7, 1, FIELD(Zoom2)},
};
#undef FIELD

std::vector<uint8_t> BytesOf(const NumberSetting& n, double value)
{
    const int32_t i = static_cast<int32_t>(value);
    const auto* at = static_cast<const uint8_t*>(n.size == 4 ? static_cast<const void*>(&i) : &value);
    return std::vector<uint8_t>(at, at + n.size);
}

std::vector<uint8_t> FieldBytes(SaverSettings& s, const NumberSetting& n)
{
    return std::vector<uint8_t>(static_cast<uint8_t*>(n.field(s)), static_cast<uint8_t*>(n.field(s)) + n.size);
}

MemorySettingsStore GoodKey()
{
    MemorySettingsStore store;
    store.keyExists = true;
    for (const NumberSetting& n : kNumbers) store.Set(n.name, kStoreBinary, BytesOf(n, n.good).data(), n.size);
    store.Set("IMGFilename", kStoreString, "C:\\keep.bmp", 12);
    return store;
}

// Every byte 0x5A, so that a field the loader skips or writes in part shows.
SaverSettings Scrambled()
{
    SaverSettings s;
    std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
    return s;
}

// Each number alone, missing or stored at any size of any type: at its own
// size it is taken as it lies, at any other it falls back whole, and no
// other value is disturbed.
TEST(LoadSettings, EachNumberLoadsOnlyAtItsOwnSizeAndFallsBackAlone)
{
    const uint32_t sizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 16, 300};
    for (const NumberSetting& wrecked : kNumbers)
        for (uint32_t type : {kStoreBinary, kStoreString, kStoreDword})
            for (int size = -1; size < static_cast<int>(std::size(sizes)); ++size) {
                MemorySettingsStore store = GoodKey();
                std::vector<uint8_t> stored;
                for (uint32_t i = 0; size >= 0 && i < sizes[size]; ++i) stored.push_back(static_cast<uint8_t>('A' + i % 26));
                store.values.erase(wrecked.name);
                if (size >= 0) store.Set(wrecked.name, type, stored.data(), sizes[size]);
                SCOPED_TRACE(std::string(wrecked.name) + " type " + std::to_string(type) + " size " +
                             (size < 0 ? "missing" : std::to_string(sizes[size])));
                SaverSettings s = Scrambled();
                LoadSettings(s, store);
                EXPECT_EQ(FieldBytes(s, wrecked), stored.size() == wrecked.size ? stored : BytesOf(wrecked, wrecked.fallback));
                for (const NumberSetting& other : kNumbers)
                    EXPECT_TRUE(&other == &wrecked || FieldBytes(s, other) == BytesOf(other, other.good)) << other.name;
                EXPECT_STREQ(s.IMGFilename, "C:\\keep.bmp");
            }
}

// The name takes up to 299 bytes of any type, with or without a terminator;
// a longer or missing one loads as the empty name. The last byte stays 0.
TEST(LoadSettings, NameLoadsUpTo299BytesTerminated)
{
    for (int size : {-1, 0, 1, 2, 298, 299, 300, 400})  // -1: missing
        for (bool terminated : {false, true}) {
            if (terminated && size <= 0) continue;
            SCOPED_TRACE(std::to_string(size) + (terminated ? " ending in 0" : " unterminated"));
            MemorySettingsStore store = GoodKey();
            std::string stored(std::max(size, 0), 'n');
            if (terminated) stored[size - 1] = '\0';
            store.values.erase("IMGFilename");
            if (size >= 0) store.Set("IMGFilename", kStoreBinary, stored.data(), size);
            SaverSettings s = Scrambled();
            LoadSettings(s, store);
            EXPECT_EQ(s.IMGFilename[kImageFilenameSize - 1], 0);
            const std::string want = size < 0 || size > 299 ? "" : std::string(terminated ? size - 1 : size, 'n');
            EXPECT_EQ(std::string(s.IMGFilename), want);
            for (const NumberSetting& n : kNumbers) EXPECT_EQ(FieldBytes(s, n), BytesOf(n, n.good)) << n.name;
        }
}

TEST(LoadSettings, AMissingKeyKeepsWhateverTheRecordHeld)
{
    SaverSettings s;
    s.NumBuf = 5, s.XScale = 7.5;
    MemorySettingsStore empty;
    LoadSettings(s, empty);
    EXPECT_EQ(std::pair(s.NumBuf, s.XScale), std::pair(5, 7.5));
    const SaverSettings defaults;  // the start values are the fallbacks
    for (const NumberSetting& n : kNumbers)
        EXPECT_EQ(FieldBytes(const_cast<SaverSettings&>(defaults), n), BytesOf(n, n.fallback)) << n.name;
    EXPECT_STREQ(defaults.IMGFilename, "");
}

TEST(SaveSettings, WritesThirteenValuesInOrderAndRoundsTheWidth)
{
    SaverSettings s;
    for (const NumberSetting& n : kNumbers) std::memcpy(n.field(s), BytesOf(n, n.good).data(), n.size);
    s.ScreenWidth = 643;
    std::strcpy(s.IMGFilename, "C:\\pictures\\tile.bmp");
    MemorySettingsStore store;
    store.values["Unrelated"] = {kStoreString, {'x', 0}};
    SaveSettings(s, store);
    EXPECT_EQ(store.writeOrder, (std::vector<std::string>{"ScreenWidth", "ScreenHeight", "Stretch", "Warpy", "NumBuf",
                                                          "UseHiColor", "XScale", "YScale", "Rot1", "Rot2", "Zoom1",
                                                          "Zoom2", "IMGFilename"}));
    EXPECT_EQ(s.ScreenWidth, 640);  // rounded in the record too; the height is not
    for (const NumberSetting& n : kNumbers) {
        EXPECT_EQ(store.values[n.name].type, kStoreBinary) << n.name;
        EXPECT_EQ(store.values[n.name].bytes, BytesOf(n, n.good)) << n.name;
    }
    EXPECT_EQ(store.values["IMGFilename"].type, kStoreString);
    EXPECT_EQ(store.values["IMGFilename"].bytes.size(), std::strlen(s.IMGFilename) + 1);
    EXPECT_EQ(store.values.count("Unrelated"), 1u);

    MemorySettingsStore failing;
    failing.failCreate = true;
    s.ScreenWidth = 327;
    SaveSettings(s, failing);
    EXPECT_EQ(s.ScreenWidth, 324);  // rounded even when nothing can be written
    EXPECT_TRUE(failing.values.empty());
}

}  // namespace
