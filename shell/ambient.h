// Ambient properties read from a control's client site, through its IDispatch.
#pragma once

#include <windows.h>

#include <oleidl.h>

#include <optional>

namespace zu {

// The ambient `dispid` as a boolean; nothing when there is no site, the site has no IDispatch,
// refuses the property or answers with something that is not a VT_BOOL.
std::optional<bool> ReadAmbientBool(IOleClientSite* site, DISPID dispid);

// The container's locale (ambient LocaleID); nothing when it cannot say.
std::optional<LCID> ReadAmbientLocale(IOleClientSite* site);

}  // namespace zu
