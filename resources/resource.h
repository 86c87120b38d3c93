// Resource ids of the module's dialog.
#pragma once

#define IDD_VERSION_CHOICE 5200
#define IDC_OPEN_WITH_8X 5201
#define IDC_OPEN_WITH_6X 5202
#define IDC_PROMPT 5203
