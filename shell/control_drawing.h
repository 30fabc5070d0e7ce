// The surface both controls paint under their content: the background colour, a sunken edge, the
// background picture stretched over the bounds, and at design time the control's icon.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

namespace zu {

// BackColor as an RGB colour; one that does not translate paints as the button face.
COLORREF TranslateBackColor(OLE_COLOR color) noexcept;

// Fills `region` (or all of `bounds` when `region` is null) with `color`, then draws the sunken
// edge along `bounds` and stretches `picture`, if any, over `bounds`, covering the edge.
void DrawControlSurface(HDC dc, const RECT& bounds, OLE_COLOR color, IPictureDisp* picture,
                        HRGN region = nullptr) noexcept;

// Stretches `picture` over `rect` the right way up; nothing when it offers no IPicture.
void DrawStretchedPicture(HDC dc, IPictureDisp* picture, const RECT& rect) noexcept;

// The icon resource `icon_id` of `module` with its top-left corner 8 pixels in from the
// top-left of `bounds`.
void DrawControlIcon(HDC dc, const RECT& bounds, HINSTANCE module, WORD icon_id) noexcept;

}  // namespace zu
