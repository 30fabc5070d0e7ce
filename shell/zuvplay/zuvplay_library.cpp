#include "shell/zuvplay/zuvplay_library.h"

#include <initguid.h>  // defines the stock page identifiers below

#include <cstddef>

#include <msstkppg.h>
#include <olectl.h>

#include "zu_video_play.h"

namespace zu {

// The library is built for 0x409 (its lcid attribute).
constexpr LCID kPlayLibraryLocale = 0x409;

TypeInfoCache& PlayControlTypeInfo() {
  static TypeInfoCache cache(LIBID_ZuVideoPlayLIB, 1, 0, kPlayLibraryLocale, IID_IZuVideoPlayCtl);
  return cache;
}

TypeInfoCache& PlayClassTypeInfo() {
  static TypeInfoCache cache(LIBID_ZuVideoPlayLIB, 1, 0, kPlayLibraryLocale, CLSID_ZuVideoPlay);
  return cache;
}

const PropertyMapEntry kPlayPropertyMap[] = {
    ZU_PROPERTY_ENTRY(L"_Version", 5, CLSID_NULL),
    ZU_EXTENT_ENTRY(L"_cx", cx),
    ZU_EXTENT_ENTRY(L"_cy", cy),
    ZU_PROPERTY_ENTRY(L"FrameFormat", 1, CLSID_ZuVPlayPpg),
    ZU_PROPERTY_ENTRY(L"SizeMode", 2, CLSID_ZuVPlayPpg),
    ZU_PROPERTY_ENTRY(L"BackColor", DISPID_BACKCOLOR, CLSID_StockColorPage),
    ZU_PROPERTY_ENTRY(L"Picture", DISPID_PICTURE, CLSID_StockPicturePage),
    ZU_END_OF_MAP,
};

}  // namespace zu
