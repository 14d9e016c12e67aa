#pragma once
// The one driver of the end-to-end runs. This program plays the part of
// Windows around the real gyrofold.scr: it writes the registry, starts the
// saver in a folder of its own (with the stand-in password verifier beside it
// when a run wants it), hosts the preview pane, reads pixels back from the
// screen, sends real input and watches how the saver ends.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/saver_settings.h"

namespace e2e {

constexpr char kSettingsKey[] = "Software\\Quillbox ScreenSavers\\Whirlpan";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kSaverClass[] = "Quillbox Whirlpan ScreenSaver";
constexpr int32_t kPaneWidth = 152, kPaneHeight = 112;

// <build>, the artifacts folder, and <build>\gyrofold.scr, as wine names them.
extern std::string BuildRoot, Artifacts, SaverPath;
std::string Artifact(const std::string& name);

// Handles this thread's messages for the given time.
void Pump(DWORD milliseconds);
// Pumps until `done` holds. The limit only bounds how long a broken saver
// keeps a run waiting; it never decides an outcome.
template <typename Condition>
bool WaitUntil(Condition done, DWORD milliseconds = 10000) {
    for (const DWORD start = GetTickCount();; Pump(10))
        if (done()) return true;
        else if (GetTickCount() - start >= milliseconds) return false;
}

// A started program; the destructor kills it if it still runs, so a failed
// check never leaves a saver covering the screen for the next run.
class Process {
public:
    ~Process() { Kill(); }
    bool Start(const std::string& program, const std::string& arguments);
    bool WaitForExit(DWORD milliseconds, DWORD* exitCode = nullptr);
    bool Running() const;
    void Kill();
    DWORD id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
};

// A copy of the saver in a folder of its own with the named stand-ins (e.g.
// "password\\PASSWORD.CPL") beside it, and no others.
std::string WorkCopy(const std::vector<std::string>& fakes);

HWND WaitForWindow(const Process& process, const char* className, DWORD milliseconds = 15000);
HWND FindChild(HWND parent, const char* className);
// A black borderless popup that never paints: the display settings' pane.
HWND CreateHost(int32_t width = kPaneWidth, int32_t height = kPaneHeight);

void WriteValue(const char* key, const char* name, DWORD type, const void* data, DWORD size);
void DeleteKey(const char* key);

// The thirteen values as the saver stores them (4- and 8-byte REG_BINARY,
// IMGFilename REG_SZ), written by name here rather than by the saver's code.
void WriteSettings(const SaverSettings& settings);

// A 256 x 200 picture of cells, each its own bright colour with a one-texel
// checker inside, so a black pixel on the screen always means "not drawn"
// and a step off by one texel shows.
std::string WriteTexture();

// A picture read back from the screen, row 0 at the top, 0x00RRGGBB.
struct Pixels {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> rgb;
    size_t CountLit() const;
    uint64_t Hash() const;
};
Pixels Capture(int32_t left, int32_t top, int32_t width, int32_t height);
Pixels CaptureScreen();

// A few pixels toward the middle of the screen: never swallowed by an edge
// (the pointer stays where it was when a display mode switch shrank the screen).
void MoveInward();

// Checks the saver ended with 0 and left no process, no saver window and no
// running-saver announcement behind.
void ExpectEndedCleanly(Process& saver);

}  // namespace e2e
