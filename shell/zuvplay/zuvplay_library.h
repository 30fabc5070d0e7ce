// What the play library tells the framework of its control: its type information (for late binding and class
// information), its object-safety options and its property map.
#pragma once

#include <windows.h>

#include <objsafe.h>

#include "shell/property_map.h"
#include "shell/type_info_cache.h"

namespace zu {

// IZuVideoPlayCtl and the coclass ZuVideoPlay of ZuVideoPlayLIB 1.0, one copy per process.
TypeInfoCache& PlayControlTypeInfo();
TypeInfoCache& PlayClassTypeInfo();

// Safe for untrusted callers: the play control may be scripted.
constexpr DWORD kPlaySafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER;

// What the play control persists, in stream order: "_Version", the extent, FrameFormat,
// SizeMode, BackColor, Picture.
extern const PropertyMapEntry kPlayPropertyMap[];

}  // namespace zu
