#include "shell/zuvcap/zuvcap_library.h"

#include <initguid.h>  // defines the stock page identifiers below

#include <msstkppg.h>
#include <olectl.h>

#include "zu_video_cap.h"

namespace zu {

// The library is built for 0x409 (its lcid attribute).
constexpr LCID kCaptureLibraryLocale = 0x409;

TypeInfoCache& CaptureControlTypeInfo() {
  static TypeInfoCache cache(LIBID_ZuVideoCapLIB, 1, 0, kCaptureLibraryLocale, IID_IZuVideoCapCtl);
  return cache;
}

TypeInfoCache& CaptureClassTypeInfo() {
  static TypeInfoCache cache(LIBID_ZuVideoCapLIB, 1, 0, kCaptureLibraryLocale,
                             CLSID_ZuVideoCapture);
  return cache;
}

// Picture twice: "ForePicture" is the same property under a second name, which stored documents
// carry.
const PropertyMapEntry kCapturePropertyMap[] = {
    ZU_EXTENT_ENTRY(L"_cx", cx),
    ZU_EXTENT_ENTRY(L"_cy", cy),
    ZU_PROPERTY_ENTRY(L"_Version", 9, CLSID_NULL),
    ZU_PROPERTY_ENTRY(L"BitCount", 1, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"CaptureElapse", 2, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"CaptureFormat", 3, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"CaptureWidth", 6, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"CaptureHeight", 7, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"BackColor", DISPID_BACKCOLOR, CLSID_StockColorPage),
    ZU_PROPERTY_ENTRY(L"Picture", DISPID_PICTURE, CLSID_StockPicturePage),
    ZU_PROPERTY_ENTRY(L"ForePicture", DISPID_PICTURE, CLSID_StockPicturePage),
    ZU_PROPERTY_ENTRY(L"CaptureExEvent", 10, CLSID_NULL),
    ZU_PROPERTY_ENTRY(L"DeviceID", 12, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"EnableSystemDriverSetting", 13, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"CustomBitCount", 14, CLSID_ZuVCapPpg),
    ZU_PROPERTY_ENTRY(L"EnablePopupMenu", 15, CLSID_ZuVCapPpg),
    ZU_END_OF_MAP,
};

}  // namespace zu
