#include "settings/saver_settings.h"

SaverSettings TheSettings;
