// Resource numbers of ZuVPlay.dll's dialogs and their controls, shared by zu_vplay_dialogs.rc,
// the play property page, the play control's about box and their tests.
#ifndef ZU_SHELL_PLAY_DIALOG_IDS_H_
#define ZU_SHELL_PLAY_DIALOG_IDS_H_

#define ZU_IDD_PLAY_PAGE 107   // the property page, a child dialog
#define ZU_IDD_PLAY_ABOUT 108  // the about box

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

#endif  // ZU_SHELL_PLAY_DIALOG_IDS_H_
