// What a host process holds of the system, for the soak: GDI objects, USER objects, kernel
// handles and committed private bytes.
//
// On Windows the counts come from GetGuiResources and GetProcessHandleCount. Wine answers 0 to
// both, so where they say 0 (never true of a process with a window) the objects are counted one
// by one instead: GDI objects by asking GetObjectType of every handle-table index (Wine takes an
// index without its generation bits as naming whatever lives there), USER objects as this
// process's windows (top-level, children and message-only) plus its menus, kernel handles by
// asking GetHandleInformation of each handle value. Private bytes are always the committed
// private regions that VirtualQuery walks, which both systems report alike.
#pragma once

#include <cstdint>
#include <string>

namespace zu {

struct ResourceUsage {
  uint32_t gdi = 0;
  uint32_t user = 0;
  uint32_t kernel = 0;
  uint64_t private_bytes = 0;
  bool counted = false;  // the handles were counted one by one (the system gave no totals)
};

ResourceUsage MeasureResources();

// "gdi=N user=N kernel=N private=N", the form the hosts print and ./zu reads.
std::string DescribeResources(const ResourceUsage& usage);

}  // namespace zu
