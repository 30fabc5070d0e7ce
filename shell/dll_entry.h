// The entry points of a control DLL: DllMain and the four exports (named and numbered by the
// DLL's .def file), driven by the library's class table. Each DLL defines ThisLibrary(); the
// framework's dll_entry.cpp does the rest.
#pragma once

#include <windows.h>

#include <cstddef>

#include "shell/class_table.h"

namespace zu {

struct LibraryDefinition {
  const GUID* library_id;  // the type library's identifier
  ClassEntry* classes;     // in registration order; lives as long as the module
  std::size_t class_count;
};

// The library this image is: defined once per DLL, beside its class table.
LibraryDefinition ThisLibrary();

}  // namespace zu
