#include "tools/typelib_fixup/typelib_fixup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

namespace zu::typelib {
namespace {

constexpr char kMarker[] = "//@";

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The identifier a line of code starts with ("vpySizeZOOM = 1," gives vpySizeZOOM).
std::string LeadingIdentifier(const std::string& code) {
  const std::string text = Trim(code);
  size_t end = 0;
  while (end < text.size() && IsIdentifierChar(text[end])) ++end;
  if (end == 0 || std::isdigit(static_cast<unsigned char>(text[0]))) return "";
  return text.substr(0, end);
}

const char* KindName(TypeKind kind) {
  static const char* const kNames[] = {"enumeration",   "record",  "module", "interface",
                                       "dispinterface", "coclass", "alias",  "union"};
  return kind >= 0 && kind <= kUnion ? kNames[kind] : "unknown kind";
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Rewrites one library into the fixed one; the steps share what they learn about the types.
class Fixer {
 public:
  Fixer(const Library& input, const std::vector<ImportedLibrary>& imports)
      : in_(input), out_(input), imports_(imports), new_offset_(input.types.size(), -1) {}

  Library Run(const Directives& directives) {
    Choose(directives.order);
    MarkTypeDescriptions();
    RebuildTypes();
    CompactTypeDescriptions();
    RetargetGuidsAndNames();
    AddValueHelp(directives.value_help);
    Verify(out_);
    return std::move(out_);
  }

 private:
  void Choose(const std::vector<std::string>& order) {
    if (order.empty())
      throw Error("the IDL names no types for the library: it needs an \"//@ order:\" line");
    for (const std::string& name : order) {
      std::optional<size_t> index = in_.FindType(name);
      if (!index) throw Error("the order names " + name + ", which the library does not hold");
      if (new_offset_[*index] != -1) throw Error("the order names " + name + " twice");
      new_offset_[*index] = static_cast<int32_t>(order_.size()) * kTypeInfoRecordSize;
      order_.push_back(*index);
    }
  }

  std::string TypeName(size_t index) const { return in_.NameAt(in_.types[index].Name()); }

  // Which type descriptions (and array descriptions) the kept types use, and the first user of
  // each for messages.
  void MarkTypeDescriptions() {
    live_user_.assign(in_.SegmentLength(kTypeDescSegment) / kTypeDescSize, "");
    for (size_t index : order_) {
      const TypeInfo& type = in_.types[index];
      const std::string user = TypeName(index);
      if (type.Kind() == kAlias) Mark(type.DataType1(), user);
      for (const Member& m : type.functions) {
        Mark(m.DataType(), user);
        const int32_t parameters = TypeInfo::ParameterCount(m);
        for (int32_t p = 0; p < parameters; ++p)
          Mark(m.record[m.record.size() - 3 * (parameters - p)], user);
      }
      for (const Member& m : type.variables) Mark(m.DataType(), user);
    }
  }

  void Mark(int32_t encoded, const std::string& user) {
    if (!IsTypeDescOffset(encoded) || !live_user_[encoded / kTypeDescSize].empty()) return;
    live_user_[encoded / kTypeDescSize] = user;
    const int32_t vt = in_.Word(kTypeDescSegment, encoded) & 0xffff;
    const int32_t target = in_.Word(kTypeDescSegment, encoded + 4);
    if (vt == kVtPtr || vt == kVtSafeArray) Mark(target, user);
    if (vt == kVtCArray) {
      live_arrays_.insert(target);
      Mark(in_.Word(kArrayDescSegment, target), user);
    }
  }

  // A type reference from kept content, pointed at the type's new place or at an import.
  int32_t MapType(int32_t href, const std::string& user) {
    if (!IsLocalType(href)) return href;
    const size_t index = href / kTypeInfoRecordSize;
    if (new_offset_[index] != -1) return new_offset_[index];
    return Import(index, user);
  }

  int32_t Import(size_t index, const std::string& user) {
    const TypeInfo& type = in_.types[index];
    const std::string name = TypeName(index);
    if (auto known = imported_.find(type.Guid()); known != imported_.end()) return known->second;
    const std::string lead = user + " refers to " + name + ", which the order leaves out";
    if (type.Guid() == -1) throw Error(lead + " and which has no GUID to import it by");
    const auto guid = in_.GuidAt(type.Guid());
    for (int32_t file : in_.ImportFileOffsets()) {
      const std::string file_name = in_.ImportFileName(file);
      for (const ImportedLibrary& imported : imports_) {
        if (Lower(imported.file_name) != Lower(file_name)) continue;
        for (const TypeInfo& other : imported.library.types) {
          if (other.Guid() == -1 || imported.library.GuidAt(other.Guid()) != guid) continue;
          if (imported.library.NameAt(other.Name()) != name || other.Kind() != type.Kind()) {
            throw Error(lead + "; " + file_name + " has its GUID " + GuidText(guid) + " on the " +
                        KindName(other.Kind()) + " " + imported.library.NameAt(other.Name()));
          }
          const int32_t href = AddImport(type.Kind(), file, type.Guid());
          imported_[type.Guid()] = href;
          return href;
        }
      }
    }
    throw Error(lead + " and no imported library holds " + GuidText(guid));
  }

  int32_t AddImport(TypeKind kind, int32_t file, int32_t guid) {
    for (int32_t offset = 0; offset < out_.SegmentLength(kImportInfoSegment);
         offset += kImportInfoSize) {
      if ((out_.Word(kImportInfoSegment, offset) & kImportIsGuid) &&
          out_.Word(kImportInfoSegment, offset + 4) == file &&
          out_.GuidAt(out_.Word(kImportInfoSegment, offset + 8)) == in_.GuidAt(guid)) {
        return offset | 1;
      }
    }
    const int32_t offset = out_.SegmentLength(kImportInfoSegment);
    out_.segments[kImportInfoSegment].resize(offset + kImportInfoSize);
    out_.SetWord(kImportInfoSegment, offset, kind << 24 | kImportIsGuid | out_.ImportInfoCount()++);
    out_.SetWord(kImportInfoSegment, offset + 4, file);
    out_.SetWord(kImportInfoSegment, offset + 8, guid);
    return offset | 1;
  }

  void RebuildTypes() {
    out_.types.clear();
    for (size_t index : order_) {
      TypeInfo type = in_.types[index];
      const std::string name = TypeName(index);
      type.KindAndIndex() = (type.KindAndIndex() & 0xffff) | static_cast<int32_t>(out_.types.size())
                                                                 << 16;
      if ((type.Kind() == kInterface || type.Kind() == kDispatch) && type.ImplementedCount() > 0 &&
          type.DataType1() != -1) {
        type.DataType1() = MapType(type.DataType1(), name);
      }
      if (type.Kind() == kCoclass) {
        int32_t offset = type.DataType1();
        for (int32_t n = 0; n < type.ImplementedCount(); ++n) {
          out_.SetWord(kReferenceSegment, offset,
                       MapType(in_.Word(kReferenceSegment, offset), name));
          offset = in_.Word(kReferenceSegment, offset + 12);
        }
      }
      out_.types.push_back(std::move(type));
    }
    if (IsLocalType(out_.header[19]))
      out_.header[19] = MapType(out_.header[19], "the header's IDispatch");
  }

  // Drops the descriptions only left-out types used, keeping the order of the rest.
  void CompactTypeDescriptions() {
    std::map<int32_t, int32_t> arrays;
    std::vector<uint8_t> array_segment;
    for (int32_t offset : live_arrays_) {
      const int32_t size = 8 + 8 * (in_.Word(kArrayDescSegment, offset + 4) & 0xffff);
      arrays[offset] = static_cast<int32_t>(array_segment.size());
      const auto& bytes = in_.segments[kArrayDescSegment];
      array_segment.insert(array_segment.end(), bytes.begin() + offset,
                           bytes.begin() + offset + size);
    }
    std::map<int32_t, int32_t> descriptions;
    for (size_t i = 0; i < live_user_.size(); ++i) {
      if (!live_user_[i].empty())
        descriptions[static_cast<int32_t>(i) * kTypeDescSize] =
            static_cast<int32_t>(descriptions.size()) * kTypeDescSize;
    }
    auto encoded = [&](int32_t value) {
      return IsTypeDescOffset(value) ? descriptions.at(value) : value;
    };

    out_.segments[kTypeDescSegment].assign(descriptions.size() * kTypeDescSize, 0);
    for (const auto& [from, to] : descriptions) {
      const int32_t kind = in_.Word(kTypeDescSegment, from);
      int32_t target = in_.Word(kTypeDescSegment, from + 4);
      switch (kind & 0xffff) {
        case kVtPtr:
        case kVtSafeArray:
          target = encoded(target);
          break;
        case kVtCArray:
          target = arrays.at(target);
          break;
        case kVtUserDefined:
          target = MapType(target, live_user_[from / kTypeDescSize]);
          break;
        default:
          break;
      }
      out_.SetWord(kTypeDescSegment, to, kind);
      out_.SetWord(kTypeDescSegment, to + 4, target);
    }
    out_.segments[kArrayDescSegment] = std::move(array_segment);
    for (const auto& [from, to] : arrays)
      out_.SetWord(kArrayDescSegment, to, encoded(in_.Word(kArrayDescSegment, from)));

    for (TypeInfo& type : out_.types) {
      if (type.Kind() == kAlias) type.DataType1() = encoded(type.DataType1());
      for (Member& m : type.functions) {
        m.record[1] = encoded(m.record[1]);
        const int32_t parameters = TypeInfo::ParameterCount(m);
        for (int32_t p = 0; p < parameters; ++p) {
          int32_t& parameter = m.record[m.record.size() - 3 * (parameters - p)];
          parameter = encoded(parameter);
        }
      }
      for (Member& m : type.variables) m.record[1] = encoded(m.record[1]);
    }
  }

  // GUID entries and names point at the type they belong to; those of left-out types point at
  // the import that replaced them, or at the first kept type that uses the name, or nowhere.
  void RetargetGuidsAndNames() {
    for (int32_t offset = 0; offset < out_.SegmentLength(kGuidSegment); offset += kGuidEntrySize) {
      const int32_t href = out_.Word(kGuidSegment, offset + 16);
      if (!IsLocalType(href)) continue;
      const int32_t moved = new_offset_[href / kTypeInfoRecordSize];
      const auto imported = imported_.find(offset);
      out_.SetWord(kGuidSegment, offset + 16,
                   moved != -1                   ? moved
                   : imported != imported_.end() ? imported->second
                                                 : -1);
    }
    for (int32_t offset : out_.NameOffsets()) {
      const int32_t href = out_.Word(kNameSegment, offset);
      if (!IsLocalType(href)) continue;
      int32_t moved = new_offset_[href / kTypeInfoRecordSize];
      for (size_t i = 0; moved == -1 && i < out_.types.size(); ++i) {
        if (UsesName(out_.types[i], offset)) moved = static_cast<int32_t>(i) * kTypeInfoRecordSize;
      }
      out_.SetWord(kNameSegment, offset, moved);
      if (moved == -1) out_.segments[kNameSegment][offset + 9] = 0;  // no longer a type's name
    }
  }

  static bool UsesName(const TypeInfo& type, int32_t name) {
    if (type.Name() == name) return true;
    for (const auto* list : {&type.functions, &type.variables}) {
      for (const Member& m : *list) {
        if (m.name == name) return true;
      }
    }
    return false;
  }

  void AddValueHelp(const std::map<std::string, std::string>& value_help) {
    std::set<std::string> used;
    for (TypeInfo& type : out_.types) {
      if (type.Kind() != kEnum) continue;
      for (Member& value : type.variables) {
        const auto help = value_help.find(out_.NameAt(value.name));
        if (help == value_help.end()) continue;
        used.insert(help->first);
        // The optional words after the five fixed ones: help context, then help string.
        if (value.record.size() < 7) {
          value.record.resize(7, -1);
          value.record[5] = 0;
          value.record[0] = (value.record[0] & ~0xffff) | value.Size();
        }
        value.record[6] = out_.AddString(help->second);
      }
    }
    for (const auto& [name, text] : value_help) {
      if (!used.count(name))
        throw Error("a help string names " + name +
                    ", which is no value of an enumeration the library holds");
    }
  }

  const Library& in_;
  Library out_;
  const std::vector<ImportedLibrary>& imports_;
  std::vector<size_t> order_;            // old indices, in the new order
  std::vector<int32_t> new_offset_;      // by old index; -1 for a left-out type
  std::map<int32_t, int32_t> imported_;  // GUID entry of a left-out type, its import reference
  std::vector<std::string> live_user_;   // by type description; empty when unused
  std::set<int32_t> live_arrays_;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

// Resources lie aligned, and the library starts with its signature and format version.
std::vector<uint8_t> LibraryImage(const std::vector<uint8_t>& file) {
  static const uint8_t kStart[] = {'M', 'S', 'F', 'T', 0x02, 0x00, 0x01, 0x00};
  for (size_t offset = 0; offset + sizeof kStart <= file.size(); offset += 4) {
    if (std::equal(std::begin(kStart), std::end(kStart), file.begin() + offset)) {
      return std::vector<uint8_t>(file.begin() + offset, file.end());
    }
  }
  throw Error("holds no MSFT type library");
}

Directives ReadDirectives(const std::string& idl) {
  Directives directives;
  std::istringstream lines(idl);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    // A directive is a comment that starts with the marker, not one that mentions it.
    const size_t marker = line.find("//");
    if (marker == std::string::npos || line.compare(marker, sizeof kMarker - 1, kMarker) != 0)
      continue;
    const std::string where = "IDL line " + std::to_string(number) + ": ";
    const std::string directive = Trim(line.substr(marker + sizeof kMarker - 1));
    if (directive.rfind("order:", 0) == 0) {
      std::string names = directive.substr(6);
      std::replace(names.begin(), names.end(), ',', ' ');
      std::istringstream words(names);
      for (std::string name; words >> name;) {
        if (LeadingIdentifier(name) != name)
          throw Error(where + "\"" + name + "\" is not a type name");
        directives.order.push_back(name);
      }
    } else if (directive.rfind("helpstring(\"", 0) == 0) {
      // No escapes: in a code page 932 copy a second byte may be a backslash, never a quote.
      const size_t start = sizeof "helpstring(\"" - 1;
      const size_t end = directive.find('"', start);
      if (end == std::string::npos || directive.compare(end, std::string::npos, "\")") != 0) {
        throw Error(where + "a help string must read helpstring(\"text\")");
      }
      const std::string value = LeadingIdentifier(line.substr(0, marker));
      if (value.empty())
        throw Error(where + "a help string needs the enumeration value it belongs to before it");
      if (!directives.value_help.emplace(value, directive.substr(start, end - start)).second) {
        throw Error(where + value + " has a help string already");
      }
    } else {
      throw Error(where + "unknown directive \"" + directive + "\"");
    }
  }
  return directives;
}

Library Fixup(const Library& input, const Directives& directives,
              const std::vector<ImportedLibrary>& imports) {
  return Fixer(input, imports).Run(directives);
}

int RunTypelibFixup(const std::vector<std::string>& args, std::ostream& err) {
  std::vector<std::string> folders, files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-L" && i + 1 < args.size()) {
      folders.push_back(args[++i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 3) {
    err << "usage: typelib_fixup [-L folder]... IDL IN.tlb OUT.tlb\n";
    return kFixupExitUsage;
  }
  const std::string& idl_path = files[0];
  const std::string& in_path = files[1];
  const std::string& out_path = files[2];
  std::error_code ignored;
  std::filesystem::remove(out_path, ignored);  // no stale result survives a refusal
  std::string current = in_path;
  try {
    std::vector<uint8_t> idl, input;
    current = idl_path;
    if (!ReadFile(idl_path, &idl)) throw Error("cannot read the file");
    const Directives directives = ReadDirectives(std::string(idl.begin(), idl.end()));
    current = in_path;
    if (!ReadFile(in_path, &input)) throw Error("cannot read the file");
    const Library library = Parse(input);

    std::vector<ImportedLibrary> imports;
    for (int32_t file : library.ImportFileOffsets()) {
      const std::string name = library.ImportFileName(file);
      bool found = false;
      for (const std::string& folder : folders) {
        std::vector<uint8_t> bytes;
        const std::string path = (std::filesystem::path(folder) / name).string();
        if (!ReadFile(path, &bytes)) continue;
        current = path;
        imports.push_back({name, Parse(LibraryImage(bytes))});
        current = in_path;
        found = true;
        break;
      }
      if (!found) throw Error("imports " + name + ", which no -L folder holds");
    }

    const std::vector<uint8_t> output = Serialize(Fixup(library, directives, imports));
    current = out_path;
    std::ofstream out(out_path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(output.data()),
              static_cast<std::streamsize>(output.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(out_path, ignored);
      throw Error("cannot write the file");
    }
  } catch (const Error& e) {
    err << "typelib_fixup: " << current << ": " << e.what() << "\n";
    return kFixupExitBadInput;
  } catch (const std::exception& e) {
    std::filesystem::remove(out_path, ignored);
    err << "typelib_fixup: " << current << ": failed: " << e.what() << "\n";
    return kFixupExitBadInput;
  }
  return kFixupExitOk;
}

}  // namespace zu::typelib
