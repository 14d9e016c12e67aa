#pragma once
// What the end-to-end runs need to play the part of Windows around the real
// gyrofold.scr: paths the way wine sees them, starting and watching the saver
// process (and never leaving one behind), finding its windows, the settings
// key, reading pixels back from a window or the screen, real input through
// SendInput, and the message boxes the program may raise.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

constexpr char kSettingsKey[] = "Software\\Quillbox ScreenSavers\\Whirlpan";
constexpr char kSaverClass[] = "Quillbox Whirlpan ScreenSaver";
constexpr char kDialogClass[] = "#32770";

// ---- Paths ----------------------------------------------------------------

// "/tmp/b/gyrofold.scr" -> "Z:\tmp\b\gyrofold.scr": wine maps the Unix root to
// drive Z:, and ctest hands the tests Unix paths. A path that already has a
// drive letter or uses backslashes is returned unchanged.
std::string ToWinePath(const std::string& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

// Writes the whole file; true when all of it was written.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// ---- Processes ------------------------------------------------------------

// A started program. The destructor kills it if it still runs, so a failed
// assertion never leaves a saver covering the screen for the next test.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `program` with `arguments` (the text after the program name).
    // The program's own folder is its working folder.
    bool Start(const std::string& program, const std::string& arguments);

    // Waits up to `milliseconds` for the end; true with the exit code when the
    // process ended in time.
    bool WaitForExit(DWORD milliseconds, DWORD* exitCode = nullptr);

    // Same, but kills the process when it has not ended in time.
    // Returns true only when it ended by itself.
    bool WaitForExitOrKill(DWORD milliseconds, DWORD* exitCode = nullptr);

    bool Running() const;
    void Kill();

    HANDLE handle() const { return info_.hProcess; }
    DWORD id() const { return info_.dwProcessId; }

private:
    void Close();
    PROCESS_INFORMATION info_ = {};
};

// ---- Windows --------------------------------------------------------------

// The visible top-level windows of a process whose class and caption match;
// a null class or caption matches any.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* className = nullptr,
                                  const char* caption = nullptr, bool visibleOnly = true);

// Polls (pumping this thread's messages) until such a window exists or the
// time is up; 0 when none appeared.
HWND WaitForTopLevelWindow(DWORD processId, DWORD milliseconds, const char* className = nullptr,
                           const char* caption = nullptr, bool visibleOnly = true);

// The first child of `parent` (any depth) owned by the process with this class.
HWND FindChildWindow(HWND parent, DWORD processId, const char* className);

std::string WindowText(HWND window);
std::string WindowClass(HWND window);

// The size of the preview pane of the display settings.
constexpr int32_t kPaneWidth = 152;
constexpr int32_t kPaneHeight = 112;

// A stand-in for the preview pane: a black, borderless popup (so its outer
// size is its client size, by which the saver centres its frame) that never
// paints, so what shows there is the saver's.
HWND CreatePreviewHost(int32_t width = kPaneWidth, int32_t height = kPaneHeight);

// Handles this thread's waiting messages for the given time, so windows the
// test owns keep answering.
void Pump(DWORD milliseconds);

// ---- Any key under HKEY_CURRENT_USER -----------------------------------------

// Creates the key when it is missing.
void WriteValue(const char* key, const char* name, DWORD type, const void* data, DWORD size);
void WriteNumber(const char* key, const char* name, DWORD value);  // REG_DWORD
void WriteText(const char* key, const char* name, const std::string& text);  // REG_SZ
// In: *size is the room at data (data may be null to ask for the shape only).
// False when the key or value is missing or does not fit.
bool ReadValue(const char* key, const char* name, DWORD* type, void* data, DWORD* size);
DWORD ReadNumber(const char* key, const char* name);  // 0 when missing
void DeleteValue(const char* key, const char* name);
void DeleteKey(const char* key);  // with everything below it

// ---- Settings key (HKEY_CURRENT_USER) ---------------------------------------

// The twelve numbers go in as the saver stores them: REG_BINARY of 4 bytes
// (integers) or 8 bytes (doubles); IMGFilename as REG_SZ with its terminator.
void WriteSettingInt(const char* name, int32_t value);
void WriteSettingDouble(const char* name, double value);
void WriteSettingText(const char* name, const std::string& text);
// Any type and size, for values the saver must refuse.
void WriteSettingBytes(const char* name, DWORD type, const void* data, DWORD size);

bool ReadSettingInt(const char* name, int32_t* value);
bool ReadSettingDouble(const char* name, double* value);
bool ReadSettingText(const char* name, std::string* text);
// The stored type and size of a value; false when it is missing.
bool ReadSettingShape(const char* name, DWORD* type, DWORD* size);

void DeleteSetting(const char* name);
void DeleteSettingsKey();

// All thirteen values at once; the defaults are the saver's own.
struct SettingsValues {
    std::string imageFile;
    int32_t screenWidth = 320;
    int32_t screenHeight = 240;
    int32_t stretch = 0;
    int32_t numBuf = 3;
    int32_t useHiColor = 1;
    int32_t warpy = 0;
    double xScale = 1.0, yScale = 1.0;
    double rot1 = 1.0, rot2 = 1.0;
    double zoom1 = 1.0, zoom2 = 1.0;
};
void WriteSettings(const SettingsValues& settings);

// ---- Pixels ---------------------------------------------------------------

// A picture read back from the screen, row 0 at the top, 0x00RRGGBB.
struct Pixels {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> rgb;

    uint32_t At(int32_t x, int32_t y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    Pixels Crop(int32_t left, int32_t top, int32_t cropWidth, int32_t cropHeight) const;
    // Pixels that are not black.
    size_t CountLit() const;
    // Positions at which two pictures of the same size differ.
    size_t CountDifferences(const Pixels& other) const;
};

// The rectangle of the screen, in screen coordinates.
Pixels CaptureScreen(int32_t left, int32_t top, int32_t width, int32_t height);
Pixels CaptureScreen();
// The client area of a window as the screen shows it. Reading the screen
// rather than the window's own context sees what another process drew into
// the window, which wine keeps outside the owner's window surface.
Pixels CaptureClientArea(HWND window);

// A 24-bit bottom-up BMP; true when the whole file was written.
bool SaveBmp(const Pixels& pixels, const std::string& path);

// ---- Input ----------------------------------------------------------------

void SendMouseMove(int32_t dx, int32_t dy);
void SendMouseClick();  // left button down and up
void SendKey(WORD virtualKey);  // down and up

// ---- Message boxes --------------------------------------------------------

struct MessageBoxSeen {
    HWND box = nullptr;
    std::string caption;
    std::string text;  // the static texts of the box, joined by newlines
};

// Waits for a "#32770" dialog of the process; box is 0 when none appeared.
MessageBoxSeen WaitForMessageBox(DWORD processId, DWORD milliseconds);
// Presses the box's button with this caption ("OK"), or its first button when
// the caption is null. False when there was no such button.
bool PressButton(HWND box, const char* buttonCaption = nullptr);

}  // namespace e2e
