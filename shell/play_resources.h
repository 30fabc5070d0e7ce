// Resource numbers of ZuVPlay.dll, shared by its resource script and its code.
#ifndef ZU_SHELL_PLAY_RESOURCES_H_
#define ZU_SHELL_PLAY_RESOURCES_H_

// The play control's icon, drawn in design mode.
#define ZU_IDI_PLAY_CONTROL 204

#endif  // ZU_SHELL_PLAY_RESOURCES_H_
