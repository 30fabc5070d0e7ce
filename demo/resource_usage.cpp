#include "demo/resource_usage.h"

#include <windows.h>

namespace zu {
namespace {

// GDI and USER handle tables hold at most 65536 entries; USER handles start at 0x20 and step
// by 2.
constexpr uintptr_t kHandleTableSize = 0x10000;
constexpr uintptr_t kFirstUserHandle = 0x20;
// Kernel handle values step by 4 and are handed out lowest first; this many free values in a
// row past the last live one end the count.
constexpr uint32_t kKernelGapToStop = 1024;

struct WindowCount {
  DWORD process;
  uint32_t windows;
};

BOOL CALLBACK CountChild(HWND, LPARAM context) {
  reinterpret_cast<WindowCount*>(context)->windows++;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) {
  auto* count = reinterpret_cast<WindowCount*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == count->process) {
    count->windows++;
    EnumChildWindows(window, CountChild, context);
  }
  return TRUE;
}

uint32_t CountGdiObjects() {
  uint32_t count = 0;
  for (uintptr_t index = 1; index < kHandleTableSize; ++index) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
  }
  return count;
}

uint32_t CountUserObjects() {
  WindowCount count = {GetCurrentProcessId(), 0};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  for (HWND window = nullptr;
       (window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr;) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == count.process) count.windows++;
  }
  for (uintptr_t handle = kFirstUserHandle; handle < kHandleTableSize; handle += 2) {
    if (IsMenu(reinterpret_cast<HMENU>(handle))) count.windows++;
  }
  return count.windows;
}

uint32_t CountKernelHandles() {
  uint32_t count = 0, gap = 0;
  for (uintptr_t value = 4; gap < kKernelGapToStop; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      gap = 0;
    } else {
      ++gap;
    }
  }
  return count;
}

uint64_t CommittedPrivateBytes() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region;
  const uint8_t* address = nullptr;
  while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const uint8_t* next = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;  // the top of the address space
    address = next;
  }
  return total;
}

}  // namespace

ResourceUsage MeasureResources() {
  ResourceUsage usage;
  const HANDLE self = GetCurrentProcess();
  usage.gdi = GetGuiResources(self, GR_GDIOBJECTS);
  usage.user = GetGuiResources(self, GR_USEROBJECTS);
  DWORD handles = 0;
  if (GetProcessHandleCount(self, &handles)) usage.kernel = handles;
  if (usage.gdi == 0 || usage.user == 0 || usage.kernel == 0) {
    usage.counted = true;
    usage.gdi = CountGdiObjects();
    usage.user = CountUserObjects();
    usage.kernel = CountKernelHandles();
  }
  usage.private_bytes = CommittedPrivateBytes();
  return usage;
}

std::string DescribeResources(const ResourceUsage& usage) {
  return "gdi=" + std::to_string(usage.gdi) + " user=" + std::to_string(usage.user) +
         " kernel=" + std::to_string(usage.kernel) +
         " private=" + std::to_string(usage.private_bytes);
}

}  // namespace zu
