// ActivationContext: registration-free creation of the controls. It makes a side-by-side
// activation context from an application manifest file (one that names the controls'
// assemblies, such as ZuControls.manifest) and keeps it active on the calling thread while it
// lives, so that creating a control by class identifier or program identifier, loading its type
// library and reading its misc status all find the controls through the manifests instead of the
// registry. The assemblies are looked for in the manifest file's folder.
//
//   ActivationContext controls(L"C:\\app\\ZuControls.manifest");
//   if (!controls.ok()) ... controls.error() is the system's error code
//   host.Create(CLSID_ZuVideoPlay);  // while `controls` lives, on this thread
//
// A program that carries such a manifest as its own (resource RT_MANIFEST 1, or PROGRAM.exe.manifest
// beside it) needs none of this: its own context is active on every thread from the start.
#pragma once

#include <windows.h>

#include <string>

namespace zu {

class ActivationContext {
 public:
  explicit ActivationContext(const std::wstring& manifest_path);
  ~ActivationContext();
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;

  bool ok() const { return cookie_ != 0; }
  // Why it is not active: the error of CreateActCtx or ActivateActCtx; 0 when it is.
  DWORD error() const { return error_; }

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  DWORD error_ = 0;
};

}  // namespace zu
