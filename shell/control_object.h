// ControlObject<Dual>: what every control of the framework is, around its own dual interface
// `Dual`: reference counting and aggregation, late binding through the registered type library,
// object safety, embedding (OleControlImpl), persistence through the control's property map,
// error and class information, the connection points (property notification, and the event
// dispinterface when the control fires events), and the stock properties BackColor and Picture
// with their accessors of `Dual`. The control class derives from it and supplies its own
// properties, its drawing and, if it wants, window messages of its own:
//
//   class MyCtl final : public ControlObject<IMyCtl> {
//    public:
//     static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) {
//       return CreateComObject<MyCtl>(outer, riid, object);
//     }
//    private:
//     template <class T> friend HRESULT CreateComObject(IUnknown*, REFIID, void**);
//     explicit MyCtl(IUnknown* outer) : ControlObject(outer, kMyDefinition) {}
//   };
//
// The object answers IUnknown and, in this order: Dual, IDispatch, IObjectSafety, IViewObjectEx,
// IViewObject2, IViewObject, IOleInPlaceObjectWindowless, IOleInPlaceObject, IOleWindow,
// IOleInPlaceActiveObject, IOleControl, IOleObject, IPersistPropertyBag, IPersistStreamInit,
// IPersist, ISupportErrorInfo, IConnectionPointContainer, ISpecifyPropertyPages, IQuickActivate,
// IPersistStorage, IDataObject, IProvideClassInfo, IProvideClassInfo2.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include "shell/class_info.h"
#include "shell/com_object.h"
#include "shell/connection_point.h"
#include "shell/dual_dispatch.h"
#include "shell/object_safety.h"
#include "shell/ole_control.h"
#include "shell/persistence.h"
#include "shell/property_map.h"
#include "shell/stock_properties.h"
#include "shell/type_info_cache.h"

namespace zu {

// What a control's library tells the framework about the control.
struct ControlDefinition {
  const CLSID* clsid;
  const IID* default_source;   // the event dispinterface the class names as its default source
  bool fires_events;           // offer a connection point for it (the play control fires none)
  TypeInfoCache& (*dual_type_info)();
  TypeInfoCache& (*class_type_info)();
  const PropertyMapEntry* map;
  DWORD safety_options;
  SIZEL natural_extent;        // HIMETRIC, also the initial extent
  DWORD view_status;
};

// A value for an enumeration-valued property: `value` when it lies in [first, last], else
// `fallback`.
constexpr LONG ClampEnum(LONG value, LONG first, LONG last, LONG fallback) {
  return value < first || value > last ? fallback : value;
}

template <class Dual>
class ControlObject : public ComObjectRoot,
                      public DualDispatch<Dual>,
                      public ObjectSafetyImpl,
                      public OleControlImpl,
                      public PersistImpl,
                      public SupportErrorInfoImpl,
                      public ConnectionPointContainerImpl,
                      public ProvideClassInfo2Impl {
 public:
  ZU_DELEGATING_UNKNOWN

  // ---------------------------------------------------------------- stock properties of Dual
  STDMETHODIMP put_BackColor(OLE_COLOR clr) override { return stock_.PutBackColor(clr); }
  STDMETHODIMP get_BackColor(OLE_COLOR* pclr) override { return stock_.GetBackColor(pclr); }
  STDMETHODIMP putref_Picture(IPictureDisp* pPicture) override {
    return stock_.PutRefPicture(pPicture);
  }
  // Keeps a copy of the picture, made through its stream form; without one the property is null.
  STDMETHODIMP put_Picture(IPictureDisp* pPicture) override { return stock_.PutPicture(pPicture); }
  STDMETHODIMP get_Picture(IPictureDisp** ppPicture) override {
    return stock_.GetPicture(ppPicture);
  }

 protected:
  ControlObject(IUnknown* outer, const ControlDefinition& definition)
      : ComObjectRoot(outer),
        DualDispatch<Dual>(definition.dual_type_info()),
        ObjectSafetyImpl(definition.safety_options),
        OleControlImpl(OleControlSettings{definition.clsid, definition.map,
                                          definition.natural_extent, definition.view_status}),
        PersistImpl(*definition.clsid, definition.map,
                    PersistTarget{static_cast<Dual*>(this), &Extent()},
                    ChangeTargets().needs_save),
        SupportErrorInfoImpl(__uuidof(Dual)),
        ProvideClassInfo2Impl(definition.class_type_info(), *definition.default_source),
        property_notify_(this, IID_IPropertyNotifySink),
        events_(this, *definition.default_source, FreezeCount(), true),
        stock_(property_notify_, ChangeTargets()) {
    if (definition.fires_events) AddConnectionPoint(&events_);
    AddConnectionPoint(&property_notify_);
  }

  // The window goes while the whole control still stands to answer its last messages.
  void FinalRelease() noexcept override {
    DestroyControlWindow();
    ReleaseSiteObjects();
    events_.UnadviseAll();
    property_notify_.UnadviseAll();
  }

  HRESULT QueryInterfaceInner(REFIID riid, void** object) override {
    using Self = ControlObject;
    static const InterfaceEntry kInterfaces[] = {
        ZU_INTERFACE(__uuidof(Dual), Self, Dual),
        ZU_INTERFACE_VIA(IID_IDispatch, Self, IDispatch, Dual),
        ZU_INTERFACE(IID_IObjectSafety, Self, IObjectSafety),
        ZU_INTERFACE(IID_IViewObjectEx, Self, IViewObjectEx),
        ZU_INTERFACE_VIA(IID_IViewObject2, Self, IViewObject2, IViewObjectEx),
        ZU_INTERFACE_VIA(IID_IViewObject, Self, IViewObject, IViewObjectEx),
        ZU_INTERFACE(IID_IOleInPlaceObjectWindowless, Self, IOleInPlaceObjectWindowless),
        ZU_INTERFACE_VIA(IID_IOleInPlaceObject, Self, IOleInPlaceObject,
                         IOleInPlaceObjectWindowless),
        ZU_INTERFACE_VIA(IID_IOleWindow, Self, IOleWindow, IOleInPlaceObjectWindowless),
        ZU_INTERFACE(IID_IOleInPlaceActiveObject, Self, IOleInPlaceActiveObject),
        ZU_INTERFACE(IID_IOleControl, Self, IOleControl),
        ZU_INTERFACE(IID_IOleObject, Self, IOleObject),
        ZU_INTERFACE(IID_IPersistPropertyBag, Self, IPersistPropertyBag),
        ZU_INTERFACE(IID_IPersistStreamInit, Self, IPersistStreamInit),
        ZU_INTERFACE_VIA(IID_IPersist, Self, IPersist, IPersistStreamInit),
        ZU_INTERFACE(IID_ISupportErrorInfo, Self, ISupportErrorInfo),
        ZU_INTERFACE(IID_IConnectionPointContainer, Self, IConnectionPointContainer),
        ZU_INTERFACE(IID_ISpecifyPropertyPages, Self, ISpecifyPropertyPages),
        ZU_INTERFACE(IID_IQuickActivate, Self, IQuickActivate),
        ZU_INTERFACE(IID_IPersistStorage, Self, IPersistStorage),
        ZU_INTERFACE(IID_IDataObject, Self, IDataObject),
        ZU_INTERFACE_VIA(IID_IProvideClassInfo, Self, IProvideClassInfo, IProvideClassInfo2),
        ZU_INTERFACE(IID_IProvideClassInfo2, Self, IProvideClassInfo2),
        {nullptr, 0}};
    return QueryInterfaceTable(this, kInterfaces, riid, object);
  }

  // A property getter's answer: `field` as the interface's type, E_POINTER without a place.
  template <class Out, class Field>
  static HRESULT ReadProperty(const Field& field, Out* out) {
    if (out == nullptr) return E_POINTER;
    *out = static_cast<Out>(field);
    return S_OK;
  }

  // Sets an enumeration-valued property of the control's own: a value outside [first, last]
  // becomes `fallback`; an equal value changes nothing; a change is announced with OnChanged
  // only. True when the field changed.
  bool SetEnumProperty(LONG& field, LONG value, LONG first, LONG last, LONG fallback,
                       DISPID dispid) {
    const LONG clamped = ClampEnum(value, first, last, fallback);
    if (clamped == field) return false;
    field = clamped;
    FireChanged(property_notify_, dispid);
    return true;
  }

  ConnectionPoint property_notify_;
  // The event dispinterface's sinks; offered only when the control fires events, silent while
  // the container has frozen them.
  ConnectionPoint events_;
  StockProperties stock_;
};

}  // namespace zu
