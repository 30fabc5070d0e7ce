#include "shell/persistence.h"

#include <olectl.h>
#include <wrl/client.h>

#include <cstring>
#include <vector>

#include "shell/com_util.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

constexpr wchar_t kContentsStream[] = L"Contents";
// What the standard picture object writes before its data: "lt\0\0" and the data's length.
constexpr uint32_t kPictureMagic = 0x0000746C;

// ---------------------------------------------------------------- raw stream access

HRESULT ReadExact(IStream* stream, void* buffer, ULONG size) {
  ULONG read = 0;
  ZU_RETURN_IF_FAILED(stream->Read(buffer, size, &read));
  return read == size ? S_OK : STG_E_READFAULT;
}

HRESULT WriteExact(IStream* stream, const void* buffer, ULONG size) {
  ULONG written = 0;
  ZU_RETURN_IF_FAILED(stream->Write(buffer, size, &written));
  return written == size ? S_OK : STG_E_MEDIUMFULL;
}

// ---------------------------------------------------------------- properties through IDispatch

HRESULT GetProperty(IDispatch* dispatch, DISPID dispid, Variant* value) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  HRESULT hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                value->Put(), nullptr, nullptr);
  return FAILED(hr) ? E_FAIL : S_OK;
}

HRESULT PutProperty(IDispatch* dispatch, DISPID dispid, VARIANT* value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {value, &named, 1, 1};
  HRESULT hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                &params, nullptr, nullptr, nullptr);
  return FAILED(hr) ? E_FAIL : S_OK;
}

uint8_t* ExtentBytes(const PersistTarget& target, const PropertyMapEntry& entry) {
  return reinterpret_cast<uint8_t*>(target.extent) + entry.offset;
}

bool FitsExtent(const PropertyMapEntry& entry) {
  return static_cast<uint64_t>(entry.offset) + entry.size <= sizeof(PersistedExtent);
}

// ---------------------------------------------------------------- pictures

HRESULT SavePicture(IDispatch* picture, IStream* stream) {
  if (picture == nullptr) return WriteExact(stream, &CLSID_NULL, sizeof(CLSID));
  ComPtr<IPersistStream> persist;
  ZU_RETURN_IF_FAILED(picture->QueryInterface(IID_PPV_ARGS(&persist)));
  return OleSaveToStream(persist.Get(), stream);
}

// Reads a picture part. A read failure of the class identifier or of the picture's length word
// is returned; a picture that cannot be made gives S_OK and no picture.
HRESULT LoadPicture(IStream* stream, ComPtr<IDispatch>* picture) {
  picture->Reset();
  CLSID clsid = {};
  ZU_RETURN_IF_FAILED(ReadExact(stream, &clsid, sizeof clsid));
  if (IsEqualCLSID(clsid, CLSID_NULL)) return S_OK;
  // Only the standard picture class is made from a stream: the class named here comes from
  // whoever wrote the stream.
  if (!IsEqualCLSID(clsid, CLSID_StdPicture)) return S_OK;

  uint32_t header[2] = {};
  ZU_RETURN_IF_FAILED(ReadExact(stream, header, sizeof header));
  // An empty picture part has nothing to show: no picture, as for a damaged one.
  if (header[0] != kPictureMagic || header[1] == 0 || header[1] > kMaxPersistedPictureBytes) {
    return S_OK;
  }

  // The picture reads a private copy of exactly its own bytes: whatever it makes of them, the
  // outer stream ends up right after the picture part. The copy grows as bytes arrive, so a
  // length word that lies costs no more than the stream really holds.
  std::vector<uint8_t> bytes(sizeof header);
  std::memcpy(bytes.data(), header, sizeof header);
  constexpr ULONG kChunk = 64 * 1024;
  for (uint32_t left = header[1]; left > 0;) {
    ULONG piece = left < kChunk ? left : kChunk;
    size_t at = bytes.size();
    bytes.resize(at + piece);
    ZU_RETURN_IF_FAILED(ReadExact(stream, bytes.data() + at, piece));
    left -= piece;
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (block == nullptr) return S_OK;
  void* target = GlobalLock(block);
  std::memcpy(target, bytes.data(), bytes.size());
  GlobalUnlock(block);
  ComPtr<IStream> copy;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &copy))) {
    GlobalFree(block);
    return S_OK;
  }
  // A new standard picture loading the copy, without asking the registry for the class.
  if (FAILED(OleLoadPicture(copy.Get(), 0, FALSE, IID_IDispatch,
                            reinterpret_cast<void**>(picture->ReleaseAndGetAddressOf())))) {
    picture->Reset();
  }
  return S_OK;
}

// ---------------------------------------------------------------- tagged values

HRESULT WriteTaggedValue(const VARIANT& value, IStream* stream) {
  VARTYPE type = V_VT(&value);
  switch (type) {
    case VT_I2:
    case VT_BOOL:
      ZU_RETURN_IF_FAILED(WriteExact(stream, &type, sizeof type));
      return WriteExact(stream, &V_I2(&value), 2);
    case VT_I4:
    case VT_UI4:
      ZU_RETURN_IF_FAILED(WriteExact(stream, &type, sizeof type));
      return WriteExact(stream, &V_I4(&value), 4);
    case VT_DISPATCH:
      ZU_RETURN_IF_FAILED(WriteExact(stream, &type, sizeof type));
      return SavePicture(V_DISPATCH(&value), stream);
    default:
      return DISP_E_BADVARTYPE;
  }
}

HRESULT ReadTaggedValue(IStream* stream, Variant* value) {
  VARTYPE type = VT_EMPTY;
  ZU_RETURN_IF_FAILED(ReadExact(stream, &type, sizeof type));
  VARIANT* out = value->Put();
  switch (type) {
    case VT_I2:
    case VT_BOOL:
      V_VT(out) = type;
      return ReadExact(stream, &V_I2(out), 2);
    case VT_I4:
    case VT_UI4:
      V_VT(out) = type;
      return ReadExact(stream, &V_I4(out), 4);
    case VT_DISPATCH: {
      ComPtr<IDispatch> picture;
      ZU_RETURN_IF_FAILED(LoadPicture(stream, &picture));
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = picture.Detach();
      return S_OK;
    }
    default:
      // A type this format never writes: the stream is not one of ours.
      return E_FAIL;
  }
}

// The bag's value for `name` as `type`; false when it has none or it cannot be given that type.
bool ReadBagValue(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, VARTYPE type,
                  Variant* value) {
  VARIANT* out = value->Put();
  V_VT(out) = type;
  if (FAILED(bag->Read(name, out, log)) || V_VT(out) == VT_EMPTY) {
    value->Put();
    return false;
  }
  if (V_VT(out) == type) return true;
  Variant converted;
  if (FAILED(VariantChangeType(converted.Ptr(), out, 0, type))) return false;
  VariantCopy(value->Put(), converted.Ptr());
  return V_VT(&value->Get()) == type;
}

}  // namespace

// ---------------------------------------------------------------- stream format

HRESULT SaveMapToStream(const PersistTarget& target, const PropertyMapEntry* map,
                        IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    uint32_t version = kPropertyMapVersion;
    ZU_RETURN_IF_FAILED(WriteExact(stream, &version, sizeof version));
    for (const PropertyMapEntry* entry = map; !IsEndOfMap(*entry); ++entry) {
      if (IsDataEntry(*entry)) {
        if (!FitsExtent(*entry)) return E_FAIL;
        ZU_RETURN_IF_FAILED(WriteExact(stream, ExtentBytes(target, *entry), entry->size));
        continue;
      }
      Variant value;
      ZU_RETURN_IF_FAILED(GetProperty(target.dispatch, entry->dispid, &value));
      ZU_RETURN_IF_FAILED(WriteTaggedValue(value.Get(), stream));
    }
    return S_OK;
  });
}

HRESULT LoadMapFromStream(const PersistTarget& target, const PropertyMapEntry* map,
                          IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    uint32_t version = 0;
    ZU_RETURN_IF_FAILED(ReadExact(stream, &version, sizeof version));
    if (version > kPropertyMapVersion) return E_FAIL;
    for (const PropertyMapEntry* entry = map; !IsEndOfMap(*entry); ++entry) {
      if (IsDataEntry(*entry)) {
        if (!FitsExtent(*entry)) return E_FAIL;
        uint8_t bytes[sizeof(PersistedExtent)];
        ZU_RETURN_IF_FAILED(ReadExact(stream, bytes, entry->size));
        std::memcpy(ExtentBytes(target, *entry), bytes, entry->size);
        continue;
      }
      Variant value;
      ZU_RETURN_IF_FAILED(ReadTaggedValue(stream, &value));
      ZU_RETURN_IF_FAILED(PutProperty(target.dispatch, entry->dispid, value.Ptr()));
    }
    return S_OK;
  });
}

// ---------------------------------------------------------------- property-bag format

HRESULT SaveMapToPropertyBag(const PersistTarget& target, const PropertyMapEntry* map,
                             IPropertyBag* bag) {
  if (bag == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    for (const PropertyMapEntry* entry = map; !IsEndOfMap(*entry); ++entry) {
      if (entry->name == nullptr) continue;
      Variant value;
      if (IsDataEntry(*entry)) {
        if (!FitsExtent(*entry) || entry->size != 4) return E_FAIL;
        VARIANT* out = value.Put();
        V_VT(out) = entry->vt;
        std::memcpy(&V_UI4(out), ExtentBytes(target, *entry), 4);
      } else {
        ZU_RETURN_IF_FAILED(GetProperty(target.dispatch, entry->dispid, &value));
        if (value.Type() == VT_DISPATCH && V_DISPATCH(&value.Get()) == nullptr) continue;
      }
      ZU_RETURN_IF_FAILED(bag->Write(entry->name, value.Ptr()));
    }
    return S_OK;
  });
}

HRESULT LoadMapFromPropertyBag(const PersistTarget& target, const PropertyMapEntry* map,
                               IPropertyBag* bag, IErrorLog* log) {
  if (bag == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    for (const PropertyMapEntry* entry = map; !IsEndOfMap(*entry); ++entry) {
      if (entry->name == nullptr) continue;
      Variant value;
      if (IsDataEntry(*entry)) {
        if (!FitsExtent(*entry) || entry->size != 4) return E_FAIL;
        if (ReadBagValue(bag, log, entry->name, entry->vt, &value)) {
          std::memcpy(ExtentBytes(target, *entry), &V_UI4(&value.Get()), 4);
        }
        continue;
      }
      // The current value says which type to ask the bag for.
      Variant current;
      ZU_RETURN_IF_FAILED(GetProperty(target.dispatch, entry->dispid, &current));
      if (!ReadBagValue(bag, log, entry->name, current.Type(), &value)) continue;
      ZU_RETURN_IF_FAILED(PutProperty(target.dispatch, entry->dispid, value.Ptr()));
    }
    return S_OK;
  });
}

// ---------------------------------------------------------------- IPersist

STDMETHODIMP PersistImpl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

// ---------------------------------------------------------------- IPersistStreamInit

STDMETHODIMP PersistImpl::IsDirty() { return needs_save_ ? S_OK : S_FALSE; }

STDMETHODIMP PersistImpl::Load(IStream* stream) {
  ZU_RETURN_IF_FAILED(LoadMapFromStream(target_, map_, stream));
  needs_save_ = false;
  return S_OK;
}

STDMETHODIMP PersistImpl::Save(IStream* stream, BOOL clear_dirty) {
  ZU_RETURN_IF_FAILED(SaveMapToStream(target_, map_, stream));
  if (clear_dirty) needs_save_ = false;
  return S_OK;
}

STDMETHODIMP PersistImpl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size) size->QuadPart = 0;
  return E_NOTIMPL;
}

STDMETHODIMP PersistImpl::InitNew() { return S_OK; }

// ---------------------------------------------------------------- IPersistStorage

STDMETHODIMP PersistImpl::InitNew(IStorage*) { return S_OK; }

STDMETHODIMP PersistImpl::Load(IStorage* storage) {
  if (storage == nullptr) return E_POINTER;
  ComPtr<IStream> stream;
  ZU_RETURN_IF_FAILED(storage->OpenStream(kContentsStream, nullptr,
                                          STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream));
  return Load(stream.Get());
}

STDMETHODIMP PersistImpl::Save(IStorage* storage, BOOL) {
  if (storage == nullptr) return E_POINTER;
  ComPtr<IStream> stream;
  ZU_RETURN_IF_FAILED(storage->CreateStream(
      kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream));
  return Save(stream.Get(), TRUE);
}

STDMETHODIMP PersistImpl::SaveCompleted(IStorage*) { return S_OK; }

STDMETHODIMP PersistImpl::HandsOffStorage() { return S_OK; }

// ---------------------------------------------------------------- IPersistPropertyBag

STDMETHODIMP PersistImpl::Load(IPropertyBag* bag, IErrorLog* log) {
  ZU_RETURN_IF_FAILED(LoadMapFromPropertyBag(target_, map_, bag, log));
  needs_save_ = false;
  return S_OK;
}

STDMETHODIMP PersistImpl::Save(IPropertyBag* bag, BOOL clear_dirty, BOOL) {
  ZU_RETURN_IF_FAILED(SaveMapToPropertyBag(target_, map_, bag));
  if (clear_dirty) needs_save_ = false;
  return S_OK;
}

}  // namespace zu
