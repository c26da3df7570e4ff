#pragma once
// Resource ids of the extractor.

#define IDI_SFX 128
#define IDD_MAIN 129
#define IDD_PASSWORD 130
#define IDS_SFX_TITLE 103
#define IDS_SFX_CLASS 109
#define IDR_SFX_ACCEL 108
#define IDC_PASSWORD_EDIT 1007
#define IDC_PASSWORD_TEXT 1008
