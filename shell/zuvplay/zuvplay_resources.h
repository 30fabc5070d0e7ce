// Resource numbers of ZuVPlay.dll, shared by its resource scripts, its code and its tests.
#ifndef ZU_SHELL_ZUVPLAY_ZUVPLAY_RESOURCES_H_
#define ZU_SHELL_ZUVPLAY_ZUVPLAY_RESOURCES_H_

// Registration scripts (REGISTRY).
#define ZU_IDR_PLAY_CONTROL_SCRIPT 102  // English and Japanese
#define ZU_IDR_PLAY_PAGE_SCRIPT 106     // Japanese only

// Strings.
#define ZU_IDS_PLAY_PROJECT_NAME 100
#define ZU_IDS_PLAY_PAGE_TITLE 103
#define ZU_IDS_PLAY_PAGE_DOC 105

// The toolbox bitmap that ToolboxBitmap32 names (16 x 15, 16 colours), and the control's icon,
// drawn in design mode.
#define ZU_IDB_PLAY_TOOLBOX 101
#define ZU_IDI_PLAY_CONTROL 204

// Dialogs: the property page (a child dialog) and the about box.
#define ZU_IDD_PLAY_PAGE 107
#define ZU_IDD_PLAY_ABOUT 108

// Property page.
#define ZU_IDC_PLAY_FRAME_FORMAT 201        // drop-down list: FrameFormat
#define ZU_IDC_PLAY_SIZE_MODE 202           // drop-down list: SizeMode
#define ZU_IDC_PLAY_SIZE_MODE_LABEL 203
#define ZU_IDC_PLAY_FRAME_FORMAT_LABEL 204

// About box.
#define ZU_IDC_PLAY_ABOUT_VERSION 205
#define ZU_IDC_PLAY_ABOUT_LEGAL 206
#define ZU_IDC_PLAY_ABOUT_HOME_LABEL 207
#define ZU_IDC_PLAY_ABOUT_SUPPORT_LABEL 208
#define ZU_IDC_PLAY_ABOUT_HOME 209
#define ZU_IDC_PLAY_ABOUT_SUPPORT 210

#endif  // ZU_SHELL_ZUVPLAY_ZUVPLAY_RESOURCES_H_
