#include "imaging/blend_table.h"

#include <cstdio>

namespace {

void ShowProgress(BlendProgress& progress)
{
    const int32_t value = progress.initCountdown;
    progress.initCountdown = value - 1;
    char text[64];
    std::snprintf(text, sizeof text, "... Initializing: %d ...", static_cast<int>(value));
    if (progress.show != nullptr) progress.show(progress.context, text);
}

}  // namespace

void BuildBlendTable(const uint8_t* pal, uint8_t* table, BlendProgress& progress)
{
    // Starting at 30 shows the first message after row 0 and then one every 25
    // rows: eleven in all.
    int32_t counter = 30;
    for (int32_t a = 0; a < 256; ++a) {
        // Halving each colour before the addition keeps the average within a byte.
        const int32_t hr = pal[3 * a] >> 1, hg = pal[3 * a + 1] >> 1, hb = pal[3 * a + 2] >> 1;
        for (int32_t b = 0; b <= a; ++b) {
            const int32_t ar = hr + (pal[3 * b] >> 1);
            const int32_t ag = hg + (pal[3 * b + 1] >> 1);
            const int32_t ab = hb + (pal[3 * b + 2] >> 1);
            int32_t best = 100000;
            int32_t bestIndex = 0;
            for (int32_t c = 0; c < 256; ++c) {
                const int32_t dr = ar - pal[3 * c], dg = ag - pal[3 * c + 1], db = ab - pal[3 * c + 2];
                const int32_t d = dr * dr + dg * dg + db * db;
                // Strictly less: among equally near colours the lowest index wins.
                if (d < best) {
                    best = d;
                    bestIndex = c;
                }
            }
            table[a * 256 + b] = static_cast<uint8_t>(bestIndex);
        }
        const int32_t old = counter;
        counter = counter + 1;
        if (old > 23) {
            counter = 0;
            ShowProgress(progress);
        }
    }
    for (int32_t j = 0; j < 256; ++j)
        for (int32_t k = j; k < 256; ++k) table[j * 256 + k] = table[k * 256 + j];
}
