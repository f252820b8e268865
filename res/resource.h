// Ids shared by the dialog template and the code that drives it.
#pragma once

#define IDD_MANAGER 100

#define IDC_FOLDER_GROUP 1000
#define IDC_PLUGIN_PATH 1001
#define IDC_PRESET_PATH 1002
#define IDC_WORK_PATH 1003
#define IDC_LOG_PANE 1004
#define IDC_PLUGIN_BROWSE 1005
#define IDC_PRESET_BROWSE 1006
#define IDC_WORK_BROWSE 1007
#define IDC_EXECUTE 1008
#define IDC_CHECK_ONLY 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
