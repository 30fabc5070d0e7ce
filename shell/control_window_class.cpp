#include "shell/control_window_class.h"

#include <cstdint>
#include <cwchar>

#include "shell/module.h"

namespace zu {
namespace {

constexpr UINT kClassStyle = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
// A module's controls share one procedure; a few slots leave room for programs that link more.
constexpr int kMaxClasses = 8;

struct ClassRecord {
  WNDCLASSEXW description;
  wchar_t name[16];
  ATOM atom;
};

ClassRecord g_records[kMaxClasses] = {};
bool g_cleanup_added = false;

void Unregister(void*) { UnregisterControlWindowClasses(); }

}  // namespace

ATOM RegisterControlWindowClass(WNDPROC procedure, HINSTANCE instance) noexcept {
  Module& module = Module::Current();
  EnterCriticalSection(&module.WindowCreationLock());
  ATOM atom = 0;
  ClassRecord* free_record = nullptr;
  for (ClassRecord& record : g_records) {
    if (record.atom != 0 && record.description.lpfnWndProc == procedure) {
      atom = record.atom;
      break;
    }
    if (record.atom == 0 && free_record == nullptr) free_record = &record;
  }
  if (atom == 0 && free_record != nullptr) {
    ClassRecord& record = *free_record;
    std::swprintf(record.name, sizeof record.name / sizeof record.name[0], L"ATL:%8.8X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(&record.description)));
    record.description = {};
    record.description.cbSize = sizeof record.description;
    record.description.style = kClassStyle;
    record.description.lpfnWndProc = procedure;
    record.description.hInstance = instance;
    record.description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    record.description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    record.description.lpszClassName = record.name;
    record.atom = atom = RegisterClassExW(&record.description);
    // Test programs terminate and initialise the module again; the clean-up is added each time
    // the list was run.
    if (atom != 0 && !g_cleanup_added) g_cleanup_added = module.AddCleanup(&Unregister, nullptr);
  }
  LeaveCriticalSection(&module.WindowCreationLock());
  return atom;
}

void UnregisterControlWindowClasses() noexcept {
  Module& module = Module::Current();
  EnterCriticalSection(&module.WindowCreationLock());
  for (ClassRecord& record : g_records) {
    if (record.atom != 0) {
      UnregisterClassW(MAKEINTATOM(record.atom), record.description.hInstance);
      record.atom = 0;
    }
  }
  g_cleanup_added = false;
  LeaveCriticalSection(&module.WindowCreationLock());
}

}  // namespace zu
