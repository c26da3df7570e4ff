#pragma once
// Resource ids of the builder: dialogs, controls, pictures and strings.
// The resource script and the code both take them from here.

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_WIZARD 102
#define IDD_PAGE_WELCOME 130
#define IDD_PAGE_FILES 131
#define IDD_PAGE_OPTIONS 132
#define IDD_PAGE_PROGRESS 133
#define IDD_PAGE_COMPLETION 134
#define IDD_SETTINGS 140

// Strings, icon, pictures.
#define IDS_ABOUTBOX 101
#define IDI_ZELKORA 128
#define IDB_SIDE_PICTURE 135
#define IDB_COMPRESS_BAR 136
#define IDB_VERIFY_BAR 137

// System-menu command of the About box.
#define IDM_ABOUTBOX 0x0010

// Wizard window.
#define IDC_HEADER_TITLE 1000
#define IDC_HEADER_DESC 1001
#define IDC_GUIDE 1002
#define IDC_VERSION 1003
#define IDC_HEADER_BAND 1004
#define IDC_RELOAD_SAVE 1005
#define IDC_BACK 1006
#define IDC_NEXT 1007
#define IDC_CLOSE 1008
#define IDC_SETTINGS 1009
#define IDC_HEADER_LINE 1010
#define IDC_BUTTON_LINE 1011

// Side picture shared by the welcome and completion pages.
#define IDC_SIDE_PICTURE 1100

// Welcome page.
#define IDC_WELCOME_TITLE 1101
#define IDC_WELCOME_TEXT 1102
#define IDC_WELCOME_FRAME 1103
#define IDC_WELCOME_NOTICE 1104

// File selection page.
#define IDC_FILES_HEADING 1110
#define IDC_ADD 1111
#define IDC_REMOVE 1112
#define IDC_SOURCE_LIST 1113

// Archive options page, in tab order.
#define IDC_NAME_LABEL 1120
#define IDC_ARCHIVE_NAME 1121
#define IDC_BROWSE_NAME 1122
#define IDC_PASSWORD_LABEL 1123
#define IDC_PASSWORD 1124
#define IDC_CONFIRM_LABEL 1125
#define IDC_CONFIRM 1126
#define IDC_SHOW_PASSWORD 1127
#define IDC_SPLIT_LABEL 1128
#define IDC_SPLIT_LIST 1129
#define IDC_SPLIT_CUSTOM 1130
#define IDC_SPLIT_UNIT 1131
#define IDC_SFX_NO_UI 1132
#define IDC_SFX_GROUP 1133
#define IDC_DEST_LABEL 1134
#define IDC_SFX_DEST 1135
#define IDC_TITLE_LABEL 1136
#define IDC_SFX_TITLE 1137
#define IDC_RUN_LABEL 1138
#define IDC_SFX_RUN 1139
#define IDC_LIST_LABEL 1140
#define IDC_LIST_NONE 1141
#define IDC_LIST_SHOW 1142
#define IDC_COMMENT_LABEL 1143
#define IDC_SFX_COMMENT 1144

// Progress page.
#define IDC_PHASE 1150
#define IDC_BAR 1151
#define IDC_WORK_GROUP 1152
#define IDC_COUNTERS 1153
#define IDC_SUMMARY_GROUP 1154
#define IDC_SUMMARY 1155

// Completion page.
#define IDC_DONE_TITLE 1160
#define IDC_DONE_TEXT 1161
#define IDC_OPEN_FOLDER 1162
#define IDC_RESULT_GROUP 1163
#define IDC_RESULT 1164

// About box.
#define IDC_ABOUT_ICON 1170
#define IDC_ABOUT_VERSION 1171
#define IDC_ABOUT_NOTICE 1172

// Settings dialog.
#define IDC_COMPRESS_GROUP 1200
#define IDC_KIND_LABEL 1201
#define IDC_KIND 1202
#define IDC_LEVEL_LABEL 1203
#define IDC_LEVEL_STANDARD 1204
#define IDC_LEVEL_HIGH 1205
#define IDC_VERIFY 1206
#define IDC_HASH 1207
#define IDC_LONG_NAMES 1208
#define IDC_SHIFT_JIS 1209
#define IDC_INCLUDE_HIDDEN 1210
#define IDC_USE_OUTPUT 1211
#define IDC_OUTPUT_FOLDER 1212
#define IDC_BROWSE_OUTPUT 1213
#define IDC_USE_EXCLUSIONS 1214
#define IDC_EXCLUSIONS 1215
#define IDC_OTHER_GROUP 1216
#define IDC_NO_COMPLETION 1217
#define IDC_AUTO_SAVE 1218
#define IDC_SHOW_LOG 1219
#define IDC_USE_WORK 1220
#define IDC_WORK_FOLDER 1221
#define IDC_BROWSE_WORK 1222
#define IDC_RESET 1223

// Timers: the build watch on the wizard and the bar's clock share the id.
#define IDT_BUILD 0x8064
#define IDT_BAR_CLOCK 0x8064
#define IDT_PROGRESS_REFRESH 0x8065
