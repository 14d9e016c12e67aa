// Display mode switching through the platform's mode list and mode change.
#include "shell/display_mode.h"

#include <windows.h>

#include <cstring>

#include "settings/saver_settings.h"
#include "shell/shell_state.h"

namespace {

class Win32DisplayModes final : public DisplayModeDriver {
public:
    Win32DisplayModes() {
        std::memset(&listed_, 0, sizeof listed_);
        listed_.dmSize = sizeof listed_;
        listed_.dmDriverExtra = 0;
    }

    bool ListMode(uint32_t index, DisplayModeEntry& entry) override {
        // The record is set up once and reused: the platform refills it for
        // every index.
        if (!EnumDisplaySettingsA(nullptr, index, &listed_)) return false;
        entry.width = listed_.dmPelsWidth;
        entry.height = listed_.dmPelsHeight;
        entry.bitsPerPel = listed_.dmBitsPerPel;
        return true;
    }

    int32_t ChangeMode(const DisplayModeRequest& request) override {
        DEVMODEA mode;
        std::memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        mode.dmDriverExtra = 0;
        mode.dmPelsWidth = request.width;
        mode.dmPelsHeight = request.height;
        mode.dmBitsPerPel = request.bitsPerPel;
        mode.dmFields = request.fields;
        // Flags 0: for this run only, never stored as the new default.
        return static_cast<int32_t>(ChangeDisplaySettingsA(&mode, 0));
    }

    void RestoreDefaultMode() override { ChangeDisplaySettingsA(nullptr, 0); }

private:
    DEVMODEA listed_;
};

}  // namespace

void SwitchDisplayMode() {
    Win32DisplayModes driver;
    TheShell.modeChanged = SwitchDisplayModeWith(driver, TheSettings);
}

void RestoreDisplayMode() {
    Win32DisplayModes driver;
    driver.RestoreDefaultMode();
}
