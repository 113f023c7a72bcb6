#pragma once
// Numeric identifiers of the program's dialogs, controls, commands, bitmaps and icons.

#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 129
#define IDB_POP_NORMAL 134
#define IDB_POP_ACTIVE 135
#define IDB_MIN_ACTIVE 136
#define IDB_MIN_NORMAL 137
#define IDB_QUIT_NORMAL 139
#define IDB_QUIT_ACTIVE 140
#define IDR_MENU_POPUP 141
#define IDB_START_NORMAL 144
#define IDB_STOP_NORMAL 145
#define IDB_STOP_HOVER 146
#define IDB_STOP_ACTIVE 147
#define IDB_START_ACTIVE 150
#define IDB_START_HOVER 151
#define IDD_OPTIONS 152
#define IDD_URL 153
#define IDI_TRAY_BLINK 154
#define IDI_TRAY_REST 155

#define IDC_START 1000
#define IDC_STOP 1001
#define IDC_POP 1003
#define IDC_MIN 1004
#define IDC_QUIT 1005
#define IDC_FOOTER_LINK 1006
#define IDC_URL_LIST 1007
#define IDC_STATUS 1008

#define ID_OPTIONS 32771
#define ID_IMPORT 32774
#define ID_NEW_URL 32775
#define ID_DELETE_URLS 32776
#define ID_EDIT_URL 32777
#define ID_CLEAR_URLS 32778
#define ID_EXPORT 32779
#define ID_OPEN_URL 32780
#define ID_VIEW_CHANGES 32781
#define ID_EXIT 32782

#define IDT_BLINK 1
#define IDT_POLICY 2
#define ID_TRAY_ICON 100

// wx keeps command ids below 32767; the menu commands above are mapped into a free range.
#define WXID(resource) ((resource)-30000)
