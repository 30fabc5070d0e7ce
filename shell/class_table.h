// The ordered table of a module's creatable classes and the class object that each row hands out.
// Registration, unregistration and class-object lookup walk the table front to back.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace zu {

// Creates one object of a class. With `outer`, the object is created as an aggregated inner
// object and `riid` is IID_IUnknown (the class object has checked that).
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

struct ClassEntry {
  const CLSID* clsid;
  UINT script_id;            // REGISTRY resource with the class's registration script
  CreateFunction create;
  IUnknown* class_object;    // created on first request, released at unload
};

// Answers CreateInstance with E_NOTIMPL: for a class whose object is not built yet. Its class
// object exists, so a host learns the class is known but cannot be made.
HRESULT CreateNothing(IUnknown* outer, REFIID riid, void** object);

// A new class object for `entry` with one reference (the table's), or null when out of memory.
IClassFactory* NewClassFactory(const ClassEntry& entry);

}  // namespace zu
