// The quantiser. The first pass counts every colour into a 5-5-5 histogram
// and, while there are at most 256 of them, keeps the exact colours as well;
// the second pass looks each colour up, in the exact colours' hash or in the
// 32768-entry map from histogram cell to palette index.

#include "imaging/quantiser.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint32_t CellOf(uint32_t rgb) { return ((rgb >> 9) & 0x7C00) | ((rgb >> 6) & 0x03E0) | ((rgb >> 3) & 0x001F); }

// Median cut: boxes of colour space are halved at their population's median
// along their longest side, each box's mean colour joins the palette, and
// every histogram cell maps to its nearest palette colour. Deterministic.
class MedianCut {
public:
    struct Cell {
        uint64_t count = 0, red = 0, green = 0, blue = 0;
    };
    explicit MedianCut(std::vector<Cell> cells) : cells_(std::move(cells)) {}

    // Fills the palette and the cell-to-index map.
    void Build(uint8_t palette[768], uint8_t map[32768])
    {
        std::vector<Box> boxes;
        Box all{{0, 0, 0}, {31, 31, 31}, 0};
        Shrink(all);
        boxes.push_back(all);
        while (boxes.size() < 256) {
            int best = -1;
            uint64_t bestScore = 0;
            for (size_t i = 0; i < boxes.size(); ++i) {
                const Box& b = boxes[i];
                const int side = LongestSide(b);
                if (b.hi[side] == b.lo[side]) continue;  // one cell: cannot split
                const uint64_t score = b.count * static_cast<uint64_t>(b.hi[side] - b.lo[side] + 1);
                if (best < 0 || score > bestScore) {
                    best = static_cast<int>(i);
                    bestScore = score;
                }
            }
            if (best < 0) break;
            Box low, high;
            Split(boxes[static_cast<size_t>(best)], low, high);
            boxes[static_cast<size_t>(best)] = low;
            boxes.push_back(high);
        }
        std::memset(palette, 0, 768);
        for (size_t i = 0; i < boxes.size(); ++i) {
            uint64_t n = 0, r = 0, g = 0, b = 0;
            ForEachCell(boxes[i], [&](const Cell& c) {
                n += c.count;
                r += c.red;
                g += c.green;
                b += c.blue;
            });
            palette[3 * i] = static_cast<uint8_t>((r + n / 2) / n);
            palette[3 * i + 1] = static_cast<uint8_t>((g + n / 2) / n);
            palette[3 * i + 2] = static_cast<uint8_t>((b + n / 2) / n);
        }
        for (uint32_t cell = 0; cell < 32768; ++cell) {
            const Cell& c = cells_[cell];
            if (c.count == 0) continue;
            const int64_t r = static_cast<int64_t>((c.red + c.count / 2) / c.count);
            const int64_t g = static_cast<int64_t>((c.green + c.count / 2) / c.count);
            const int64_t b = static_cast<int64_t>((c.blue + c.count / 2) / c.count);
            int64_t bestDistance = INT64_MAX;
            for (size_t i = 0; i < boxes.size(); ++i) {
                const int64_t dr = r - palette[3 * i], dg = g - palette[3 * i + 1], db = b - palette[3 * i + 2];
                const int64_t d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    map[cell] = static_cast<uint8_t>(i);
                }
            }
        }
    }

private:
    struct Box {
        int lo[3];
        int hi[3];
        uint64_t count;
    };

    static uint32_t CellAt(int r, int g, int b) { return static_cast<uint32_t>((r << 10) | (g << 5) | b); }

    template <typename F>
    void ForEachCell(const Box& box, F f) const
    {
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const Cell& c = cells_[CellAt(r, g, b)];
                    if (c.count != 0) f(c);
                }
    }

    // Tightens a box around its occupied cells and counts its population.
    void Shrink(Box& box) const
    {
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        uint64_t n = 0;
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const Cell& c = cells_[CellAt(r, g, b)];
                    if (c.count == 0) continue;
                    n += c.count;
                    const int v[3] = {r, g, b};
                    for (int k = 0; k < 3; ++k) {
                        lo[k] = std::min(lo[k], v[k]);
                        hi[k] = std::max(hi[k], v[k]);
                    }
                }
        for (int k = 0; k < 3; ++k) {
            box.lo[k] = lo[k];
            box.hi[k] = hi[k];
        }
        box.count = n;
    }

    static int LongestSide(const Box& b)
    {
        int side = 0;
        for (int k = 1; k < 3; ++k)
            if (b.hi[k] - b.lo[k] > b.hi[side] - b.lo[side]) side = k;
        return side;
    }

    void Split(const Box& box, Box& low, Box& high) const
    {
        const int side = LongestSide(box);
        // Population of each slice along the side, then the median slice.
        uint64_t slices[32] = {};
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const int v[3] = {r, g, b};
                    slices[v[side]] += cells_[CellAt(r, g, b)].count;
                }
        uint64_t running = 0;
        int cut = box.lo[side];
        for (int s = box.lo[side]; s < box.hi[side]; ++s) {
            running += slices[s];
            cut = s;
            if (running * 2 >= box.count) break;
        }
        // Both halves keep at least one occupied cell: the box's ends are occupied.
        low = box;
        high = box;
        low.hi[side] = cut;
        high.lo[side] = cut + 1;
        Shrink(low);
        Shrink(high);
    }

    std::vector<Cell> cells_;
};

// The exact colours of a picture of few: open addressing at a quarter full.
constexpr uint32_t kExactSlots = 1024;
constexpr uint32_t kNoColour = 0xFFFFFFFFu;  // colours have their top byte clear
uint32_t SlotOf(uint32_t rgb) { return (rgb * 2654435761u) >> 22; }

}  // namespace

struct Quantiser::State {
    // A histogram cell's population and the sums of its colours' lowest three
    // bits a channel: the top five are the cell's own, so the full sums come
    // back exactly. 32 bits hold each for the largest picture allowed (7 x
    // 2^26 < 2^32), so two share a 64-bit word and one add updates both with
    // no carry between them: two adds a pixel.
    struct Bin {
        uint64_t countAndBlue = 0;  // population, blue sum << 32
        uint64_t redAndGreen = 0;   // red sum, green sum << 32
    };
    std::vector<Bin> bins = std::vector<Bin>(32768);
    bool few = true;
    uint32_t exactCount = 0;
    uint32_t exactKeys[kExactSlots];
    uint8_t exactIndex[kExactSlots] = {};
    uint32_t exactColours[256] = {};  // in order of first appearance
    size_t exactPixels = 0;           // the pixels added while the colours were few
    uint8_t map[32768] = {};

    State() { std::fill(std::begin(exactKeys), std::end(exactKeys), kNoColour); }

    // The slot holding rgb, or the empty slot where it belongs.
    uint32_t Find(uint32_t rgb) const
    {
        uint32_t slot = SlotOf(rgb);
        while (exactKeys[slot] != kNoColour && exactKeys[slot] != rgb) slot = (slot + 1) & (kExactSlots - 1);
        return slot;
    }
};

Quantiser::Quantiser() : state_(std::make_unique<State>()) {}
Quantiser::~Quantiser() = default;

void Quantiser::Add(const uint32_t* colours, int32_t count, uint16_t* codes)
{
    State& s = *state_;
    State::Bin* bins = s.bins.data();
    // Each colour's cell is its code once the colours are many.
    const bool coded = codes != nullptr && !s.few;
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t c = colours[x];
        const uint32_t cell = CellOf(c);
        State::Bin& bin = bins[cell];
        bin.countAndBlue += 1 | (uint64_t{c & 7} << 32);
        bin.redAndGreen += ((c >> 16) & 7) | (uint64_t{(c >> 8) & 7} << 32);
        if (coded) codes[x] = static_cast<uint16_t>(cell);
    }
    if (coded) return;
    int32_t x = 0;
    if (s.few) {
        uint32_t last = kNoColour;
        uint8_t lastIndex = 0;
        for (; x < count; ++x) {
            const uint32_t c = colours[x];
            if (c != last) {
                const uint32_t slot = s.Find(c);
                if (s.exactKeys[slot] != c) {
                    if (s.exactCount == 256) {
                        s.few = false;
                        break;
                    }
                    const uint32_t index = s.exactCount++;
                    s.exactKeys[slot] = c;
                    s.exactIndex[slot] = static_cast<uint8_t>(index);
                    s.exactColours[index] = c;
                }
                last = c;
                lastIndex = s.exactIndex[slot];
            }
            if (codes != nullptr) codes[x] = lastIndex;
        }
        s.exactPixels += static_cast<size_t>(x);
    }
    if (codes != nullptr)
        for (; x < count; ++x) codes[x] = static_cast<uint16_t>(CellOf(colours[x]));
}

void Quantiser::Finish(uint8_t palette[768])
{
    State& s = *state_;
    if (s.few) {
        std::memset(palette, 0, 768);
        for (uint32_t i = 0; i < s.exactCount; ++i) {
            palette[3 * i] = static_cast<uint8_t>(s.exactColours[i] >> 16);
            palette[3 * i + 1] = static_cast<uint8_t>(s.exactColours[i] >> 8);
            palette[3 * i + 2] = static_cast<uint8_t>(s.exactColours[i]);
        }
        return;
    }
    std::vector<MedianCut::Cell> cells(32768);
    for (uint32_t cell = 0; cell < 32768; ++cell) {
        const State::Bin& bin = s.bins[cell];
        const uint64_t n = bin.countAndBlue & 0xFFFFFFFFu;
        cells[cell] = {n, n * ((cell >> 7) & 0xF8) + (bin.redAndGreen & 0xFFFFFFFFu),
                       n * ((cell >> 2) & 0xF8) + (bin.redAndGreen >> 32), n * ((cell << 3) & 0xF8) + (bin.countAndBlue >> 32)};
    }
    MedianCut(std::move(cells)).Build(palette, s.map);
    std::vector<State::Bin>().swap(s.bins);
}

void Quantiser::Map(const uint32_t* colours, int32_t count, uint8_t* indices) const
{
    const State& s = *state_;
    if (!s.few) {
        for (int32_t x = 0; x < count; ++x) indices[x] = s.map[CellOf(colours[x])];
        return;
    }
    uint32_t last = kNoColour;
    uint8_t lastIndex = 0;
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t c = colours[x];
        if (c != last) {
            last = c;
            lastIndex = s.exactIndex[s.Find(c)];
        }
        indices[x] = lastIndex;
    }
}

void Quantiser::MapCodes(const uint16_t* codes, size_t count, uint8_t* indices) const
{
    const State& s = *state_;
    // Codes written while the colours were few are the exact colours' numbers.
    uint8_t exact[256];
    for (uint32_t i = 0; i < 256; ++i)
        exact[i] = s.few ? static_cast<uint8_t>(i) : s.map[CellOf(s.exactColours[i])];
    const size_t exactCount = s.few ? count : std::min(count, s.exactPixels);
    size_t i = 0;
    for (; i < exactCount; ++i) indices[i] = exact[codes[i] & 0xFF];
    for (; i < count; ++i) indices[i] = s.map[codes[i] & 0x7FFF];
}
