// Property maps: what a control persists, in what order, and which property page edits it. The
// stream, storage and property-bag formats follow from a map (persistence.h).
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <vector>

namespace zu {

// A control's persisted members that are not properties: its extent in HIMETRIC units. A map's
// data entries give their offsets into this block.
struct PersistedExtent {
  uint32_t cx = 0;
  uint32_t cy = 0;
};

struct PropertyMapEntry {
  const wchar_t* name;      // the key in a property bag; an entry without one is skipped
  DISPID dispid;            // property entries: read and written through IDispatch
  const CLSID* page;        // the editing page or &CLSID_NULL; null ends the map
  const IID* dispatch_iid;  // &IID_IDispatch for property entries, null for data entries
  uint32_t offset;          // data entries: into the control's PersistedExtent
  uint32_t size;            // data entries: bytes; 0 marks a property entry
  VARTYPE vt;               // data entries: their variant type; VT_EMPTY for properties
};

inline bool IsEndOfMap(const PropertyMapEntry& entry) { return entry.page == nullptr; }
inline bool IsDataEntry(const PropertyMapEntry& entry) { return entry.size != 0; }

#define ZU_PROPERTY_ENTRY(name, dispid, page) {name, dispid, &(page), &IID_IDispatch, 0, 0, VT_EMPTY}
#define ZU_EXTENT_ENTRY(name, member) \
  {name, 0, &CLSID_NULL, nullptr, offsetof(::zu::PersistedExtent, member), 4, VT_UI4}
#define ZU_END_OF_MAP {nullptr, 0, nullptr, nullptr, 0, 0, VT_EMPTY}

// The distinct page classes of the map's entries in map order, without CLSID_NULL: what
// ISpecifyPropertyPages lists.
std::vector<CLSID> PropertyPages(const PropertyMapEntry* map);

// The stream format's version word; a stream with a later one is refused.
constexpr uint32_t kPropertyMapVersion = 0x300;

}  // namespace zu
