#include "shell/display_mode.h"

#include "settings/saver_settings.h"

DisplayModeRequest PrepareModeRequest(int32_t width, int32_t height, int32_t stretch) {
    DisplayModeRequest request;
    // The platform's record holds unsigned sizes; a negative setting travels
    // as its two's-complement bit pattern and is refused by the platform.
    request.width = static_cast<uint32_t>(width);
    request.height = static_cast<uint32_t>(height);
    request.bitsPerPel = static_cast<uint32_t>(stretch);
    request.fields = stretch == 0 ? kModeFieldsSizeOnly : kModeFieldsSizeAndDepth;
    return request;
}

FallbackSize FindFallbackMode(DisplayModeDriver& driver, const SaverSettings& settings) {
    uint32_t bestWidth = kFallbackSentinel;
    uint32_t bestHeight = kFallbackSentinel;
    DisplayModeEntry mode;
    // The whole list is walked: a later mode may still be smaller in both
    // dimensions than the current pick.
    for (uint32_t index = 0; driver.ListMode(index, mode); ++index) {
        const bool depthFits = settings.Stretch == 0 ||
                               mode.bitsPerPel == static_cast<uint32_t>(settings.Stretch);
        // The lower bounds are signed, so a negative wanted size admits any
        // mode; the comparisons with the pick so far are unsigned.
        const bool widthFits = static_cast<int32_t>(mode.width) >= settings.ScreenWidth &&
                               mode.width < bestWidth;
        const bool heightFits = static_cast<int32_t>(mode.height) >= settings.ScreenHeight &&
                                mode.height < bestHeight;
        if (depthFits && widthFits && heightFits) {
            bestWidth = mode.width;
            bestHeight = mode.height;
        }
    }
    FallbackSize result;
    if (bestWidth == kFallbackSentinel || bestHeight == kFallbackSentinel) return result;
    result.found = true;
    result.width = bestWidth;
    result.height = bestHeight;
    return result;
}

int32_t SwitchDisplayModeWith(DisplayModeDriver& driver, const SaverSettings& settings) {
    // The window normally skips the call for Stretch -1; checking here too
    // means no path can change the mode against that setting.
    if (settings.Stretch == kStretchNoModeChange) return 0;

    const int32_t first = driver.ChangeMode(
        PrepareModeRequest(settings.ScreenWidth, settings.ScreenHeight, settings.Stretch));
    if (first == kDisplayChangeSuccessful) return 1;
    // A mode that needs a restart, or flags the platform does not take, will
    // not do better with another size.
    if (first == kDisplayChangeRestart || first == kDisplayChangeBadFlags) return 0;

    const FallbackSize fallback = FindFallbackMode(driver, settings);
    if (!fallback.found) return 0;
    // The found mode's own depth is not copied: the request keeps the Stretch
    // rule, so Stretch 0 still asks for the size alone.
    const int32_t second = driver.ChangeMode(
        PrepareModeRequest(static_cast<int32_t>(fallback.width),
                           static_cast<int32_t>(fallback.height), settings.Stretch));
    return second == kDisplayChangeSuccessful ? 1 : 0;
}
