#include "host/activation_context.h"

#include <vector>

namespace zu {

ActivationContext::ActivationContext(const std::wstring& manifest_path) {
  // The dependencies are found in the manifest's own folder, wherever the program runs from.
  std::vector<wchar_t> full(MAX_PATH);
  wchar_t* file_part = nullptr;
  DWORD length = GetFullPathNameW(manifest_path.c_str(), static_cast<DWORD>(full.size()),
                                  full.data(), &file_part);
  if (length >= full.size()) {
    full.resize(length + 1);
    length = GetFullPathNameW(manifest_path.c_str(), static_cast<DWORD>(full.size()), full.data(),
                              &file_part);
  }
  if (length == 0 || length >= full.size() || file_part == nullptr) {
    error_ = length == 0 ? GetLastError() : ERROR_BAD_PATHNAME;
    return;
  }
  const std::wstring path(full.data(), length);
  const std::wstring folder(full.data(), static_cast<size_t>(file_part - full.data()));

  ACTCTXW description = {};
  description.cbSize = sizeof description;
  description.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
  description.lpSource = path.c_str();
  description.lpAssemblyDirectory = folder.c_str();
  context_ = CreateActCtxW(&description);
  if (context_ == INVALID_HANDLE_VALUE) {
    error_ = GetLastError();
    return;
  }
  if (!ActivateActCtx(context_, &cookie_)) {
    error_ = GetLastError();
    cookie_ = 0;
  }
}

ActivationContext::~ActivationContext() {
  if (cookie_ != 0) DeactivateActCtx(0, cookie_);
  if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
}

}  // namespace zu
