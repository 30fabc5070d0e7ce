#include "shell/type_info_cache.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "shell/com_util.h"
#include "shell/module.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

// One lock for every cache of the process: loads are rare and short.
class ProcessLock {
 public:
  ProcessLock() { InitializeCriticalSection(&section_); }
  ~ProcessLock() { DeleteCriticalSection(&section_); }
  CRITICAL_SECTION* Get() { return &section_; }

 private:
  CRITICAL_SECTION section_;
};

CRITICAL_SECTION* TypeInfoLock() {
  static ProcessLock lock;
  return lock.Get();
}

class Locked {
 public:
  Locked() { EnterCriticalSection(TypeInfoLock()); }
  ~Locked() { LeaveCriticalSection(TypeInfoLock()); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

bool SameName(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

TypeInfoCache::TypeInfoCache(const GUID& library, WORD major, WORD minor, LCID library_locale,
                             const GUID& type)
    : library_(library), major_(major), minor_(minor), library_locale_(library_locale),
      type_(type) {}

TypeInfoCache::~TypeInfoCache() { Reset(); }

HRESULT TypeInfoCache::Get(LCID locale, ITypeInfo** info) {
  ZU_CHECK_AND_CLEAR(info);
  return Guarded([&]() -> HRESULT {
    Locked lock;
    if (info_ == nullptr) ZU_RETURN_IF_FAILED(LoadLocked(locale));
    info_->AddRef();
    *info = info_;
    return S_OK;
  });
}

HRESULT TypeInfoCache::LoadLocked(LCID locale) {
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadRegTypeLib(library_, major_, minor_, locale, &library);
  if (FAILED(hr) && locale != library_locale_) {
    if (SUCCEEDED(LoadRegTypeLib(library_, major_, minor_, library_locale_, &library))) hr = S_OK;
  }
  ZU_RETURN_IF_FAILED(hr);
  ComPtr<ITypeInfo> info;
  ZU_RETURN_IF_FAILED(library->GetTypeInfoOfGuid(type_, &info));

  std::vector<std::pair<std::wstring, DISPID>> names;
  TYPEATTR* attributes = nullptr;
  ZU_RETURN_IF_FAILED(info->GetTypeAttr(&attributes));
  WORD function_count = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < function_count; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    MEMBERID member = function->memid;
    info->ReleaseFuncDesc(function);
    Bstr name;
    UINT found = 0;
    if (FAILED(info->GetNames(member, name.Put(), 1, &found)) || found == 0) continue;
    bool known = false;
    for (const auto& entry : names) known = known || entry.second == member;
    if (!known) names.emplace_back(name.Get(), member);
  }

  // Once per module lifetime: the list runs (and empties) at unload.
  if (!cleanup_registered_) {
    if (!Module::Current().AddCleanup(ResetThunk, this)) return E_OUTOFMEMORY;
    cleanup_registered_ = true;
  }
  names_ = std::move(names);
  info_ = info.Detach();
  return S_OK;
}

HRESULT TypeInfoCache::GetIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  ComPtr<ITypeInfo> info;
  ZU_RETURN_IF_FAILED(Get(locale, &info));
  if (count == 1 && names[0]) {
    Locked lock;
    for (const auto& entry : names_) {
      if (SameName(entry.first, names[0])) {
        ids[0] = entry.second;
        return S_OK;
      }
    }
  }
  return info->GetIDsOfNames(names, count, ids);
}

void TypeInfoCache::Reset() {
  ITypeInfo* info = nullptr;
  {
    Locked lock;
    info = info_;
    info_ = nullptr;
    names_.clear();
  }
  if (info) info->Release();
}

void TypeInfoCache::ResetThunk(void* context) {
  auto* cache = static_cast<TypeInfoCache*>(context);
  cache->Reset();
  Locked lock;
  cache->cleanup_registered_ = false;
}

}  // namespace zu
