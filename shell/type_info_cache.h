// The type information of one type (a dual interface, a coclass) of a registered type library,
// loaded on first use and shared by every object of the process.
//
// Loading goes through the registry (LoadRegTypeLib) under one process-wide lock. A failed load
// caches nothing, so the next call tries again; a successful one is kept until the module
// unloads (its clean-up list releases it). Late-bound names are answered from a table of the
// type's member names built at load.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

namespace zu {

class TypeInfoCache {
 public:
  // `library_locale` is the locale the library was built for: Wine's registry lookup finds a
  // library only under the locale it is registered with, so a caller's other locale falls back
  // to it.
  TypeInfoCache(const GUID& library, WORD major, WORD minor, LCID library_locale,
                const GUID& type);
  ~TypeInfoCache();
  TypeInfoCache(const TypeInfoCache&) = delete;
  TypeInfoCache& operator=(const TypeInfoCache&) = delete;

  // The type information with a reference for the caller; null and the lookup's failure when
  // the library is not registered or cannot be loaded.
  HRESULT Get(LCID locale, ITypeInfo** info);

  // GetIDsOfNames for the type: single names from the member table, anything else (unknown
  // names, named arguments) through the type information.
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids);

  // Drops the cached information (at module unload); the next Get loads it again.
  void Reset();

 private:
  HRESULT LoadLocked(LCID locale);
  static void ResetThunk(void* cache);

  GUID library_;
  WORD major_;
  WORD minor_;
  LCID library_locale_;
  GUID type_;
  ITypeInfo* info_ = nullptr;
  bool cleanup_registered_ = false;
  std::vector<std::pair<std::wstring, DISPID>> names_;
};

}  // namespace zu
