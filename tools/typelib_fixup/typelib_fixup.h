// typelib_fixup: makes the type library widl wrote hold what its IDL means, where widl 7 falls
// short. It takes two kinds of line from the IDL, both comments to widl:
//
//   //@ order: TypeA TypeB TypeC          the library holds exactly these types, in this order
//   valueName = 1,  //@ helpstring("...")  a help string for an enumeration value
//
// A type that the order leaves out is dropped; where a kept type still refers to it (widl copies
// IUnknown into the library for a coclass that names it), the reference is turned into one to
// the same type, found by GUID, in a library the input imports (stdole2.tlb). Anything that does
// not fit is refused with a message and no output is written.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tools/typelib_fixup/msft_library.h"

namespace zu::typelib {

struct Directives {
  std::vector<std::string> order;
  std::map<std::string, std::string> value_help;  // enumeration value name, help string bytes
};

// Throws Error for a directive it cannot read, naming the line.
Directives ReadDirectives(const std::string& idl);

// The library in a .tlb file, which may also be a DLL with the library as a resource: Wine ships
// stdole2.tlb that way. Throws Error when there is none.
std::vector<uint8_t> LibraryImage(const std::vector<uint8_t>& file);

struct ImportedLibrary {
  std::string file_name;  // as the importing library names it
  Library library;
};

// Throws Error when the order names a type the library lacks (or one twice), when a kept type
// refers to a left-out one that no import holds, or when a help string names no value.
Library Fixup(const Library& input, const Directives& directives,
              const std::vector<ImportedLibrary>& imports);

constexpr int kFixupExitOk = 0;
constexpr int kFixupExitBadInput = 1;
constexpr int kFixupExitUsage = 2;

// typelib_fixup [-L folder]... IDL IN.tlb OUT.tlb; imported libraries are looked for in the
// folders. Problems go to `err` as one line; OUT exists only after success.
int RunTypelibFixup(const std::vector<std::string>& args, std::ostream& err);

}  // namespace zu::typelib
