#pragma once
// The file forms gyrofold-render writes its frames in: the surface memory as
// it is (raw), and pictures as they appear on screen (BMP, PNG, animated GIF).
// Every writer goes to a temporary name beside the target and renames it into
// place at the end, so a failed write leaves no partial file behind.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class MemorySurface;

enum class FrameFormat { Raw, Bmp, Png, Gif };

// One rendered frame, copied out of the surface.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    bool hiColor = false;
    // The surface's rows in memory order, stride padding dropped: width x height
    // bytes, or width x height 16-bit words stored little-endian.
    std::vector<uint8_t> raw;
    // The picture top row first: palette indices or 5-5-5 pixels.
    std::vector<uint16_t> screen;
    uint8_t palette[768] = {};  // the 8-bit frame's colours

    uint16_t At(int32_t x, int32_t y) const { return screen[static_cast<size_t>(y) * width + x]; }
};

Frame CaptureFrame(const MemorySurface& surface);

// The 8-bit value of a 5-bit channel, spread over the whole range.
inline uint8_t Expand5(uint32_t c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); }

// GIF holds at most 256 colours, so 16-bit frames go through one fixed,
// ordered palette: 6 levels of red, 7 of green, 6 of blue (the eye is most
// sensitive to green), index (r x 7 + g) x 6 + b; entries 252 to 255 are black.
// Each channel goes to its nearest level; there is no dithering, so the same
// frame always gives the same file.
void FixedGifPalette(uint8_t colours768[768]);
uint8_t FixedGifIndex(uint16_t pixel555);

// A file written under a temporary name and moved to its own name by Commit.
// Dropping it uncommitted removes the temporary file.
class PendingFile {
public:
    explicit PendingFile(std::string path);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Opens the temporary file; false with a reason on failure.
    bool Open(std::string& error);
    FILE* Stream() const { return stream_; }
    int Descriptor() const;
    // Flushes, closes and renames; false with a reason on failure.
    bool Commit(std::string& error);

private:
    bool CommitClosed(std::string& error);

    std::string path_;
    std::string temporary_;
    FILE* stream_ = nullptr;
    bool committed_ = false;
};

// Each writes one frame to path; false with a one-line reason.
bool WriteRawFile(const std::string& path, const Frame& frame, std::string& error);
bool WriteBmpFile(const std::string& path, const Frame& frame, std::string& error);
bool WritePngFile(const std::string& path, const Frame& frame, std::string& error);

// The bytes of a BMP file: 8-bit frames with their palette, 16-bit frames as
// 5-5-5 pixels, both bottom-up with rows padded to 32 bits.
std::vector<uint8_t> EncodeBmp(const Frame& frame);

// An animated GIF, written frame by frame so that long renders need not keep
// every frame in memory.
class GifAnimation {
public:
    explicit GifAnimation(const std::string& path);
    ~GifAnimation();
    GifAnimation(const GifAnimation&) = delete;
    GifAnimation& operator=(const GifAnimation&) = delete;

    // The first frame fixes the screen size and the global palette.
    bool Add(const Frame& frame, std::string& error);
    bool Finish(std::string& error);

private:
    bool Start(const Frame& frame, std::string& error);

    PendingFile file_;
    void* gif_ = nullptr;  // GifFileType
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint8_t globalPalette_[768] = {};
    std::vector<uint8_t> line_;
};

bool WriteGifFile(const std::string& path, const Frame& frame, std::string& error);

bool WriteFrameFile(FrameFormat format, const std::string& path, const Frame& frame, std::string& error);
