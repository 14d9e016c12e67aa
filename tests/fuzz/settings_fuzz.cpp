// Feeds the settings loader a store whose thirteen values hold arbitrary
// bytes, sizes and types. Whatever the store holds, the name stays terminated
// inside its buffer, and every other field is either exactly the stored bytes
// (when their size matches) or its fallback.

#include <cstdlib>
#include <cstring>

#include "settings/settings_persistence.h"
#include "tests/fuzz/settings_fuzz_input.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

template <typename T>
void CheckField(const MemorySettingsStore& store, const char* name, const T& field, T fallback)
{
    const auto it = store.values.find(name);
    if (it != store.values.end() && it->second.bytes.size() == sizeof(T))
        Check(std::memcmp(&field, it->second.bytes.data(), sizeof(T)) == 0);
    else
        Check(std::memcmp(&field, &fallback, sizeof(T)) == 0);  // bytes: a NaN fallback is never stored
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySettingsStore store;
    fuzzinput::FillStore(data, size, store);

    // Start from a record that is neither the defaults nor any fallback, so
    // that a field the loader forgets shows up.
    SaverSettings before;
    std::memset(before.IMGFilename, 'q', sizeof before.IMGFilename);
    before.ScreenWidth = before.ScreenHeight = before.Stretch = before.NumBuf = before.UseHiColor = before.Warpy = -77;
    before.XScale = before.YScale = before.Rot1 = before.Rot2 = before.Zoom1 = before.Zoom2 = -77.5;
    SaverSettings s = before;
    LoadSettings(s, store);

    if (!store.keyExists) {
        // No key: nothing changes.
        Check(std::memcmp(s.IMGFilename, before.IMGFilename, sizeof s.IMGFilename) == 0);
        Check(s.ScreenWidth == -77 && s.ScreenHeight == -77 && s.Stretch == -77 && s.NumBuf == -77 &&
              s.UseHiColor == -77 && s.Warpy == -77);
        Check(s.XScale == -77.5 && s.YScale == -77.5 && s.Rot1 == -77.5 && s.Rot2 == -77.5 && s.Zoom1 == -77.5 &&
              s.Zoom2 == -77.5);
        return 0;
    }

    Check(s.IMGFilename[kImageFilenameSize - 1] == 0);
    const size_t length = strnlen(s.IMGFilename, kImageFilenameSize);
    Check(length < static_cast<size_t>(kImageFilenameSize));
    const auto name = store.values.find("IMGFilename");
    if (name != store.values.end() && name->second.bytes.size() <= static_cast<size_t>(kImageFilenameLimit)) {
        // The stored bytes, up to their first zero, then a terminator.
        const std::vector<uint8_t>& b = name->second.bytes;
        const void* zero = b.empty() ? nullptr : std::memchr(b.data(), 0, b.size());
        const size_t want = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - b.data()) : b.size();
        Check(length == want);
        Check(want == 0 || std::memcmp(s.IMGFilename, b.data(), want) == 0);
    } else {
        Check(length == 0);
    }

    CheckField(store, "ScreenWidth", s.ScreenWidth, 320);
    CheckField(store, "ScreenHeight", s.ScreenHeight, 240);
    CheckField(store, "Stretch", s.Stretch, 0);
    CheckField(store, "NumBuf", s.NumBuf, 3);
    CheckField(store, "UseHiColor", s.UseHiColor, 1);
    CheckField(store, "Warpy", s.Warpy, 0);
    CheckField(store, "XScale", s.XScale, 1.0);
    CheckField(store, "YScale", s.YScale, 1.0);
    CheckField(store, "Rot1", s.Rot1, 1.0);
    CheckField(store, "Rot2", s.Rot2, 1.0);
    CheckField(store, "Zoom1", s.Zoom1, 1.0);
    CheckField(store, "Zoom2", s.Zoom2, 1.0);
    return 0;
}
