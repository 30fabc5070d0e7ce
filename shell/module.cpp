#include "shell/module.h"

#include "shell/class_table.h"

namespace zu {

HINSTANCE ThisImage() noexcept {
  HMODULE image = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisImage), &image);
  return image;
}

Module& Module::Current() {
  static Module module;
  return module;
}

Module::Module() {
  InitializeCriticalSection(&class_object_lock_);
  InitializeCriticalSection(&window_creation_lock_);
  InitializeCriticalSection(&cleanup_lock_);
}

Module::~Module() {
  DeleteCriticalSection(&cleanup_lock_);
  DeleteCriticalSection(&window_creation_lock_);
  DeleteCriticalSection(&class_object_lock_);
}

void Module::Initialize(HINSTANCE instance, const GUID& library_id, ClassEntry* classes,
                        std::size_t class_count) {
  instance_ = instance;
  library_id_ = library_id;
  classes_ = classes;
  class_count_ = class_count;
  for (std::size_t i = 0; i < class_count_; ++i) classes_[i].class_object = nullptr;
}

void Module::Terminate() {
  EnterCriticalSection(&class_object_lock_);
  for (std::size_t i = 0; i < class_count_; ++i) {
    if (IUnknown* object = classes_[i].class_object) {
      classes_[i].class_object = nullptr;
      object->Release();
    }
  }
  classes_ = nullptr;
  class_count_ = 0;
  LeaveCriticalSection(&class_object_lock_);

  for (;;) {
    EnterCriticalSection(&cleanup_lock_);
    if (cleanup_count_ == 0) {
      LeaveCriticalSection(&cleanup_lock_);
      break;
    }
    Cleanup cleanup = cleanups_[--cleanup_count_];
    LeaveCriticalSection(&cleanup_lock_);
    cleanup.function(cleanup.context);
  }
}

bool Module::AddCleanup(CleanupFunction function, void* context) {
  EnterCriticalSection(&cleanup_lock_);
  bool added = cleanup_count_ < kMaxCleanups;
  if (added) cleanups_[cleanup_count_++] = Cleanup{function, context};
  LeaveCriticalSection(&cleanup_lock_);
  return added;
}

}  // namespace zu
