// Resource identifiers shared by gyrofold.rc and the code.
#pragma once

#define IDS_DESCRIPTION 1
#define IDD_SETTINGS 101
