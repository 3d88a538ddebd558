// DialogIds.h - resource and control identifiers of the filter dialog and the
// about box; included by the code and by the resource script.
#pragma once

#define IDD_FILTER_DIALOG 101
#define IDD_ABOUT_BOX     103
#define IDB_ABOUT_ART     113

// Filter dialog.
#define IDC_AMOUNT_EDIT       1001
#define IDC_AMOUNT_SLIDER     1002
#define IDC_FILL_LIGHT_SLIDER 1006
#define IDC_DEFAULTS          1007
#define IDC_FILL_LIGHT_EDIT   1008
#define IDC_PREVIEW_AREA      1014
#define IDC_ZOOM_OUT          1018
#define IDC_ZOOM_IN           1019
#define IDC_ZOOM_LABEL        1020
#define IDC_AMOUNT_LABEL      1031
#define IDC_FILL_LIGHT_LABEL  1032
#define IDC_BEFORE            1039
#define IDC_AFTER             1040
#define IDC_ANIMATE           1041
#define IDC_AUTOSCALE         1042
#define IDC_PREVIEW_GROUP     1046
#define IDC_SPEED             1047
#define IDC_HELP_BUTTON       1051
#define IDC_QUALITY           1059
#define IDC_OPTIMIZE_GROUP    1063

// About box.
#define IDC_ABOUT_PRODUCT 1064
#define IDC_ABOUT_VERSION 1048
#define IDC_ABOUT_BUILD   1049
#define IDC_ABOUT_WEBSITE 1057
