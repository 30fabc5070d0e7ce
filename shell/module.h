// The state of one in-process server module: its instance handle (also where its resources are
// found), its type library identifier, the lock count that DllCanUnloadNow answers from, the
// ordered class table, and what must be undone when the module unloads.
//
// One Module lives in every image that links the shell (each DLL, each test program); objects
// count themselves on it through Module::Current().
#pragma once

#include <windows.h>

#include <cstddef>

namespace zu {

struct ClassEntry;

// The image that holds the calling code, and with it its resources: the DLL, or a test program
// that links the framework and a control directly.
HINSTANCE ThisImage() noexcept;

class Module {
 public:
  using CleanupFunction = void (*)(void* context);

  // The module of this image.
  static Module& Current();

  // DllMain's process attach. `classes` stays owned by the caller and must outlive the module.
  void Initialize(HINSTANCE instance, const GUID& library_id, ClassEntry* classes,
                  std::size_t class_count);
  // DllMain's process detach: releases the cached class objects, forgets the class table and
  // runs the clean-up list, newest first. The module can be initialised again (tests do).
  void Terminate();

  HINSTANCE Instance() const { return instance_; }
  // Where resources (scripts, strings, type library) are looked up.
  HINSTANCE ResourceInstance() const { return instance_; }
  const GUID& LibraryId() const { return library_id_; }
  ClassEntry* Classes() const { return classes_; }
  std::size_t ClassCount() const { return class_count_; }

  // The lock count: live objects, LockServer(TRUE) calls, class objects held by clients.
  LONG Lock() { return InterlockedIncrement(&lock_count_); }
  LONG Unlock() { return InterlockedDecrement(&lock_count_); }
  LONG LockCount() const { return InterlockedCompareExchange(const_cast<LONG*>(&lock_count_), 0, 0); }

  // Guards the creation of cached class objects.
  CRITICAL_SECTION& ClassObjectLock() { return class_object_lock_; }
  // Guards the records that tie a window being created to its object (dialogs, control windows).
  CRITICAL_SECTION& WindowCreationLock() { return window_creation_lock_; }

  // Runs `function(context)` at Terminate. False when there is no room (the caller should then
  // not rely on it). Safe from any thread.
  bool AddCleanup(CleanupFunction function, void* context);

  // The class-table walks behind the exported entry points (class_table.cpp).
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
  HRESULT CanUnloadNow() const { return LockCount() == 0 ? S_OK : S_FALSE; }

  Module();
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

 private:
  static constexpr std::size_t kMaxCleanups = 16;
  struct Cleanup {
    CleanupFunction function;
    void* context;
  };

  HINSTANCE instance_ = nullptr;
  GUID library_id_ = {};
  ClassEntry* classes_ = nullptr;
  std::size_t class_count_ = 0;
  LONG lock_count_ = 0;
  CRITICAL_SECTION class_object_lock_;
  CRITICAL_SECTION window_creation_lock_;
  CRITICAL_SECTION cleanup_lock_;
  // A fixed array: registering a clean-up must not allocate, and there are only a few.
  Cleanup cleanups_[kMaxCleanups] = {};
  std::size_t cleanup_count_ = 0;
};

}  // namespace zu
