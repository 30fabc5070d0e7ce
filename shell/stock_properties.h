// The stock properties BackColor and Picture that both controls carry, and what a change of one
// tells the control's surroundings: property-change sinks (asked first, then told), the
// needs-save flag, the view (the control's window when it is in-place active, else the
// container's view advise sink) and data-change sinks.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include "shell/connection_point.h"

namespace zu {

constexpr OLE_COLOR kDefaultBackColor = 0x8000000F;  // COLOR_BTNFACE

// What a control's embedding code keeps up to date for the stock properties: the in-place
// window while there is one, the view advise sink from IViewObject::SetAdvise, the data advise
// holder from IDataObject::DAdvise.
struct ControlChangeTargets {
  HWND window = nullptr;
  Microsoft::WRL::ComPtr<IAdviseSink> view_sink;
  Microsoft::WRL::ComPtr<IDataAdviseHolder> data_advise;
  IDataObject* data_object = nullptr;  // the control's own, named in data-change notices
  bool needs_save = false;
};

class StockProperties {
 public:
  StockProperties(const ConnectionPoint& property_notify, ControlChangeTargets& targets)
      : property_notify_(property_notify), targets_(targets) {}
  StockProperties(const StockProperties&) = delete;
  StockProperties& operator=(const StockProperties&) = delete;

  // The accessors behind put_/get_BackColor and putref_/put_/get_Picture; S_FALSE when a sink
  // refused the edit.
  HRESULT PutBackColor(OLE_COLOR color);
  HRESULT GetBackColor(OLE_COLOR* color);
  HRESULT PutRefPicture(IPictureDisp* picture);
  HRESULT PutPicture(IPictureDisp* picture);
  HRESULT GetPicture(IPictureDisp** picture);

  OLE_COLOR BackColor() const { return back_color_; }
  IPictureDisp* Picture() const { return picture_.Get(); }

 private:
  template <class Store>
  HRESULT Change(DISPID dispid, Store&& store);

  const ConnectionPoint& property_notify_;
  ControlChangeTargets& targets_;
  OLE_COLOR back_color_ = kDefaultBackColor;
  Microsoft::WRL::ComPtr<IPictureDisp> picture_;
};

// A picture object of its own with the same content as `picture`, made by saving `picture` to
// memory and loading it back; null when `picture` is null, cannot save itself as a stream, or
// the copy cannot be loaded.
Microsoft::WRL::ComPtr<IPictureDisp> CopyPicture(IPictureDisp* picture);

// Redraws the control's view: invalidates its window with erasing while it is in place, else
// tells the container's view advise sink that the content changed.
void RedrawView(const ControlChangeTargets& targets);
// Tells data-change sinks, if any, that the control's data changed.
void SendDataChange(const ControlChangeTargets& targets);

}  // namespace zu
