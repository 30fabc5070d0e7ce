// IObjectSafety of a control. The two controls differ only in the options they support: the
// play control is safe for untrusted callers (scripting), the capture control safe for untrusted
// data only. Both accept initialisation from a property bag exactly when the request enables
// "untrusted data" and nothing else, without recording it.
#pragma once

#include <windows.h>

#include <objsafe.h>

namespace zu {

class ObjectSafetyImpl : public IObjectSafety {
 public:
  explicit ObjectSafetyImpl(DWORD supported) : supported_(supported) {}

  // ---------------------------------------------------------------- IObjectSafety
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

  DWORD EnabledSafetyOptions() const { return enabled_; }

 private:
  // Whether the object (through its owner) answers `riid`.
  bool Answers(REFIID riid);

  DWORD supported_;
  DWORD enabled_ = 0;
};

}  // namespace zu
