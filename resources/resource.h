// Resource identifiers of Glyphory.dll.
#pragma once

#define IDS_PLUGIN_NAME 1
#define IDS_DESCRIPTION 2
#define IDS_VERSION 3
#define IDS_AUTHOR 4
#define IDS_MENU_TEXT 5

#define IDD_SETTINGS 103
#define IDC_AUTO_MODE 1000
#define IDC_MENU_MODE 1001
#define IDC_MAIL_LINK 1015
#define IDC_WEB_LINK 1016
