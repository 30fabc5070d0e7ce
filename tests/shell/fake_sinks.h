// Sinks and a property bag a container would hand a control, recording every call in order. They
// live on the test's stack: their reference count is only watched, never used to destroy them.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <utility>
#include <vector>

namespace zu::test {

// IUnknown for a stack object that answers `Iface` (and IUnknown) only.
template <class Iface>
class StackObject : public Iface {
 public:
  explicit StackObject(const IID& iid) : iid_(iid) {}
  virtual ~StackObject() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, iid_)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<Iface*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }

  LONG references = 1;

 private:
  IID iid_;
};

// Records "request <dispid>" and "changed <dispid>" into a log it may share with other sinks.
class PropertySink final : public StackObject<IPropertyNotifySink> {
 public:
  explicit PropertySink(std::vector<std::string>* log, std::string name = "sink")
      : StackObject(IID_IPropertyNotifySink), log_(log), name_(std::move(name)) {}

  STDMETHODIMP OnChanged(DISPID dispid) override {
    log_->push_back(name_ + " changed " + std::to_string(dispid));
    return S_OK;
  }
  STDMETHODIMP OnRequestEdit(DISPID dispid) override {
    log_->push_back(name_ + " request " + std::to_string(dispid));
    return refuse ? S_FALSE : S_OK;
  }

  bool refuse = false;

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

// Records "view <aspect> <index>" for OnViewChange and "data <format> <medium type>" for
// OnDataChange, as a container's view or data advise sink; the other notices as their names.
class AdviseSink final : public StackObject<IAdviseSink> {
 public:
  explicit AdviseSink(std::vector<std::string>* log) : StackObject(IID_IAdviseSink), log_(log) {}

  STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override {
    log_->push_back("data " + std::to_string(format ? format->cfFormat : -1) + " " +
                    std::to_string(medium ? static_cast<long>(medium->tymed) : -1L));
  }
  STDMETHODIMP_(void) OnViewChange(DWORD aspect, LONG index) override {
    log_->push_back("view " + std::to_string(aspect) + " " + std::to_string(index));
  }
  STDMETHODIMP_(void) OnRename(IMoniker*) override { log_->push_back("rename"); }
  STDMETHODIMP_(void) OnSave() override { log_->push_back("save"); }
  STDMETHODIMP_(void) OnClose() override { log_->push_back("close"); }

 private:
  std::vector<std::string>* log_;
};

// An event sink: records each Invoke's member, argument types (a string by reference with its
// byte length) and count, and may unadvise itself from inside the call. It answers `events`,
// the event interface it is advised on.
class DispatchSink final : public StackObject<IDispatch> {
 public:
  DispatchSink(std::vector<std::string>* log, std::string name, const IID& events = IID_IDispatch)
      : StackObject(events), log_(log), name_(std::move(name)) {}

  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID member, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override {
    std::string entry = name_ + " " + std::to_string(member) + " locale " + std::to_string(locale) +
                        " flags " + std::to_string(flags) + " args";
    for (UINT i = 0; params && i < params->cArgs; ++i) {
      const VARIANT& arg = params->rgvarg[i];
      entry += " " + std::to_string(V_VT(&arg));
      if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
        entry += "(" + std::to_string(SysStringByteLen(*V_BSTRREF(&arg))) + ")";
      }
    }
    entry += " named " + std::to_string(params ? params->cNamedArgs : 0u);
    entry += result ? " result" : "";
    entry += exception || argument_error ? " error-out" : "";
    log_->push_back(entry);
    if (result) {
      // The control must clear what a sink leaves here before the next sink's call.
      if (V_VT(result) != VT_EMPTY) log_->push_back("result not cleared");
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocString(L"left by the sink");
    }
    if (unadvise_from) unadvise_from->Unadvise(cookie);
    return S_OK;
  }

  IConnectionPoint* unadvise_from = nullptr;  // unadvise `cookie` there during the call
  DWORD cookie = 0;

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

// Keeps named values in write order; Read gives back what was stored, in the type it was stored
// with, as a lax container's bag does.
class MemoryBag final : public StackObject<IPropertyBag> {
 public:
  MemoryBag() : StackObject(IID_IPropertyBag) {}
  ~MemoryBag() override {
    for (auto& entry : entries) VariantClear(&entry.second);
  }

  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    reads.push_back(name);
    for (auto& entry : entries) {
      if (entry.first == name) return VariantCopy(value, &entry.second);
    }
    return E_INVALIDARG;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    if (fail_writes_of == name) return STG_E_ACCESSDENIED;
    entries.emplace_back(name, VARIANT{});
    VariantInit(&entries.back().second);
    return VariantCopy(&entries.back().second, value);
  }

  void Set(const std::wstring& name, VARTYPE type, LONG number) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = type;
    V_I4(&value) = number;
    if (type == VT_I2 || type == VT_BOOL) V_I2(&value) = static_cast<SHORT>(number);
    Write(name.c_str(), &value);
  }
  void SetText(const std::wstring& name, const wchar_t* text) {
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(text);
    Write(name.c_str(), &value);
    VariantClear(&value);
  }

  std::vector<std::pair<std::wstring, VARIANT>> entries;
  std::vector<std::wstring> reads;
  std::wstring fail_writes_of;
};

}  // namespace zu::test
