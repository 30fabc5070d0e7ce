#include "shell/stock_properties.h"

#include <utility>

#include "shell/com_util.h"

using Microsoft::WRL::ComPtr;

namespace zu {

void RedrawView(const ControlChangeTargets& targets) {
  if (targets.window) {
    InvalidateRect(targets.window, nullptr, TRUE);
  } else if (targets.view_sink) {
    targets.view_sink->OnViewChange(DVASPECT_CONTENT, -1);
  }
}

void SendDataChange(const ControlChangeTargets& targets) {
  if (targets.data_advise) targets.data_advise->SendOnDataChange(targets.data_object, 0, 0);
}

ComPtr<IPictureDisp> CopyPicture(IPictureDisp* picture) {
  ComPtr<IPictureDisp> copy;
  if (picture == nullptr) return copy;
  ComPtr<IPersistStream> persist;
  if (FAILED(picture->QueryInterface(IID_PPV_ARGS(&persist)))) return copy;
  ULARGE_INTEGER size = {};
  HRESULT sized = persist->GetSizeMax(&size);
  // Wine's pictures do not implement GetSizeMax; the stream then grows as the picture writes.
  if (sized == E_NOTIMPL) {
    size.QuadPart = 0;
  } else if (FAILED(sized)) {
    return copy;
  }
  // The low 32 bits, as a movable zero-filled block the stream owns.
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size.LowPart);
  if (block == nullptr) return copy;
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return copy;
  }
  LARGE_INTEGER start = {};
  if (FAILED(persist->Save(stream.Get(), TRUE)) ||
      FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
      FAILED(OleLoadPicture(stream.Get(), 0, FALSE, IID_IPictureDisp,
                            reinterpret_cast<void**>(copy.ReleaseAndGetAddressOf())))) {
    copy.Reset();
  }
  return copy;
}

template <class Store>
HRESULT StockProperties::Change(DISPID dispid, Store&& store) {
  if (FireRequestEdit(property_notify_, dispid) == S_FALSE) return S_FALSE;
  targets_.needs_save = true;
  std::forward<Store>(store)();
  FireChanged(property_notify_, dispid);
  RedrawView(targets_);
  SendDataChange(targets_);
  return S_OK;
}

// ---------------------------------------------------------------- BackColor

HRESULT StockProperties::PutBackColor(OLE_COLOR color) {
  return Change(DISPID_BACKCOLOR, [&] { back_color_ = color; });
}

HRESULT StockProperties::GetBackColor(OLE_COLOR* color) {
  if (color == nullptr) return E_POINTER;
  *color = back_color_;
  return S_OK;
}

// ---------------------------------------------------------------- Picture

HRESULT StockProperties::PutRefPicture(IPictureDisp* picture) {
  return Change(DISPID_PICTURE, [&] { picture_ = picture; });
}

HRESULT StockProperties::PutPicture(IPictureDisp* picture) {
  return Change(DISPID_PICTURE, [&] {
    // The old picture goes first: a copy that fails leaves no picture rather than the old one.
    picture_.Reset();
    picture_ = CopyPicture(picture);
  });
}

HRESULT StockProperties::GetPicture(IPictureDisp** picture) {
  ZU_CHECK_AND_CLEAR(picture);
  *picture = picture_.Get();
  if (*picture) (*picture)->AddRef();
  return S_OK;
}

}  // namespace zu
