// The host's guide (docs/host-guide.md) against what the release ships, so the two cannot drift
// apart. Its tables are read as Markdown, keyed by their first header cell:
//
//   "Type library entry"       every library and type of both type libraries, with its GUID
//   "<Interface> property"     DISPID, type, accessors and default of every property
//   "<Interface> method"       DISPID, parameters and result of every method
//   "<Events> event"           DISPID and parameters of every event
//   "<Enumeration> value"      every value of an enumeration
//   "ZuVCap.dll message"       the English text of each message box string
//
// The type libraries are the .tlb files beside the DLLs (LoadTypeLibEx, nothing registered), the
// defaults are read from controls made by the DLLs' own class objects, and the messages from the
// capture DLL's string table. The sample page names the controls by class identifier; those are
// checked too. Each kind of drift is shown to be reported by putting one into the guide's text.
#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/text.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The text between the first pair of backticks, or the whole cell when it has none.
std::string Code(const std::string& cell) {
  const size_t open = cell.find('`');
  const size_t close = open == std::string::npos ? open : cell.find('`', open + 1);
  if (close == std::string::npos) return Trim(cell);
  return cell.substr(open + 1, close - open - 1);
}

std::string Joined(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
  return out;
}

// ---------------------------------------------------------------- Markdown tables

struct Table {
  int line = 0;  // of the header, from 1
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string body = Trim(line);
  if (body.size() < 2 || body.front() != '|' || body.back() != '|') return cells;
  body = body.substr(1, body.size() - 2);
  size_t start = 0;
  for (size_t bar; (bar = body.find('|', start)) != std::string::npos; start = bar + 1) {
    cells.push_back(Trim(body.substr(start, bar - start)));
  }
  cells.push_back(Trim(body.substr(start)));
  return cells;
}

// Every table: a row of cells, a separator row of dashes, then rows until a line that is none.
std::vector<Table> ReadTables(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<Table> tables;
  bool in_code = false;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (Trim(lines[i]).rfind("```", 0) == 0) in_code = !in_code;
    if (in_code) continue;
    const std::vector<std::string> header = Cells(lines[i]);
    const std::vector<std::string> separator = Cells(lines[i + 1]);
    if (header.empty() || separator.size() != header.size() ||
        separator[0].find("---") == std::string::npos) {
      continue;
    }
    Table table;
    table.line = static_cast<int>(i + 1);
    for (const std::string& cell : header) table.header.push_back(cell);
    for (i += 2; i < lines.size(); ++i) {
      std::vector<std::string> cells = Cells(lines[i]);
      if (cells.empty()) break;
      table.rows.push_back(std::move(cells));
    }
    tables.push_back(std::move(table));
  }
  return tables;
}

// ---------------------------------------------------------------- what the libraries say

struct Member {
  DISPID id = 0;
  std::set<std::string> accessors;  // properties: "get", "put", "putref"; methods: "method"
  std::string type;                 // a property's type; a method's result, "" for none
  std::vector<std::string> parameters;  // "TYPE NAME", the result left out
};

struct Interface {
  std::map<std::string, Member> members;
};

struct LibraryFacts {
  std::map<std::string, GUID> guids;  // the library's own name, and every type's
  std::map<std::string, Interface> interfaces;
  std::map<std::string, std::map<std::string, LONG>> enumerations;
};

std::string Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  BSTR name = nullptr;
  if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return "?";
  const std::string text = Utf8(name ? name : L"");
  SysFreeString(name);
  return text;
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR: return TypeText(info, *type.lptdesc) + "*";
    case VT_USERDEFINED: {
      ComPtr<ITypeInfo> referred;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, &referred))) return "?";
      return Name(referred.Get());
    }
    case VT_I2: return "short";
    case VT_I4: return "long";
    case VT_UI4: return "unsigned long";
    case VT_INT: return "int";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_BSTR: return "BSTR";
    case VT_VARIANT: return "VARIANT";
    case VT_DISPATCH: return "IDispatch*";
    case VT_UNKNOWN: return "IUnknown*";
    case VT_HRESULT: return "HRESULT";
    case VT_VOID: return "void";
    default: return "VT " + std::to_string(type.vt);
  }
}

std::string WithoutPointer(std::string type) {
  if (!type.empty() && type.back() == '*') type.pop_back();
  return type;
}

Interface ReadInterface(ITypeInfo* info, const TYPEATTR& attributes) {
  Interface out;
  for (UINT f = 0; f < attributes.cFuncs; ++f) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(f, &function))) continue;
    BSTR names[32] = {};
    UINT count = 0;
    info->GetNames(function->memid, names, 32, &count);
    const std::string name = Utf8(names[0] ? names[0] : L"");
    Member& member = out.members[name];
    member.id = function->memid;
    std::vector<std::string> parameters;
    std::string result;
    for (SHORT p = 0; p < function->cParams; ++p) {
      const ELEMDESC& element = function->lprgelemdescParam[p];
      const std::string type = TypeText(info, element.tdesc);
      if (element.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
        result = WithoutPointer(type);
      } else {
        const UINT index = static_cast<UINT>(p) + 1;
        parameters.push_back(index < count && names[index] ? type + " " + Utf8(names[index]) : type);
      }
    }
    switch (function->invkind) {
      case INVOKE_PROPERTYGET:
        member.accessors.insert("get");
        member.type = result;
        break;
      case INVOKE_PROPERTYPUT:
        member.accessors.insert("put");
        break;
      case INVOKE_PROPERTYPUTREF:
        member.accessors.insert("putref");
        break;
      default:
        member.accessors.insert("method");
        member.type = result;
        member.parameters = parameters;
        break;
    }
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(function);
  }
  return out;
}

void ReadLibrary(ITypeLib* library, LibraryFacts* facts) {
  TLIBATTR* library_attributes = nullptr;
  library->GetLibAttr(&library_attributes);
  BSTR library_name = nullptr;
  library->GetDocumentation(-1, &library_name, nullptr, nullptr, nullptr);
  facts->guids[Utf8(library_name)] = library_attributes->guid;
  SysFreeString(library_name);
  library->ReleaseTLibAttr(library_attributes);

  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    ComPtr<ITypeInfo> info;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    const std::string name = Name(info.Get());
    facts->guids[name] = attributes->guid;
    if (attributes->typekind == TKIND_ENUM) {
      for (UINT v = 0; v < attributes->cVars; ++v) {
        VARDESC* value = nullptr;
        if (FAILED(info->GetVarDesc(v, &value))) continue;
        VARIANT number;
        VariantInit(&number);
        VariantChangeType(&number, value->lpvarValue, 0, VT_I4);
        facts->enumerations[name][Name(info.Get(), value->memid)] = V_I4(&number);
        info->ReleaseVarDesc(value);
      }
    } else if (attributes->typekind == TKIND_DISPATCH &&
               (attributes->wTypeFlags & TYPEFLAG_FDUAL)) {
      // A dual interface: its own members, as the vtable side lists them.
      HREFTYPE vtable = 0;
      ComPtr<ITypeInfo> side;
      TYPEATTR* side_attributes = nullptr;
      if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &vtable)) &&
          SUCCEEDED(info->GetRefTypeInfo(vtable, &side)) &&
          SUCCEEDED(side->GetTypeAttr(&side_attributes))) {
        facts->interfaces[name] = ReadInterface(side.Get(), *side_attributes);
        side->ReleaseTypeAttr(side_attributes);
      }
    } else if (attributes->typekind == TKIND_DISPATCH || attributes->typekind == TKIND_INTERFACE) {
      facts->interfaces[name] = ReadInterface(info.Get(), *attributes);
    }
    info->ReleaseTypeAttr(attributes);
  }
}

std::string GuidText(const GUID& guid) {
  if (guid == GUID_NULL) return "none";
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return Utf8(text);
}

// ---------------------------------------------------------------- the guide against them

// What the tables are compared with; the defaults come from a function that reads a property of
// a new control by interface name and DISPID.
struct Shipped {
  LibraryFacts facts;
  std::function<bool(const std::string& interface_name, DISPID id, VARIANT* value)> read_default;
  std::map<UINT, std::string> messages;  // the capture DLL's English strings
};

// What a default cell says, as a value to compare: an enumeration value's name, a number
// (decimal or 0x...), "true", "false" or "none" (no object).
bool DefaultMatches(const std::string& cell, const VARIANT& value, const LibraryFacts& facts,
                    std::string* expected) {
  const std::string text = Code(cell);
  *expected = text;
  if (text == "none") return V_VT(&value) == VT_DISPATCH && V_DISPATCH(&value) == nullptr;
  if (text == "true" || text == "false") {
    return V_VT(&value) == VT_BOOL && (V_BOOL(&value) != 0) == (text == "true");
  }
  long long number = 0;
  bool known = false;
  for (const auto& [enumeration, values] : facts.enumerations) {
    const auto found = values.find(text);
    if (found != values.end()) number = found->second, known = true;
  }
  if (!known) {
    char* end = nullptr;
    number = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0') return false;
  }
  VARIANT as_number;
  VariantInit(&as_number);
  if (FAILED(VariantChangeType(&as_number, const_cast<VARIANT*>(&value), 0, VT_I8))) return false;
  // OLE_COLOR comes as an unsigned 32-bit value; the guide writes it as such.
  const long long got = V_VT(&value) == VT_UI4 ? static_cast<long long>(V_UI4(&value)) : V_I8(&as_number);
  return got == number;
}

std::vector<std::string> Words(const std::string& cell) {
  std::vector<std::string> words;
  std::string word;
  for (char c : cell + ",") {
    if (c == ',') {
      if (!Trim(word).empty()) words.push_back(Trim(word));
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

// Parameters as a cell lists them: "none", or `TYPE NAME` items separated by commas.
std::vector<std::string> ParameterCell(const std::string& cell) {
  std::vector<std::string> parameters;
  if (Trim(cell) == "none") return parameters;
  for (const std::string& item : Words(cell)) parameters.push_back(Code(item));
  return parameters;
}

std::vector<std::string> CheckGuide(const std::string& guide, const Shipped& shipped) {
  std::vector<std::string> problems;
  auto problem = [&](const Table& table, const std::string& what) {
    problems.push_back("line " + std::to_string(table.line) + ": " + what);
  };
  const LibraryFacts& facts = shipped.facts;
  std::map<std::string, std::set<std::string>> listed;  // interface: members the guide lists
  std::set<std::string> identifiers, enumerations_listed;
  bool messages_seen = false;

  for (const Table& table : ReadTables(guide)) {
    // "`Name` kind": the name in backticks, then what its rows are.
    const std::string first = Code(table.header[0]);
    const size_t tick = table.header[0].find_last_of('`');
    const std::string kind =
        tick == std::string::npos ? "" : Trim(table.header[0].substr(tick + 1));
    if (table.header[0] == "Type library entry") {
      for (const auto& row : table.rows) {
        const std::string name = Code(row[0]);
        identifiers.insert(name);
        const auto found = facts.guids.find(name);
        if (found == facts.guids.end()) {
          problem(table, name + " is in no type library");
        } else if (Code(row[2]) != GuidText(found->second)) {
          problem(table, name + ": GUID " + Code(row[2]) + ", the library says " +
                             GuidText(found->second));
        }
      }
      continue;
    }
    if (first == "ZuVCap.dll" && kind == "message") {
      messages_seen = true;
      for (const auto& row : table.rows) {
        const UINT id = static_cast<UINT>(std::strtoul(row[0].c_str(), nullptr, 10));
        const auto found = shipped.messages.find(id);
        if (found == shipped.messages.end()) {
          problem(table, "message " + row[0] + " is not in ZuVCap.dll");
        } else if (Trim(row[1]) != found->second) {
          problem(table, "message " + row[0] + ": \"" + Trim(row[1]) + "\", the DLL says \"" +
                             found->second + "\"");
        }
      }
      continue;
    }
    if (kind == "value") {
      const auto enumeration = facts.enumerations.find(first);
      if (enumeration == facts.enumerations.end()) {
        problem(table, first + " is no enumeration of the type libraries");
        continue;
      }
      enumerations_listed.insert(first);
      std::set<std::string> names;
      for (const auto& row : table.rows) {
        const std::string name = Code(row[0]);
        names.insert(name);
        const auto value = enumeration->second.find(name);
        if (value == enumeration->second.end()) {
          problem(table, first + " has no value " + name);
        } else if (Trim(row[1]) != std::to_string(value->second)) {
          problem(table, first + "." + name + ": " + Trim(row[1]) + ", the library says " +
                             std::to_string(value->second));
        }
      }
      for (const auto& [name, value] : enumeration->second) {
        if (!names.count(name)) problem(table, first + "." + name + " is missing from the guide");
      }
      continue;
    }
    if (kind != "property" && kind != "method" && kind != "event") continue;
    const auto described = facts.interfaces.find(first);
    if (described == facts.interfaces.end()) {
      problem(table, first + " is no interface of the type libraries");
      continue;
    }
    for (const auto& row : table.rows) {
      const std::string name = Code(row[0]);
      const std::string what = first + "." + name;
      listed[first].insert(name);
      const auto found = described->second.members.find(name);
      if (found == described->second.members.end()) {
        problem(table, what + " is not in the type library");
        continue;
      }
      const Member& member = found->second;
      if (Trim(row[1]) != std::to_string(member.id)) {
        problem(table, what + ": DISPID " + Trim(row[1]) + ", the library says " +
                           std::to_string(member.id));
      }
      const bool is_property = !member.accessors.count("method");
      if ((kind == "property") != is_property) {
        problem(table, what + " is listed as a " + kind + " but is " +
                           (is_property ? "a property" : "a method"));
        continue;
      }
      if (kind == "property") {
        if (Code(row[2]) != member.type) {
          problem(table, what + ": type " + Code(row[2]) + ", the library says " + member.type);
        }
        std::vector<std::string> accessors;
        for (const char* accessor : {"get", "put", "putref"}) {
          if (member.accessors.count(accessor)) accessors.push_back(accessor);
        }
        if (Words(row[3]) != accessors) {
          problem(table, what + ": accessors " + row[3] + ", the library has " + Joined(accessors));
        }
        VARIANT value;
        VariantInit(&value);
        std::string expected;
        if (!shipped.read_default(first, member.id, &value)) {
          problem(table, what + ": a new control does not answer its getter");
        } else if (!DefaultMatches(row[4], value, facts, &expected)) {
          VARIANT text;
          VariantInit(&text);
          VariantChangeType(&text, &value, 0, VT_BSTR);
          problem(table, what + ": default " + expected + ", a new control says " +
                             (V_VT(&text) == VT_BSTR ? Utf8(V_BSTR(&text)) : "(no value)"));
          VariantClear(&text);
        }
        VariantClear(&value);
      } else {
        const std::vector<std::string> parameters = ParameterCell(row[2]);
        if (parameters != member.parameters) {
          problem(table, what + ": parameters " + Joined(parameters) + ", the library says " +
                             (member.parameters.empty() ? "none" : Joined(member.parameters)));
        }
        if (kind == "method") {
          const std::string result = Trim(row[3]) == "nothing" ? "" : Code(row[3]);
          if (result != member.type) {
            problem(table, what + ": returns " + (result.empty() ? "nothing" : result) +
                               ", the library says " + (member.type.empty() ? "nothing" : member.type));
          }
        }
      }
    }
  }
  // Everything the libraries hold is in the guide.
  for (const auto& [name, guid] : facts.guids) {
    if (!identifiers.count(name)) problems.push_back(name + " is missing from the identifiers");
  }
  for (const auto& [name, described] : facts.interfaces) {
    for (const auto& [member, facts_of_member] : described.members) {
      if (!listed[name].count(member)) problems.push_back(name + "." + member + " is missing from the guide");
    }
  }
  for (const auto& [name, values] : facts.enumerations) {
    if (!enumerations_listed.count(name)) problems.push_back(name + " has no table of values");
  }
  if (!messages_seen) problems.push_back("no table of ZuVCap.dll messages");
  return problems;
}

// ---------------------------------------------------------------- the shipped files

std::string ReleaseBin() { return ZU_RELEASE_BIN; }

// The English strings of a module, as the message boxes of an English system show them.
std::map<UINT, std::string> EnglishStrings(HMODULE module, std::initializer_list<UINT> ids) {
  std::map<UINT, std::string> strings;
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  for (UINT id : ids) {
    HRSRC block = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), english);
    const auto* entry = block ? static_cast<const WCHAR*>(LockResource(LoadResource(module, block))) : nullptr;
    if (entry == nullptr) continue;
    for (UINT skip = id % 16; skip > 0; --skip) entry += 1 + *entry;
    strings[id] = Utf8(std::wstring(entry + 1, *entry));
  }
  return strings;
}

// A control made by its DLL's own class object, and its dual interface's type information.
struct MadeControl {
  ComPtr<IUnknown> object;
  ComPtr<ITypeInfo> vtable;
  GUID dual = GUID_NULL;
};

class HostGuide : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    shipped_ = new Shipped;
    for (const char* file : {"ZuVCap", "ZuVPlay"}) {
      ComPtr<ITypeLib> library;
      const std::wstring tlb = Wide(ReleaseBin() + "/" + file + ".tlb");
      if (FAILED(LoadTypeLibEx(tlb.c_str(), REGKIND_NONE, &library))) continue;
      ReadLibrary(library.Get(), &shipped_->facts);
      libraries_[file] = library;
      HMODULE module = LoadLibraryW(Wide(ReleaseBin() + "/" + file + ".dll").c_str());
      modules_.push_back(module);
      if (std::string(file) == "ZuVCap") {
        shipped_->messages = EnglishStrings(module, {106, 107, 108, 109, 110});
      }
      MakeControl(library.Get(), module);
    }
    shipped_->read_default = [](const std::string& name, DISPID id, VARIANT* value) {
      const auto found = controls_.find(name);
      if (found == controls_.end()) return false;
      ComPtr<IUnknown> dual;
      if (FAILED(found->second.object->QueryInterface(found->second.dual, &dual))) return false;
      DISPPARAMS none = {nullptr, nullptr, 0, 0};
      return SUCCEEDED(found->second.vtable->Invoke(dual.Get(), id, DISPATCH_PROPERTYGET, &none,
                                                    value, nullptr, nullptr));
    };
  }
  static void TearDownTestSuite() {
    controls_.clear();
    libraries_.clear();
    delete shipped_;
    shipped_ = nullptr;
    CoFreeUnusedLibraries();
    OleUninitialize();
  }

  // The library's creatable class, made through DllGetClassObject of `module`.
  static void MakeControl(ITypeLib* library, HMODULE module) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get_class_object = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    for (UINT i = 0; get_class_object && i < library->GetTypeInfoCount(); ++i) {
      ComPtr<ITypeInfo> info;
      TYPEATTR* attributes = nullptr;
      if (FAILED(library->GetTypeInfo(i, &info)) || FAILED(info->GetTypeAttr(&attributes))) continue;
      const bool control = attributes->typekind == TKIND_COCLASS &&
                           (attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
      const GUID clsid = attributes->guid;
      info->ReleaseTypeAttr(attributes);
      if (!control) continue;
      // Its default interface, the dual one, by its vtable side.
      HREFTYPE reference = 0;
      ComPtr<ITypeInfo> dispatch, vtable;
      TYPEATTR* dual = nullptr;
      if (FAILED(info->GetRefTypeOfImplType(0, &reference)) ||
          FAILED(info->GetRefTypeInfo(reference, &dispatch))) {
        continue;
      }
      if (FAILED(dispatch->GetRefTypeOfImplType(-1, &reference)) ||
          FAILED(dispatch->GetRefTypeInfo(reference, &vtable))) {
        vtable = dispatch;  // the library gave the vtable side itself
      }
      if (FAILED(vtable->GetTypeAttr(&dual))) continue;
      MadeControl made;
      made.dual = dual->guid;
      made.vtable = vtable;
      vtable->ReleaseTypeAttr(dual);
      ComPtr<IClassFactory> factory;
      if (SUCCEEDED(get_class_object(clsid, IID_PPV_ARGS(&factory))) &&
          SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&made.object)))) {
        controls_[Name(dispatch.Get())] = made;
      }
    }
  }

  static std::string Guide() { return ReadText(ZU_HOST_GUIDE); }

  static Shipped* shipped_;
  static std::map<std::string, ComPtr<ITypeLib>> libraries_;
  static std::map<std::string, MadeControl> controls_;
  static std::vector<HMODULE> modules_;
};

Shipped* HostGuide::shipped_ = nullptr;
std::map<std::string, ComPtr<ITypeLib>> HostGuide::libraries_;
std::map<std::string, MadeControl> HostGuide::controls_;
std::vector<HMODULE> HostGuide::modules_;

TEST_F(HostGuide, ReadsBothLibrariesBothControlsAndTheMessages) {
  ASSERT_EQ(libraries_.size(), 2u) << "the .tlb files in " << ReleaseBin();
  EXPECT_EQ(controls_.size(), 2u) << "controls made by the DLLs' class objects";
  EXPECT_EQ(shipped_->messages.size(), 5u);
  EXPECT_EQ(shipped_->facts.interfaces.count("IZuVideoCapCtl"), 1u);
  EXPECT_EQ(shipped_->facts.interfaces.count("_IZuVideoPlayCtlEvents"), 1u);
  EXPECT_EQ(shipped_->facts.enumerations.size(), 4u);
}

TEST_F(HostGuide, TablesSayWhatTheTypeLibrariesAndTheControlsDo) {
  const std::string guide = Guide();
  ASSERT_FALSE(guide.empty()) << ZU_HOST_GUIDE;
  const std::vector<std::string> problems = CheckGuide(guide, *shipped_);
  EXPECT_TRUE(problems.empty()) << Joined(problems, "\n");
}

// Each kind of drift, put into the guide's text, is reported.
TEST_F(HostGuide, EveryKindOfDriftIsReported) {
  struct Drift {
    const char* what;
    std::string from, to;
    std::string reported;
  };
  const std::vector<Drift> drifts = {
      {"a DISPID", "| `CaptureWidth` | 6 |", "| `CaptureWidth` | 7 |", "CaptureWidth: DISPID 7"},
      {"a type", "| `CaptureHeight` | 7 | `long` |", "| `CaptureHeight` | 7 | `short` |",
       "CaptureHeight: type short"},
      {"accessors", "| `Picture` | -523 | `IPictureDisp*` | get, put, putref | `none` | background picture",
       "| `Picture` | -523 | `IPictureDisp*` | get, put | `none` | background picture",
       "IZuVideoPlayCtl.Picture: accessors"},
      {"a default", "| get, put | `3000` |", "| get, put | `300` |",
       "CaptureElapse: default 300, a new control says 3000"},
      {"an enumerated default", "`vpySizeCLIP` (0) |", "`vpySizeZOOM` (1) |", "SizeMode: default vpySizeZOOM"},
      {"a row taken away", "| `Stop` | 5 | none | nothing | stops grabbing |\n", "",
       "IZuVideoCapCtl.Stop is missing from the guide"},
      {"a member that is not there", "| `AboutBox` | -552 | none | nothing | the about box |\n\nEvery",
       "| `AboutBox` | -552 | none | nothing | the about box |\n| `Pause` | 18 | none | nothing | x |\n\nEvery",
       "IZuVideoCapCtl.Pause is not in the type library"},
      {"a parameter", "`BSTR* pbstrFrameData`, `long nFrameData`", "`BSTR* pbstrFrameData`, `short nFrameData`",
       "RefreshFrame: parameters BSTR* pbstrFrameData, short nFrameData"},
      {"a result", "| `VARIANT_BOOL`: 1 when the frame was taken, 0 when not | drops",
       "| nothing | drops", "RefreshFrame: returns nothing"},
      {"an event's parameters", "`VARIANT vCapData`, `long nCapData`", "`VARIANT vCapData`",
       "CaptureEx: parameters VARIANT vCapData, the library says"},
      {"an enumeration value", "| `vcpBit32` | 5 |", "| `vcpBit32` | 6 |", "VcpBitCount.vcpBit32: 6"},
      {"a GUID", "`{34B09BB9-98FB-4146-8FB0-31D03EEDB4D3}`", "`{34B09BB9-98FB-4146-8FB0-31D03EEDB4D4}`",
       "ZuVideoCapture: GUID"},
      {"a message", "| 109 | It failed in theconnection of CaptureDriver. |",
       "| 109 | It failed in the connection of CaptureDriver. |", "message 109"},
  };
  const std::string guide = Guide();
  for (const Drift& drift : drifts) {
    SCOPED_TRACE(drift.what);
    const size_t at = guide.find(drift.from);
    ASSERT_NE(at, std::string::npos) << "the guide no longer holds: " << drift.from;
    std::string changed = guide;
    changed.replace(at, drift.from.size(), drift.to);
    const std::vector<std::string> problems = CheckGuide(changed, *shipped_);
    const bool reported = std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
      return p.find(drift.reported) != std::string::npos;
    });
    EXPECT_TRUE(reported) << "wanted \"" << drift.reported << "\" among:\n" << Joined(problems, "\n");
  }
}

// The page of script names exactly the two controls' classes, by the identifiers of the libraries.
TEST_F(HostGuide, TheSamplePageNamesTheControlsClasses) {
  const std::string page = ReadText(ZU_SAMPLE_PAGE);
  ASSERT_FALSE(page.empty()) << ZU_SAMPLE_PAGE;
  std::set<std::string> named, expected;
  for (size_t at = page.find("clsid:"); at != std::string::npos; at = page.find("clsid:", at + 1)) {
    named.insert("{" + page.substr(at + 6, 36) + "}");
  }
  for (const char* control : {"ZuVideoCapture", "ZuVideoPlay"}) {
    expected.insert(GuidText(shipped_->facts.guids.at(control)));
  }
  EXPECT_EQ(named, expected);
}

}  // namespace
}  // namespace zu::test
