// Persistence driven by a property map: the stream format (also the "Contents" stream of a
// storage) and the property-bag format, and the three persistence interfaces built on them.
//
// Stream format, little-endian, entries found by position only:
//   map version (4 bytes, 0x300)
//   per entry: a data entry's 4 bytes, or a property's tagged value: its variant type (2 bytes),
//   then 2 bytes for VT_I2 and VT_BOOL, 4 for VT_I4 and VT_UI4, and for VT_DISPATCH a picture in
//   object-stream form (its class identifier, then its own data) or 16 zero bytes for none.
//
// Streams and bags may come from untrusted pages (the controls are safe for initialisation), so
// loading never trusts them:
//   - a short read ends the load with STG_E_READFAULT, an unknown type tag with E_FAIL; what was
//     loaded before stays;
//   - a picture part is only ever handed to the standard picture class, through a private copy of
//     exactly its declared length (at most kMaxPersistedPictureBytes); any other class, a damaged
//     or oversized picture gives no picture, and the load goes on;
//   - a bag value that is missing or cannot be given the property's type is skipped.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oaidl.h>

#include <cstdint>

#include "shell/property_map.h"

namespace zu {

// Larger picture parts are taken as damaged: no control needs a background picture that big.
constexpr uint32_t kMaxPersistedPictureBytes = 64u * 1024u * 1024u;

// The control as the persistence code reaches it: its own IDispatch (property entries) and its
// extent (data entries).
struct PersistTarget {
  IDispatch* dispatch;
  PersistedExtent* extent;
};

HRESULT SaveMapToStream(const PersistTarget& target, const PropertyMapEntry* map, IStream* stream);
HRESULT LoadMapFromStream(const PersistTarget& target, const PropertyMapEntry* map,
                          IStream* stream);
HRESULT SaveMapToPropertyBag(const PersistTarget& target, const PropertyMapEntry* map,
                             IPropertyBag* bag);
HRESULT LoadMapFromPropertyBag(const PersistTarget& target, const PropertyMapEntry* map,
                               IPropertyBag* bag, IErrorLog* log);

// IPersistStreamInit (and IPersist through it), IPersistStorage and IPersistPropertyBag of a
// control, over its map. Loading clears the needs-save flag; so does a save asked to.
class PersistImpl : public IPersistStreamInit, public IPersistStorage, public IPersistPropertyBag {
 public:
  PersistImpl(const CLSID& clsid, const PropertyMapEntry* map, PersistTarget target,
              bool& needs_save)
      : clsid_(clsid), map_(map), target_(target), needs_save_(needs_save) {}

  // ---------------------------------------------------------------- IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // ---------------------------------------------------------------- IPersistStreamInit
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream* stream) override;
  STDMETHODIMP Save(IStream* stream, BOOL clear_dirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;

  // ---------------------------------------------------------------- IPersistStorage
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL same_as_load) override;
  STDMETHODIMP SaveCompleted(IStorage* storage) override;
  STDMETHODIMP HandsOffStorage() override;

  // ---------------------------------------------------------------- IPersistPropertyBag
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;

 private:
  CLSID clsid_;
  const PropertyMapEntry* map_;
  PersistTarget target_;
  bool& needs_save_;
};

}  // namespace zu
