// ZuTestCtl: a control of the framework's own, for the framework's tests. It has what every
// control of the framework has (ControlObject) and of its own only what those tests need: two
// enumeration properties, a method with arguments and a result, Version, and a method that fires
// the one event of its event interface. It lives only in test programs.
//
// It also counts what a test cannot see from outside: data requests (IDataObject::GetData, which
// a data advise holder makes of the object a control names in its notices), draws and the
// window messages its hook is offered.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <vector>

#include "shell/control_object.h"
#include "zu_test.h"

namespace zu::test {

constexpr LONG kTestControlVersion = 0x00020001;
// One inch by half an inch, HIMETRIC: not the play control's, so a test sees whose it is.
constexpr LONG kTestExtentCx = 2540;
constexpr LONG kTestExtentCy = 1270;
// A message the control's own hook answers, with this result.
constexpr UINT kTestMessage = WM_APP + 7;
constexpr LRESULT kTestMessageAnswer = 0x5157;

TypeInfoCache& TestControlTypeInfo();
TypeInfoCache& TestClassTypeInfo();

// "_Version", the extent, Shape, Level, BackColor, Picture: the play map's shape.
extern const PropertyMapEntry kTestPropertyMap[];

class ZuTestCtl final : public ControlObject<IZuTestCtl> {
 public:
  static HRESULT Create(REFIID riid, void** object);
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);

  // ---------------------------------------------------------------- IZuTestCtl
  STDMETHODIMP get_Shape(ZtcShape* pVal) override;
  STDMETHODIMP put_Shape(ZtcShape newVal) override;
  STDMETHODIMP get_Level(ZtcLevel* pVal) override;
  STDMETHODIMP put_Level(ZtcLevel newVal) override;
  // The sum of the string's first nData bytes; -1 when the string holds fewer.
  STDMETHODIMP Measure(BSTR* pbstrData, LONG nData, LONG* pnBytes) override;
  // Fires Delivered with a string of nData bytes 0, 1, 2, ... by reference and the count.
  STDMETHODIMP Deliver(LONG nData) override;
  STDMETHODIMP get_Version(LONG* pVal) override;
  STDMETHODIMP put_Version(LONG newVal) override;

  // ---------------------------------------------------------------- IDataObject
  STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;

  // Fills the bounds with the surface (colour, edge, picture).
  HRESULT OnDraw(HDC dc, const RECT& bounds) noexcept override;
  bool OnControlMessage(UINT message, WPARAM wparam, LPARAM lparam,
                        LRESULT* result) noexcept override;

  // The formats asked of GetData, in order.
  const std::vector<CLIPFORMAT>& DataRequests() const noexcept { return data_requests_; }
  int Draws() const noexcept { return draws_; }

 private:
  template <class T>
  friend HRESULT zu::CreateComObject(IUnknown* outer, REFIID riid, void** object);

  explicit ZuTestCtl(IUnknown* outer);
  ~ZuTestCtl() override = default;

  LONG shape_ = ztcShapeSquare;
  LONG level_ = ztcLevelMid;
  std::vector<CLIPFORMAT> data_requests_;
  int draws_ = 0;
};

}  // namespace zu::test
