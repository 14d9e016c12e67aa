#pragma once
// Direct colour to 256 palette entries, in two passes over the picture's
// rows: every row is shown to Add, then Finish builds the palette, then every
// row goes through Map. A picture of at most 256 colours keeps them exactly,
// numbered in order of first appearance (top row first, left to right); any
// other is cut to 256 by median cut over a 5-5-5 histogram. The histogram
// bounds the work and the memory whatever the picture's size.

#include <cstddef>
#include <cstdint>
#include <memory>

class Quantiser {
public:
    Quantiser();
    ~Quantiser();
    Quantiser(const Quantiser&) = delete;
    Quantiser& operator=(const Quantiser&) = delete;

    // One row of 0x00RRGGBB colours, rows in picture order. With codes, each
    // colour's code is written there for MapCodes, so that a picture read
    // only once keeps 16 bits a pixel instead of its colours.
    void Add(const uint32_t* colours, int32_t count, uint16_t* codes = nullptr);
    // The palette (red, green, blue; unused entries black) once every row
    // has been added.
    void Finish(uint8_t palette[768]);
    // One row's palette indices, after Finish.
    void Map(const uint32_t* colours, int32_t count, uint8_t* indices) const;
    // Every code written by Add, all rows in order, to palette indices, after
    // Finish. indices may be the codes' own memory: index i is written after
    // code i is read.
    void MapCodes(const uint16_t* codes, size_t count, uint8_t* indices) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
