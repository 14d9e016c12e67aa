#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/blend_table.h"

namespace {

struct Built {
    // Every computed entry of a one-colour palette is 0; 0xAB marks the rows
    // not reached yet.
    std::vector<uint8_t> table = std::vector<uint8_t>(kBlendTableSize, 0xAB);
    std::vector<std::string> messages;
    std::vector<int> rowsDone;  // at each message, the rows whose diagonal is written
    int32_t countdownAfter = 0;
};

Built Build(const std::vector<uint8_t>& palette)
{
    Built b;
    BlendProgress progress;
    progress.context = &b;
    progress.show = [](void* context, const char* text) {
        Built& built = *static_cast<Built*>(context);
        built.messages.push_back(text);
        int rows = 0;
        while (rows < 256 && built.table[rows * 257] != 0xAB) ++rows;
        built.rowsDone.push_back(rows);
    };
    BuildBlendTable(palette.data(), b.table.data(), progress);
    b.countdownAfter = progress.initCountdown;
    return b;
}

std::vector<uint8_t> Uniform(uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> p;
    for (int i = 0; i < 256; ++i) p.insert(p.end(), {r, g, b});
    return p;
}

}  // namespace

TEST(BlendTable, NearestColourToTheTruncatedAverage)
{
    auto palette = Uniform(255, 255, 255);
    const uint8_t five[] = {200, 100, 50}, nine[] = {100, 50, 25};
    std::copy(five, five + 3, palette.begin() + 15);
    std::copy(nine, nine + 3, palette.begin() + 27);
    const Built b = Build(palette);
    // (150, 75, 37) is 3,294 from entry 5 and 3,269 from entry 9.
    EXPECT_TRUE(b.table[5 * 256 + 9] == 9 && b.table[9 * 256 + 5] == 9);
}

TEST(BlendTable, TiesGoToTheLowestIndexAndEveryPairIsSymmetric)
{
    std::vector<uint8_t> palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    // Entries 3 and 7 share a colour: 7 can never win.
    std::copy(palette.begin() + 9, palette.begin() + 12, palette.begin() + 21);
    const Built b = Build(palette);
    for (int i = 0; i < kBlendTableSize; ++i) {
        ASSERT_NE(b.table[i], 7) << i;
        ASSERT_EQ(b.table[i], b.table[i % 256 * 256 + i / 256]) << i;
    }
}

TEST(BlendTable, DiagonalNeedNotBeTheEntryItself)
{
    auto palette = Uniform(10, 200, 30);
    palette[0] = palette[1] = palette[2] = 254;
    palette[765] = palette[766] = palette[767] = 255;
    const Built b = Build(palette);
    EXPECT_EQ(b.table[255 * 256 + 255], 0);
}

TEST(BlendTable, CountsDownFromTenToZeroAfterEveryTwentyFifthRow)
{
    const Built b = Build(Uniform(1, 2, 3));
    ASSERT_EQ(b.messages.size(), 11u);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(b.messages[i], "... Initializing: " + std::to_string(10 - i) + " ...");
        EXPECT_EQ(b.rowsDone[i], 25 * i + 1) << "message " << i << " comes after row " << 25 * i;
    }
    EXPECT_EQ(b.countdownAfter, -1);
}
