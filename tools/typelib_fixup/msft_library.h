// A type library in the MSFT layout that widl writes and oleaut32 reads, held as its parts: the
// header, one record per type with its member records, and the raw segments (names, strings,
// GUIDs, type descriptions, import tables...). Parse refuses a file whose tables do not fit
// together; Serialize lays the parts out again the way widl does, so a library read and written
// unchanged comes out byte for byte the same.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zu::typelib {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The segment directory, in its order in the file header.
enum Segment : int {
  kTypeInfoSegment = 0,
  kImportInfoSegment,
  kImportFileSegment,
  kReferenceSegment,
  kGuidHashSegment,
  kGuidSegment,
  kNameHashSegment,
  kNameSegment,
  kStringSegment,
  kTypeDescSegment,
  kArrayDescSegment,
  kCustomDataSegment,
  kCustomDataGuidSegment,
  kUnknownSegment1,
  kUnknownSegment2,
  kSegmentCount
};

enum TypeKind : int32_t {
  kEnum = 0,
  kRecord,
  kModule,
  kInterface,
  kDispatch,
  kCoclass,
  kAlias,
  kUnion,
};

constexpr int32_t kTypeInfoRecordSize = 0x64;
constexpr int32_t kImportInfoSize = 12;
constexpr int32_t kGuidEntrySize = 24;
constexpr int32_t kReferenceSize = 16;
constexpr int32_t kTypeDescSize = 8;
constexpr int32_t kImportIsGuid = 0x10000;  // import info flag: oGuid is a GUID entry

// Type references ("hreftypes"): a local one is the offset of a type record (a multiple of the
// record size), an imported one is an import info offset with the low bit set.
inline bool IsLocalType(int32_t href) { return href >= 0 && (href & 3) == 0; }
inline bool IsImportedType(int32_t href) { return href >= 0 && (href & 3) == 1; }

// An encoded type: a built-in type in place (high bit set), or a type description offset.
inline bool IsTypeDescOffset(int32_t encoded) { return encoded >= 0; }

enum VarType : int32_t {
  kVtPtr = 26,
  kVtSafeArray = 27,
  kVtCArray = 28,
  kVtUserDefined = 29,
};

// One function or variable: its record as 32-bit words (word 0 holds the record's size in its
// low half), its member id and its name offset.
struct Member {
  std::vector<int32_t> record;
  int32_t id = 0;
  int32_t name = -1;

  int32_t Size() const { return static_cast<int32_t>(record.size() * 4); }
  int32_t DataType() const { return record[1]; }
};

struct TypeInfo {
  // The record's 25 words; the named ones are those this tool reads or rewrites.
  std::array<int32_t, 25> base{};
  std::vector<Member> functions;
  std::vector<Member> variables;

  TypeKind Kind() const { return static_cast<TypeKind>(base[0] & 0xf); }
  int32_t& KindAndIndex() { return base[0]; }
  int32_t& MemberOffset() { return base[1]; }
  int32_t Guid() const { return base[11]; }
  int32_t Name() const { return base[13]; }
  int32_t ImplementedCount() const { return base[19] & 0xffff; }
  int32_t& DataType1() { return base[21]; }
  int32_t DataType1() const { return base[21]; }
  // Parameter types of a function record: the last 3 words per parameter.
  static int32_t ParameterCount(const Member& function) { return function.record[5] & 0xffff; }
};

struct Library {
  std::array<int32_t, 21> header{};
  std::optional<int32_t> help_string_dll;  // present when the header's flags say so
  std::vector<TypeInfo> types;
  // Every segment but the type records, which Serialize rebuilds from `types`.
  std::array<std::vector<uint8_t>, kSegmentCount> segments;

  int32_t& ImportInfoCount() { return header[20]; }
  int32_t SegmentLength(Segment segment) const {
    return static_cast<int32_t>(segments[segment].size());
  }
  int32_t Word(Segment segment, int32_t offset) const;
  void SetWord(Segment segment, int32_t offset, int32_t value);

  // Names and strings as the file stores them (bytes in the library's code page).
  std::string NameAt(int32_t offset) const;
  std::string StringAt(int32_t offset) const;
  std::array<uint8_t, 16> GuidAt(int32_t offset) const;
  // Offsets of the entries of the name, GUID and import file segments.
  std::vector<int32_t> NameOffsets() const;
  std::vector<int32_t> ImportFileOffsets() const;
  std::string ImportFileName(int32_t offset) const;
  // Adds a string (or finds it already there) and returns its offset.
  int32_t AddString(const std::string& text);
  // The index of the type with this name, if any.
  std::optional<size_t> FindType(const std::string& name) const;
};

// Throws Error, with what does not fit, for anything but a consistent library.
Library Parse(const std::vector<uint8_t>& file);
std::vector<uint8_t> Serialize(const Library& library);
// Every type reference, type description, name and GUID offset the library holds points at
// something that is there. Throws Error naming the first that does not.
void Verify(const Library& library);

std::string GuidText(const std::array<uint8_t, 16>& guid);

}  // namespace zu::typelib
