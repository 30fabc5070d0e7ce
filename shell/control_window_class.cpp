#include "shell/control_window_class.h"

#include <cstdint>
#include <cwchar>

#include "shell/module.h"

namespace zu {
namespace {

constexpr UINT kClassStyle = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;

struct ClassRecord {
  WNDCLASSEXW description;
  wchar_t name[16];
  ATOM atom;
  bool cleanup_added;
};

ClassRecord g_record = {};

void Unregister(void*) { UnregisterControlWindowClass(); }

}  // namespace

ATOM RegisterControlWindowClass(WNDPROC procedure, HINSTANCE instance) noexcept {
  Module& module = Module::Current();
  EnterCriticalSection(&module.WindowCreationLock());
  if (g_record.atom == 0) {
    std::swprintf(g_record.name, sizeof g_record.name / sizeof g_record.name[0], L"ATL:%8.8X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(&g_record.description)));
    g_record.description = {};
    g_record.description.cbSize = sizeof g_record.description;
    g_record.description.style = kClassStyle;
    g_record.description.lpfnWndProc = procedure;
    g_record.description.hInstance = instance;
    g_record.description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    g_record.description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    g_record.description.lpszClassName = g_record.name;
    g_record.atom = RegisterClassExW(&g_record.description);
    // Test programs terminate and initialise the module again; the clean-up is added each time
    // the list was run.
    if (g_record.atom != 0 && !g_record.cleanup_added) {
      g_record.cleanup_added = module.AddCleanup(&Unregister, nullptr);
    }
  }
  const ATOM atom = g_record.atom;
  LeaveCriticalSection(&module.WindowCreationLock());
  return atom;
}

void UnregisterControlWindowClass() noexcept {
  Module& module = Module::Current();
  EnterCriticalSection(&module.WindowCreationLock());
  if (g_record.atom != 0) {
    UnregisterClassW(MAKEINTATOM(g_record.atom), g_record.description.hInstance);
    g_record.atom = 0;
  }
  g_record.cleanup_added = false;
  LeaveCriticalSection(&module.WindowCreationLock());
}

}  // namespace zu
