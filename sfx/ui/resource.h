#pragma once
// Resource ids of the extractor.

#define IDI_SFX 128
#define IDD_MAIN 129
#define IDD_PASSWORD 130
#define IDS_SFX_TITLE 103
#define IDS_SFX_CLASS 109
#define IDC_PASSWORD_EDIT 1007
#define IDC_PASSWORD_TEXT 1008
#define IDB_BAR_BLUE 140
#define IDB_BAR_GREEN 142

// Main dialog.
#define IDC_DEST_CAPTION 1000
#define IDC_DEST 1001
#define IDC_BROWSE 1002
#define IDC_COMMENT 1003
#define IDC_SUMMARY_GROUP 1004
#define IDC_SUMMARY 1005
#define IDC_PROGRESS 1006
#define IDC_TREE 1010
#define IDC_LIST 1011

// The contents list's popup menu.
#define IDM_EXTRACT_SELECTED 32771
#define IDM_SELECT_ALL 32772
