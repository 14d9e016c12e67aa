// Natively there is no registry: the process keeps its settings in memory.

#include "settings/settings_persistence.h"
#include "settings/settings_store_memory.h"

SettingsStore& PlatformSettingsStore()
{
    static MemorySettingsStore store;
    return store;
}
