// What the capture library tells the framework of its control: its type information (for late
// binding and class information), its object-safety options and its property map.
#pragma once

#include <windows.h>

#include <objsafe.h>

#include "shell/property_map.h"
#include "shell/type_info_cache.h"

namespace zu {

// IZuVideoCapCtl and the coclass ZuVideoCapture of ZuVideoCapLIB 1.0, one copy per process.
TypeInfoCache& CaptureControlTypeInfo();
TypeInfoCache& CaptureClassTypeInfo();

// Safe for initialisation from untrusted data only: the capture control opens the camera and
// declares no safety for scripting.
constexpr DWORD kCaptureSafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_DATA;

// What the capture control persists, in stream order: the extent, "_Version", BitCount,
// CaptureElapse, CaptureFormat, CaptureWidth, CaptureHeight, BackColor, Picture, Picture again
// as "ForePicture", CaptureExEvent, DeviceID, EnableSystemDriverSetting, CustomBitCount,
// EnablePopupMenu.
extern const PropertyMapEntry kCapturePropertyMap[];

}  // namespace zu
