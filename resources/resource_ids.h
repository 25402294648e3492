// Resource and control identifiers of the viewer (the numbers of its
// resource script, resources/tessary.rc).
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_VIEWER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_BACKDROP 129
#define IDD_FULL_VIEW 130

// System-menu command of the About entry.
#define IDM_ABOUTBOX 0x0010

// Controls of the viewer dialog (all hidden).
#define IDC_ALBUM_LIST 1000
#define IDC_NEXT 1001
#define IDC_PREV 1002
#define IDC_COPY 1003
#define IDC_EXPORT 1004

// Skin images: JPEGs of the custom resource type "BIN".
#define IDR_SKIN_BACKGROUND 142
#define IDR_SKIN_LIST_FIRST_LEVEL 143
#define IDR_SKIN_LIST_SECOND_LEVEL 147
#define IDR_SKIN_LIST_ROOT 149
#define IDR_SKIN_LIST_SELECTED 150
#define IDR_SKIN_LIST_SECOND_SELECTED 151
#define IDR_SKIN_SHADOW_RIGHT 153
#define IDR_SKIN_SHADOW_BOTTOM 154
#define IDR_SKIN_SHADOW_CORNER 155
#define IDR_SKIN_NEXT_PRESSED 156
#define IDR_SKIN_PREV_PRESSED 157
#define IDR_SKIN_COPY_PRESSED 159
#define IDR_SKIN_EXPORT_PRESSED 160
#define IDR_SKIN_SIDE_PANEL 161
#define IDR_SKIN_CLOSE_HIGHLIGHT 165
#define IDR_SKIN_SPLASH 167
#define IDC_STATIC (-1)
