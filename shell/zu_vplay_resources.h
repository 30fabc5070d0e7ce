// Resource numbers of ZuVPlay.dll's module resources: type library, registration scripts,
// strings and version blocks. Shared by zu_vplay_module.rc and the code.
#ifndef ZU_SHELL_ZU_VPLAY_RESOURCES_H_
#define ZU_SHELL_ZU_VPLAY_RESOURCES_H_

#define ZU_IDR_PLAY_CONTROL_SCRIPT 102  // REGISTRY, English and Japanese
#define ZU_IDR_PLAY_PAGE_SCRIPT 106     // REGISTRY, Japanese only

#define ZU_IDS_PLAY_PROJECT_NAME 100
#define ZU_IDS_PLAY_PAGE_TITLE 103
#define ZU_IDS_PLAY_PAGE_DOC 105

#endif  // ZU_SHELL_ZU_VPLAY_RESOURCES_H_
