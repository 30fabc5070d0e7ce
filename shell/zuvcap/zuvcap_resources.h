// Resource numbers of ZuVCap.dll, shared by its resource scripts, its code and its tests.
#ifndef ZU_SHELL_ZUVCAP_ZUVCAP_RESOURCES_H_
#define ZU_SHELL_ZUVCAP_ZUVCAP_RESOURCES_H_

// Registration scripts (REGISTRY).
#define ZU_IDR_CAP_CONTROL_SCRIPT 102  // English and Japanese
#define ZU_IDR_CAP_PAGE_SCRIPT 106     // Japanese only

// Strings, English and Japanese.
#define ZU_IDS_CAP_PROJECT_NAME 100
#define ZU_IDS_CAP_PAGE_TITLE 103
#define ZU_IDS_CAP_PAGE_DOC 105
#define ZU_IDS_CAP_NO_DIALOG 106        // the driver offers no such dialog
#define ZU_IDS_CAP_CAPTION 107          // caption of the capture control's message boxes
#define ZU_IDS_CAP_NO_DRIVER 108
#define ZU_IDS_CAP_CONNECT_FAILED 109
#define ZU_IDS_CAP_FORMAT_FAILED 110

// The toolbox bitmap that ToolboxBitmap32 names (16 x 15, 16 colours), and the control's icon,
// drawn at design time and while there is no capture window.
#define ZU_IDB_CAP_TOOLBOX 101
#define ZU_IDI_CAP_CONTROL 202

// The popup menu of the driver dialogs, and its commands.
#define ZU_IDM_CAP_POPUP 207
#define ZU_IDM_CAP_VIDEO_FORMAT 32768
#define ZU_IDM_CAP_VIDEO_SOURCE 32769
#define ZU_IDM_CAP_VIDEO_DISPLAY 32770

// The property page, a child dialog, and its controls.
#define ZU_IDD_CAP_PAGE 107
#define ZU_IDC_CAP_PAGE_BIT_COUNT_LABEL 201
#define ZU_IDC_CAP_PAGE_ELAPSE_LABEL 202
#define ZU_IDC_CAP_PAGE_FORMAT_LABEL 203
#define ZU_IDC_CAP_PAGE_BIT_COUNT 204       // drop-down list: BitCount
#define ZU_IDC_CAP_PAGE_ELAPSE 205          // edit: CaptureElapse
#define ZU_IDC_CAP_PAGE_FORMAT 206          // drop-down list: CaptureFormat
#define ZU_IDC_CAP_PAGE_WIDTH_LABEL 207
#define ZU_IDC_CAP_PAGE_WIDTH 208           // edit: CaptureWidth
#define ZU_IDC_CAP_PAGE_DEVICE_LABEL 209
#define ZU_IDC_CAP_PAGE_HEIGHT_LABEL 210
#define ZU_IDC_CAP_PAGE_HEIGHT 211          // edit: CaptureHeight
#define ZU_IDC_CAP_PAGE_DEVICE 212          // drop-down list: DeviceID
#define ZU_IDC_CAP_PAGE_SYSTEM_SETTING 213  // check box: EnableSystemDriverSetting
#define ZU_IDC_CAP_PAGE_CUSTOM_BITS 214     // edit: CustomBitCount
#define ZU_IDC_CAP_PAGE_POPUP_MENU 215      // check box: EnablePopupMenu

// The about box.
#define ZU_IDD_CAP_ABOUT 203
#define ZU_IDC_CAP_ABOUT_VERSION 206
#define ZU_IDC_CAP_ABOUT_LEGAL 207
#define ZU_IDC_CAP_ABOUT_HOME_LABEL 208
#define ZU_IDC_CAP_ABOUT_SUPPORT 209
#define ZU_IDC_CAP_ABOUT_HOME 210
#define ZU_IDC_CAP_ABOUT_SUPPORT_LABEL 211

#endif  // ZU_SHELL_ZUVCAP_ZUVCAP_RESOURCES_H_
