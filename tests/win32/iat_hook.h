#pragma once
// Replaces one imported function of this executable for the lifetime of the
// object, by rewriting its import address table entry. The product code is
// linked into the test program, so its calls go through the same entries: a
// test can watch or fail a Win32 call the code makes without changing it.

#include <windows.h>

#include <cstring>

class IatHook {
public:
    IatHook(const char* dll, const char* name, void* replacement)
    {
        auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name != 0; ++d) {
            if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) || std::strcmp(byName->Name, name) != 0) continue;
                slot_ = reinterpret_cast<void**>(&slots->u1.Function);
                original_ = *slot_;
                Write(replacement);
                return;
            }
        }
    }
    ~IatHook() { Write(original_); }
    IatHook(const IatHook&) = delete;
    IatHook& operator=(const IatHook&) = delete;

    bool Installed() const { return slot_ != nullptr; }
    template <typename F>
    F Original() const { return reinterpret_cast<F>(original_); }

private:
    void Write(void* value)
    {
        DWORD old = 0;
        if (slot_ == nullptr || !VirtualProtect(slot_, sizeof value, PAGE_READWRITE, &old)) return;
        *slot_ = value;
        VirtualProtect(slot_, sizeof value, old, &old);
    }

    void** slot_ = nullptr;
    void* original_ = nullptr;
};
