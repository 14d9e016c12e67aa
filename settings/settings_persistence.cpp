#include "settings/settings_persistence.h"

#include <cstring>

namespace {

template <typename T>
void QueryExact(SettingsStore& store, const char* name, T& field, T fallback)
{
    uint32_t size = sizeof(T);
    // A partial or oversized value must never leave stray bytes behind.
    if (!store.Query(name, &field, &size) || size != sizeof(T)) field = fallback;
}

}  // namespace

void LoadSettings(SaverSettings& s, SettingsStore& store)
{
    if (!store.OpenExisting()) return;

    uint32_t nameSize = kImageFilenameLimit;
    if (!store.Query("IMGFilename", s.IMGFilename, &nameSize)) s.IMGFilename[0] = 0;
    // A stored name need not carry its terminator; the last byte is never written.
    s.IMGFilename[kImageFilenameSize - 1] = 0;
    if (nameSize < static_cast<uint32_t>(kImageFilenameLimit) && std::memchr(s.IMGFilename, 0, nameSize) == nullptr)
        s.IMGFilename[nameSize] = 0;

    // A value that is missing or of the wrong size falls back to the record's default.
    const SaverSettings d;
    QueryExact(store, "ScreenWidth", s.ScreenWidth, d.ScreenWidth);
    QueryExact(store, "ScreenHeight", s.ScreenHeight, d.ScreenHeight);
    QueryExact(store, "Stretch", s.Stretch, d.Stretch);
    QueryExact(store, "NumBuf", s.NumBuf, d.NumBuf);
    QueryExact(store, "UseHiColor", s.UseHiColor, d.UseHiColor);
    QueryExact(store, "XScale", s.XScale, d.XScale);
    QueryExact(store, "YScale", s.YScale, d.YScale);
    QueryExact(store, "Rot1", s.Rot1, d.Rot1);
    QueryExact(store, "Rot2", s.Rot2, d.Rot2);
    QueryExact(store, "Zoom1", s.Zoom1, d.Zoom1);
    QueryExact(store, "Zoom2", s.Zoom2, d.Zoom2);
    QueryExact(store, "Warpy", s.Warpy, d.Warpy);
    store.Close();
}

void SaveSettings(SaverSettings& s, SettingsStore& store)
{
    // The frame rows of the surfaces are a multiple of 4 pixels wide.
    s.ScreenWidth &= ~3;
    if (!store.OpenOrCreate()) return;

    const auto put32 = [&](const char* name, const int32_t& v) { store.Set(name, kStoreBinary, &v, 4); };
    const auto put64 = [&](const char* name, const double& v) { store.Set(name, kStoreBinary, &v, 8); };
    put32("ScreenWidth", s.ScreenWidth);
    put32("ScreenHeight", s.ScreenHeight);
    put32("Stretch", s.Stretch);
    put32("Warpy", s.Warpy);
    put32("NumBuf", s.NumBuf);
    put32("UseHiColor", s.UseHiColor);
    put64("XScale", s.XScale);
    put64("YScale", s.YScale);
    put64("Rot1", s.Rot1);
    put64("Rot2", s.Rot2);
    put64("Zoom1", s.Zoom1);
    put64("Zoom2", s.Zoom2);
    s.IMGFilename[kImageFilenameSize - 1] = 0;
    store.Set("IMGFilename", kStoreString, s.IMGFilename, static_cast<uint32_t>(std::strlen(s.IMGFilename) + 1));
    store.Close();
}
