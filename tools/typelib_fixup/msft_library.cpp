#include "tools/typelib_fixup/msft_library.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

namespace zu::typelib {
namespace {

constexpr int32_t kHeaderSize = 21 * 4;
constexpr int32_t kHelpStringDllFlag = 0x100;
constexpr int32_t kDirectoryEntrySize = 16;
constexpr int32_t kMinFunctionRecord = 0x18;
constexpr int32_t kMinVariableRecord = 0x14;
constexpr int32_t kParameterSize = 12;

// The order widl lays the segments out in, after the segment directory.
constexpr Segment kFileOrder[] = {kTypeInfoSegment,       kGuidHashSegment,   kGuidSegment,
                                  kReferenceSegment,      kImportInfoSegment, kImportFileSegment,
                                  kNameHashSegment,       kNameSegment,       kStringSegment,
                                  kTypeDescSegment,       kArrayDescSegment,  kCustomDataSegment,
                                  kCustomDataGuidSegment, kUnknownSegment1,   kUnknownSegment2};

std::string Hex(int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, value < 0 ? "%lld" : "%#llx", static_cast<long long>(value));
  return text;
}

int32_t LoadWord(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

void StoreWord(uint8_t* p, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  p[0] = v & 0xff;
  p[1] = (v >> 8) & 0xff;
  p[2] = (v >> 16) & 0xff;
  p[3] = v >> 24;
}

void AppendWord(std::vector<uint8_t>& out, int32_t value) {
  out.resize(out.size() + 4);
  StoreWord(out.data() + out.size() - 4, value);
}

// Reads words of the file, refusing any that lie past its end.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& file) : file_(file) {}
  int64_t Size() const { return static_cast<int64_t>(file_.size()); }
  void Need(int64_t offset, int64_t length, const std::string& what) const {
    if (offset < 0 || length < 0 || offset + length > Size()) {
      throw Error(what + " (" + Hex(length) + " bytes at " + Hex(offset) +
                  ") lies outside the file of " + Hex(Size()) + " bytes");
    }
  }
  int32_t Word(int64_t offset, const std::string& what) const {
    Need(offset, 4, what);
    return LoadWord(file_.data() + offset);
  }

 private:
  const std::vector<uint8_t>& file_;
};

// The block of member records a type points at: its size, the records, then the ids, names
// and record offsets of all members, functions first.
void ReadMembers(const Reader& reader, const std::vector<uint8_t>& file, int index,
                 TypeInfo& type) {
  const int32_t functions = type.base[6] & 0xffff;
  const int32_t variables = (type.base[6] >> 16) & 0xffff;
  const int32_t count = functions + variables;
  if (count == 0) return;
  const std::string what = "the members of type " + std::to_string(index);
  const int64_t start = type.MemberOffset();
  const int32_t size = reader.Word(start, what);
  if (size < 0 || size % 4 != 0) throw Error(what + " claim " + Hex(size) + " bytes of records");
  const int64_t records = start + 4;
  const int64_t tables = records + size;
  reader.Need(start, 4 + int64_t{size} + int64_t{count} * 12, what);
  for (int32_t i = 0; i < count; ++i) {
    Member member;
    member.id = reader.Word(tables + 4 * i, what);
    member.name = reader.Word(tables + 4 * (count + i), what);
    const int32_t offset = reader.Word(tables + 4 * (2 * count + i), what);
    const bool is_function = i < functions;
    const std::string which = what + ", record " + std::to_string(i);
    if (offset < 0 || offset % 4 != 0 || offset + 4 > size) {
      throw Error(which + " starts at " + Hex(offset) + ", outside its " + Hex(size) + " bytes");
    }
    const int32_t length = reader.Word(records + offset, which) & 0xffff;
    const int32_t minimum = is_function ? kMinFunctionRecord : kMinVariableRecord;
    if (length < minimum || length % 4 != 0 || offset + length > size) {
      throw Error(which + " has a length of " + Hex(length));
    }
    member.record.resize(length / 4);
    for (int32_t w = 0; w < length / 4; ++w) {
      member.record[w] = LoadWord(file.data() + records + offset + 4 * w);
    }
    if (is_function &&
        kMinFunctionRecord + TypeInfo::ParameterCount(member) * kParameterSize > length) {
      throw Error(which + " has more parameters than its record holds");
    }
    (is_function ? type.functions : type.variables).push_back(std::move(member));
  }
}

std::vector<uint8_t> EncodeString(const std::string& text) {
  // A 16-bit length, the bytes, filler to a multiple of 4 and to at least 8 bytes, as widl
  // writes them and oleaut32 steps through them.
  std::vector<uint8_t> out = {static_cast<uint8_t>(text.size() & 0xff),
                              static_cast<uint8_t>(text.size() >> 8)};
  out.insert(out.end(), text.begin(), text.end());
  while (out.size() % 4 != 0 || out.size() < 8) out.push_back(0x57);
  return out;
}

size_t EncodedStringSize(size_t length) {
  size_t size = (length + 2 + 3) & ~size_t{3};
  return std::max<size_t>(size, 8);
}

}  // namespace

std::string GuidText(const std::array<uint8_t, 16>& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(LoadWord(g.data())), g[4] | g[5] << 8, g[6] | g[7] << 8, g[8],
                g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return text;
}

// ---------------------------------------------------------------- accessors

int32_t Library::Word(Segment segment, int32_t offset) const {
  const auto& bytes = segments[segment];
  if (offset < 0 || static_cast<size_t>(offset) + 4 > bytes.size()) {
    throw Error("segment " + std::to_string(segment) + " has no word at " + Hex(offset));
  }
  return LoadWord(bytes.data() + offset);
}

void Library::SetWord(Segment segment, int32_t offset, int32_t value) {
  Word(segment, offset);  // bounds
  StoreWord(segments[segment].data() + offset, value);
}

std::string Library::NameAt(int32_t offset) const {
  const int32_t length = Word(kNameSegment, offset + 8) & 0xff;
  if (offset + 12 + length > SegmentLength(kNameSegment))
    throw Error("name at " + Hex(offset) + " is cut off");
  const auto& bytes = segments[kNameSegment];
  return std::string(bytes.begin() + offset + 12, bytes.begin() + offset + 12 + length);
}

std::string Library::StringAt(int32_t offset) const {
  const auto& bytes = segments[kStringSegment];
  if (offset < 0 || offset + 2 > SegmentLength(kStringSegment))
    throw Error("no string at " + Hex(offset));
  const int32_t length = bytes[offset] | bytes[offset + 1] << 8;
  if (offset + 2 + length > SegmentLength(kStringSegment))
    throw Error("string at " + Hex(offset) + " is cut off");
  return std::string(bytes.begin() + offset + 2, bytes.begin() + offset + 2 + length);
}

std::array<uint8_t, 16> Library::GuidAt(int32_t offset) const {
  if (offset < 0 || offset % kGuidEntrySize != 0 ||
      offset + kGuidEntrySize > SegmentLength(kGuidSegment)) {
    throw Error("no GUID entry at " + Hex(offset));
  }
  std::array<uint8_t, 16> guid;
  std::copy_n(segments[kGuidSegment].begin() + offset, 16, guid.begin());
  return guid;
}

std::vector<int32_t> Library::NameOffsets() const {
  std::vector<int32_t> offsets;
  const int32_t end = SegmentLength(kNameSegment);
  for (int32_t offset = 0; offset < end;) {
    if (offset + 12 > end) throw Error("the name table ends inside an entry at " + Hex(offset));
    offsets.push_back(offset);
    offset += 12 + (((Word(kNameSegment, offset + 8) & 0xff) + 3) & ~3);
    if (offset > end) throw Error("the name table's last entry runs past its end");
  }
  return offsets;
}

std::vector<int32_t> Library::ImportFileOffsets() const {
  std::vector<int32_t> offsets;
  const auto& bytes = segments[kImportFileSegment];
  const int32_t end = SegmentLength(kImportFileSegment);
  for (int32_t offset = 0; offset < end;) {
    if (offset + 14 > end)
      throw Error("the import file table ends inside an entry at " + Hex(offset));
    offsets.push_back(offset);
    const int32_t length = (bytes[offset + 12] | bytes[offset + 13] << 8) >> 2;
    offset = (offset + 14 + length + 3) & ~3;
    if (offset > end) throw Error("the import file table's last entry runs past its end");
  }
  return offsets;
}

std::string Library::ImportFileName(int32_t offset) const {
  const auto& bytes = segments[kImportFileSegment];
  const int32_t length = (bytes.at(offset + 12) | bytes.at(offset + 13) << 8) >> 2;
  return std::string(bytes.begin() + offset + 14, bytes.begin() + offset + 14 + length);
}

int32_t Library::AddString(const std::string& text) {
  if (text.size() > 0xffff)
    throw Error("a string of " + std::to_string(text.size()) + " bytes is too long");
  auto& bytes = segments[kStringSegment];
  for (size_t offset = 0; offset + 2 <= bytes.size();) {
    const size_t length = bytes[offset] | bytes[offset + 1] << 8;
    if (length == text.size() && offset + 2 + length <= bytes.size() &&
        std::equal(text.begin(), text.end(), bytes.begin() + offset + 2)) {
      return static_cast<int32_t>(offset);
    }
    offset += EncodedStringSize(length);
  }
  const auto offset = static_cast<int32_t>(bytes.size());
  std::vector<uint8_t> encoded = EncodeString(text);
  bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  return offset;
}

std::optional<size_t> Library::FindType(const std::string& name) const {
  for (size_t i = 0; i < types.size(); ++i) {
    if (NameAt(types[i].Name()) == name) return i;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- parse and write

Library Parse(const std::vector<uint8_t>& file) {
  Reader reader(file);
  Library library;
  for (int i = 0; i < 21; ++i) library.header[i] = reader.Word(4 * i, "the header");
  if (library.header[0] != 0x5446534d)
    throw Error("this is not an MSFT type library (no MSFT signature)");
  if (library.header[1] != 0x00010002)
    throw Error("the MSFT format version " + Hex(library.header[1]) + " is unknown");
  int64_t position = kHeaderSize;
  if (library.header[5] & kHelpStringDllFlag) {
    library.help_string_dll = reader.Word(position, "the help string DLL");
    position += 4;
  }
  const int32_t count = library.header[8];
  if (count < 0 || count > 0xffff)
    throw Error("the header claims " + std::to_string(count) + " types");
  reader.Need(position, int64_t{count} * 4 + kSegmentCount * kDirectoryEntrySize,
              "the type table and segment directory");
  for (int32_t i = 0; i < count; ++i) {
    // oleaut32 finds type i at i records into its segment and ignores this table; a table that
    // says otherwise would make the library read differently elsewhere.
    const int32_t offset = reader.Word(position + 4 * i, "the type table");
    if (offset != i * kTypeInfoRecordSize) {
      throw Error("type " + std::to_string(i) + " is listed at " + Hex(offset) +
                  ", not in record order");
    }
  }
  position += int64_t{count} * 4;

  std::vector<std::pair<int64_t, int64_t>> ranges = {
      {0, position + kSegmentCount * kDirectoryEntrySize}};
  std::array<std::pair<int32_t, int32_t>, kSegmentCount> directory;
  for (int s = 0; s < kSegmentCount; ++s) {
    const int32_t offset = reader.Word(position + kDirectoryEntrySize * s, "the segment directory");
    const int32_t length =
        reader.Word(position + kDirectoryEntrySize * s + 4, "the segment directory");
    const std::string what = "segment " + std::to_string(s);
    if (length < 0 || (offset < 0 && (offset != -1 || length != 0))) {
      throw Error(what + " has offset " + Hex(offset) + " and length " + Hex(length));
    }
    if (length > 0) {
      reader.Need(offset, length, what);
      ranges.emplace_back(offset, int64_t{offset} + length);
    }
    directory[s] = {offset, length};
  }
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].first < ranges[i - 1].second)
      throw Error("two segments overlap at " + Hex(ranges[i].first));
  }

  if (directory[kTypeInfoSegment].second != count * kTypeInfoRecordSize) {
    throw Error("the type segment holds " + Hex(directory[kTypeInfoSegment].second) +
                " bytes for " + std::to_string(count) + " types");
  }
  for (int s = 0; s < kSegmentCount; ++s) {
    if (s == kTypeInfoSegment || directory[s].second == 0) continue;
    library.segments[s].assign(file.begin() + directory[s].first,
                               file.begin() + directory[s].first + directory[s].second);
  }
  const struct {
    Segment segment;
    int32_t entry;
  } fixed_sizes[] = {{kImportInfoSegment, kImportInfoSize},
                     {kGuidSegment, kGuidEntrySize},
                     {kReferenceSegment, kReferenceSize},
                     {kTypeDescSegment, kTypeDescSize}};
  for (const auto& row : fixed_sizes) {
    if (library.SegmentLength(row.segment) % row.entry != 0) {
      throw Error("segment " + std::to_string(row.segment) + " is not a whole number of entries");
    }
  }
  if (library.ImportInfoCount() != library.SegmentLength(kImportInfoSegment) / kImportInfoSize) {
    throw Error("the header counts " + std::to_string(library.ImportInfoCount()) + " imports");
  }

  library.types.resize(count);
  for (int32_t i = 0; i < count; ++i) {
    TypeInfo& type = library.types[i];
    for (int w = 0; w < 25; ++w) {
      type.base[w] = LoadWord(file.data() + directory[kTypeInfoSegment].first +
                              i * kTypeInfoRecordSize + 4 * w);
    }
    ReadMembers(reader, file, i, type);
  }
  Verify(library);
  return library;
}

std::vector<uint8_t> Serialize(const Library& library) {
  const auto count = static_cast<int32_t>(library.types.size());
  int32_t position = kHeaderSize + (library.help_string_dll ? 4 : 0) + count * 4 +
                     kSegmentCount * kDirectoryEntrySize;
  std::array<std::pair<int32_t, int32_t>, kSegmentCount> directory;
  for (Segment s : kFileOrder) {
    const int32_t length =
        s == kTypeInfoSegment ? count * kTypeInfoRecordSize : library.SegmentLength(s);
    directory[s] = {length ? position : -1, length};
    position += length;
  }
  // Member blocks follow the segments, in type order; a type without members points where the
  // next block would start.
  std::vector<TypeInfo> types = library.types;
  for (TypeInfo& type : types) {
    type.MemberOffset() = position;
    const size_t members = type.functions.size() + type.variables.size();
    if (members == 0) continue;
    int32_t size = 0;
    for (const auto* list : {&type.functions, &type.variables}) {
      for (const Member& member : *list) size += member.Size();
    }
    position += 4 + size + static_cast<int32_t>(members) * 12;
  }

  std::vector<uint8_t> out;
  out.reserve(position);
  std::array<int32_t, 21> header = library.header;
  header[8] = count;
  for (int32_t word : header) AppendWord(out, word);
  if (library.help_string_dll) AppendWord(out, *library.help_string_dll);
  for (int32_t i = 0; i < count; ++i) AppendWord(out, i * kTypeInfoRecordSize);
  for (const auto& [offset, length] : directory) {
    AppendWord(out, offset);
    AppendWord(out, length);
    AppendWord(out, -1);
    AppendWord(out, 0x0f);
  }
  for (Segment s : kFileOrder) {
    if (s == kTypeInfoSegment) {
      for (const TypeInfo& type : types) {
        for (int32_t word : type.base) AppendWord(out, word);
      }
    } else {
      out.insert(out.end(), library.segments[s].begin(), library.segments[s].end());
    }
  }
  for (const TypeInfo& type : types) {
    std::vector<const Member*> members;
    for (const Member& m : type.functions) members.push_back(&m);
    for (const Member& m : type.variables) members.push_back(&m);
    if (members.empty()) continue;
    int32_t size = 0;
    for (const Member* m : members) size += m->Size();
    AppendWord(out, size);
    for (const Member* m : members) {
      for (int32_t word : m->record) AppendWord(out, word);
    }
    for (const Member* m : members) AppendWord(out, m->id);
    for (const Member* m : members) AppendWord(out, m->name);
    int32_t offset = 0;
    for (const Member* m : members) {
      AppendWord(out, offset);
      offset += m->Size();
    }
  }
  return out;
}

// ---------------------------------------------------------------- consistency

void Verify(const Library& library) {
  const auto count = static_cast<int32_t>(library.types.size());
  const std::vector<int32_t> name_list = library.NameOffsets();
  const std::set<int32_t> names(name_list.begin(), name_list.end());
  const std::vector<int32_t> file_list = library.ImportFileOffsets();
  const std::set<int32_t> files(file_list.begin(), file_list.end());

  auto local = [&](int32_t href) {
    return IsLocalType(href) && href % kTypeInfoRecordSize == 0 &&
           href / kTypeInfoRecordSize < count;
  };
  auto imported = [&](int32_t href) {
    const int32_t offset = href & ~3;
    return IsImportedType(href) && offset % kImportInfoSize == 0 &&
           offset < library.SegmentLength(kImportInfoSegment);
  };
  auto guid = [&](int32_t offset) {
    return offset >= 0 && offset % kGuidEntrySize == 0 &&
           offset + kGuidEntrySize <= library.SegmentLength(kGuidSegment);
  };
  auto fail = [](const std::string& what, int32_t value) {
    throw Error(what + " points at " + Hex(value) + ", where nothing is");
  };
  auto check_type = [&](const std::string& what, int32_t href) {
    if (!local(href) && !imported(href)) fail(what, href);
  };
  auto check_encoded = [&](const std::string& what, int32_t encoded) {
    if (IsTypeDescOffset(encoded) &&
        (encoded % kTypeDescSize != 0 ||
         encoded + kTypeDescSize > library.SegmentLength(kTypeDescSegment))) {
      fail(what, encoded);
    }
  };
  auto check_name = [&](const std::string& what, int32_t offset) {
    if (!names.count(offset)) fail(what, offset);
  };

  for (int32_t offset = 0; offset < library.SegmentLength(kTypeDescSegment);
       offset += kTypeDescSize) {
    const std::string what = "type description " + Hex(offset);
    const int32_t vt = library.Word(kTypeDescSegment, offset) & 0xffff;
    const int32_t target = library.Word(kTypeDescSegment, offset + 4);
    if (vt == kVtPtr || vt == kVtSafeArray) {
      check_encoded(what, target);
    } else if (vt == kVtUserDefined) {
      check_type(what, target);
    } else if (vt == kVtCArray) {
      const int32_t end = library.SegmentLength(kArrayDescSegment);
      if (target < 0 || target % 4 != 0 || target + 8 > end ||
          target + 8 + 8 * (library.Word(kArrayDescSegment, target + 4) & 0xffff) > end) {
        fail(what, target);
      }
      check_encoded(what + "'s elements", library.Word(kArrayDescSegment, target));
    } else {
      throw Error(what + " has the unknown variant type " + std::to_string(vt));
    }
  }

  for (int32_t i = 0; i < count; ++i) {
    const TypeInfo& type = library.types[i];
    const std::string what = "type " + std::to_string(i);
    check_name(what + "'s name", type.Name());
    if (type.Guid() != -1 && !guid(type.Guid())) fail(what + "'s GUID", type.Guid());
    switch (type.Kind()) {
      case kInterface:
      case kDispatch:
        if (type.ImplementedCount() > 0 && type.DataType1() != -1)
          check_type(what + "'s base", type.DataType1());
        break;
      case kCoclass: {
        int32_t offset = type.DataType1();
        for (int32_t n = 0; n < type.ImplementedCount(); ++n) {
          if (offset < 0 || offset % kReferenceSize != 0 ||
              offset + kReferenceSize > library.SegmentLength(kReferenceSegment)) {
            fail(what + "'s interface list", offset);
          }
          check_type(what + "'s interface " + std::to_string(n),
                     library.Word(kReferenceSegment, offset));
          offset = library.Word(kReferenceSegment, offset + 12);
        }
        break;
      }
      case kAlias:
        check_encoded(what + "'s aliased type", type.DataType1());
        break;
      default:
        break;
    }
    for (const auto* list : {&type.functions, &type.variables}) {
      for (size_t m = 0; m < list->size(); ++m) {
        const Member& member = (*list)[m];
        const std::string which = what + ", member " + std::to_string(m);
        check_name(which + "'s name", member.name);
        check_encoded(which + "'s type", member.DataType());
      }
    }
    for (size_t m = 0; m < type.functions.size(); ++m) {
      const Member& function = type.functions[m];
      const int32_t parameters = TypeInfo::ParameterCount(function);
      const size_t first = function.record.size() - 3 * parameters;
      for (int32_t p = 0; p < parameters; ++p) {
        const std::string which =
            what + ", function " + std::to_string(m) + ", parameter " + std::to_string(p);
        check_encoded(which, function.record[first + 3 * p]);
        if (function.record[first + 3 * p + 1] != -1)
          check_name(which + "'s name", function.record[first + 3 * p + 1]);
      }
    }
  }

  for (int32_t offset = 0; offset < library.SegmentLength(kGuidSegment); offset += kGuidEntrySize) {
    // -2 marks the library's own GUID, -1 one for custom data, low bits 10 an imported library.
    const int32_t href = library.Word(kGuidSegment, offset + 16);
    if (href != -1 && href != -2 && (href & 3) != 2 && !local(href) && !imported(href)) {
      fail("GUID entry " + Hex(offset), href);
    }
  }
  for (int32_t offset : name_list) {
    const int32_t href = library.Word(kNameSegment, offset);
    if (href != -1 && !local(href)) fail("name \"" + library.NameAt(offset) + "\"", href);
  }
  for (int32_t offset = 0; offset < library.SegmentLength(kImportInfoSegment);
       offset += kImportInfoSize) {
    const std::string what = "import " + Hex(offset);
    if (!files.count(library.Word(kImportInfoSegment, offset + 4)))
      fail(what + "'s file", library.Word(kImportInfoSegment, offset + 4));
    if ((library.Word(kImportInfoSegment, offset) & kImportIsGuid) &&
        !guid(library.Word(kImportInfoSegment, offset + 8))) {
      fail(what + "'s GUID", library.Word(kImportInfoSegment, offset + 8));
    }
  }
  for (int32_t offset : file_list) {
    if (!guid(library.Word(kImportFileSegment, offset)))
      fail("import file " + Hex(offset) + "'s GUID", library.Word(kImportFileSegment, offset));
  }
  if (!guid(library.header[2])) fail("the library's GUID", library.header[2]);
  check_name("the library's name", library.header[14]);
  if (library.header[19] != -1) check_type("the header's IDispatch", library.header[19]);
}

}  // namespace zu::typelib
