#pragma once
// Switching the display to the configured mode for a full-screen run, and back.
//
// The decisions (what to request, which result codes stop, which listed mode
// to fall back to) are portable and work through DisplayModeDriver; the Win32
// driver and the two entry points below live in display_mode_win32.cpp.

#include <cstdint>

struct SaverSettings;

// The platform's result codes for a mode change request.
constexpr int32_t kDisplayChangeSuccessful = 0;
constexpr int32_t kDisplayChangeRestart = 1;
constexpr int32_t kDisplayChangeFailed = -1;
constexpr int32_t kDisplayChangeBadMode = -2;
constexpr int32_t kDisplayChangeBadFlags = -4;
constexpr int32_t kDisplayChangeBadParam = -5;

// Field-mask bits of the platform's mode record.
constexpr uint32_t kModeFieldBitsPerPel = 0x00040000;
constexpr uint32_t kModeFieldPelsWidth = 0x00080000;
constexpr uint32_t kModeFieldPelsHeight = 0x00100000;
constexpr uint32_t kModeFieldsSizeOnly = kModeFieldPelsWidth | kModeFieldPelsHeight;          // 0x180000
constexpr uint32_t kModeFieldsSizeAndDepth = kModeFieldsSizeOnly | kModeFieldBitsPerPel;      // 0x1C0000

// Stretch of -1 leaves the display alone.
constexpr int32_t kStretchNoModeChange = -1;

// No real display is three million pixels across, so a best size still at this
// value means no listed mode qualified.
constexpr uint32_t kFallbackSentinel = 3000000;

// The fields of one change request; everything else in the platform's record
// is zero.
struct DisplayModeRequest {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPel = 0;
    uint32_t fields = 0;
};

// One listed mode: only these three fields are read.
struct DisplayModeEntry {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPel = 0;
};

struct FallbackSize {
    bool found = false;
    uint32_t width = 0;
    uint32_t height = 0;
};

// What the logic needs of the platform.
class DisplayModeDriver {
public:
    // Fills entry with the mode of this index; false once past the end.
    virtual bool ListMode(uint32_t index, DisplayModeEntry& entry) = 0;
    // Changes the mode at once without storing it; returns a result code.
    virtual int32_t ChangeMode(const DisplayModeRequest& request) = 0;
    // Returns to the stored default mode.
    virtual void RestoreDefaultMode() = 0;

protected:
    ~DisplayModeDriver() = default;
};

// The request for a width and height under the Stretch depth rule: Stretch 0
// keeps the current depth by leaving it out of the field mask; the depth field
// carries Stretch either way.
DisplayModeRequest PrepareModeRequest(int32_t width, int32_t height, int32_t stretch);

// The first listed mode, in list order, that holds the wanted size and is
// strictly smaller in both dimensions than every earlier pick.
FallbackSize FindFallbackMode(DisplayModeDriver& driver, const SaverSettings& settings);

// Runs the whole switch and returns the new value of modeChanged (1 = switched).
int32_t SwitchDisplayModeWith(DisplayModeDriver& driver, const SaverSettings& settings);

// Switches the display as Stretch, ScreenWidth and ScreenHeight ask, falling
// back to the smallest listed mode that holds the size; sets
// TheShell.modeChanged.
void SwitchDisplayMode();

// Returns the display to its stored default mode.
void RestoreDisplayMode();
