// Resource ids shared by kestro-cleaner.rc and the window code. The string
// ids live in src/app/StringIds.h and res/strings.inc, which the core owns.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)  // a control the code never names
#endif

#define IDD_CLEANER_DIALOG 102
#define IDD_INFO_DIALOG 129
#define IDI_MAINFRAME 132
#define IDR_BANNER_GIF 134

// Controls of the main dialog, in the order of the template.
#define IDC_BANNER 1007
#define IDC_PATH 1000
#define IDC_LOG 1001
#define IDC_INFO 1005
#define IDC_SCAN 1002
#define IDC_EXIT 1003
#define IDC_LINK_WEB 1004
#define IDC_LINK_MAIL 1006

// Controls of the information dialog.
#define IDC_INFO_FIRST_ENTRY 1009
#define IDC_INFO_LINK_WEB 1010
#define IDC_INFO_LINK_MAIL 1011
