#include "shell/control_drawing.h"

#include <wrl/client.h>

#include "shell/scoped_gdi.h"

namespace zu {

namespace {
constexpr int kIconOffset = 8;
}  // namespace

COLORREF TranslateBackColor(OLE_COLOR color) noexcept {
  COLORREF rgb = 0;
  if (FAILED(OleTranslateColor(color, nullptr, &rgb))) rgb = GetSysColor(COLOR_BTNFACE);
  return rgb;
}

void DrawControlSurface(HDC dc, const RECT& bounds, OLE_COLOR color, IPictureDisp* picture,
                        HRGN region) noexcept {
  ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(TranslateBackColor(color)));
  ScopedSelectObject select_brush(dc, brush.get());
  if (brush) {
    if (region != nullptr) {
      FillRgn(dc, region, brush.get());
    } else {
      FillRect(dc, &bounds, brush.get());
    }
  }
  RECT edge = bounds;
  DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
  DrawStretchedPicture(dc, picture, bounds);
}

// Picture objects keep their origin at the bottom left, so the source is taken from its top with a
// negative height, which stretches the whole picture over `rect` upright. The other way round, a
// destination from the bottom with a negative height, draws nothing under Wine 8.
void DrawStretchedPicture(HDC dc, IPictureDisp* picture, const RECT& rect) noexcept {
  if (picture == nullptr) return;
  Microsoft::WRL::ComPtr<IPicture> drawable;
  if (FAILED(picture->QueryInterface(IID_PPV_ARGS(&drawable)))) return;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  if (FAILED(drawable->get_Width(&width)) || FAILED(drawable->get_Height(&height))) return;
  drawable->Render(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0,
                   height, width, -height, nullptr);
}

void DrawControlIcon(HDC dc, const RECT& bounds, HINSTANCE module, WORD icon_id) noexcept {
  // Loaded icons are shared by the module: nothing to destroy.
  const HICON icon = LoadIconW(module, MAKEINTRESOURCEW(icon_id));
  if (icon != nullptr) DrawIcon(dc, bounds.left + kIconOffset, bounds.top + kIconOffset, icon);
}

}  // namespace zu
