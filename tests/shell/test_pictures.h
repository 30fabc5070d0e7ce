// Pictures for the stock Picture property: a real one, and one that cannot save itself.
#pragma once

#include <windows.h>

#include <olectl.h>
#include <wrl/client.h>

#include "tests/shell/fake_sinks.h"

namespace zu::test {

// A 24-bit bitmap picture that owns its bitmap. (Wine saves a 32-bit screen bitmap with bit
// fields but without their masks, and cannot load that back.)
inline Microsoft::WRL::ComPtr<IPictureDisp> MakePicture(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  PICTDESC description = {};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap;
  Microsoft::WRL::ComPtr<IPictureDisp> picture;
  if (FAILED(OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                      reinterpret_cast<void**>(picture.GetAddressOf())))) {
    DeleteObject(bitmap);
  }
  return picture;
}

// IPictureDisp without IPersistStream.
class UnsavablePicture final : public StackObject<IPictureDisp> {
 public:
  UnsavablePicture() : StackObject(IID_IPictureDisp) {}
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

}  // namespace zu::test
