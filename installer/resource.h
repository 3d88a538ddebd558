// resource.h - resource and control ids of Plugferry (used by Plugferry.rc and the code).
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX         100
#define IDS_ABOUTBOX         101
#define IDD_PLUGFERRY_DIALOG 102
#define IDR_MAINFRAME        128

#define IDC_TARGET_LIST    1000
#define IDC_ADD            1002
#define IDC_LOCATION       1003
#define IDC_LOCATION_LABEL 1004
#define IDC_INSTRUCTIONS   1005
#define IDC_VERSION        1006

// System menu command of the about item (a multiple of 16, as system commands must be).
#define IDM_ABOUTBOX 0x0010
