#include "shell/property_map.h"

#include <algorithm>

namespace zu {

std::vector<CLSID> PropertyPages(const PropertyMapEntry* map) {
  std::vector<CLSID> pages;
  for (const PropertyMapEntry* entry = map; !IsEndOfMap(*entry); ++entry) {
    const CLSID& page = *entry->page;
    if (IsEqualCLSID(page, CLSID_NULL)) continue;
    bool listed = std::any_of(pages.begin(), pages.end(),
                              [&](const CLSID& known) { return IsEqualCLSID(known, page); });
    if (!listed) pages.push_back(page);
  }
  return pages;
}

}  // namespace zu
