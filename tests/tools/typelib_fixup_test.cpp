// typelib_fixup on what widl writes for tests/data/typelib/fixup_sample.idl, in both pointer
// sizes: layout kept byte for byte when nothing changes, types reordered with every reference
// following them, widl's IUnknown copy replaced by stdole2's, value help strings, and refusals
// (damaged libraries, orders that cannot be met, unreadable directives) with no output written.
#include "tools/typelib_fixup/typelib_fixup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/temp_dir.h"

namespace zu::typelib {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kIdl = ZU_TESTDATA_DIR "/typelib/fixup_sample.idl";
const std::string kIUnknown = "stdole2.tlb {00000000-0000-0000-C000-000000000046}";

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string TypeName(const Library& library, size_t index) {
  return library.NameAt(library.types[index].Name());
}

// A type reference as "local Name" or "file {GUID}" / "file #index".
std::string DescribeType(const Library& library, int32_t href) {
  if (IsLocalType(href)) return "local " + TypeName(library, href / kTypeInfoRecordSize);
  const int32_t import = href & ~3;
  const int32_t flags = library.Word(kImportInfoSegment, import);
  const std::string file = library.ImportFileName(library.Word(kImportInfoSegment, import + 4));
  const int32_t target = library.Word(kImportInfoSegment, import + 8);
  return file + ((flags & kImportIsGuid) ? " " + GuidText(library.GuidAt(target))
                                         : " #" + std::to_string(target));
}

std::string Describe(const Library& library, int32_t encoded) {
  if (!IsTypeDescOffset(encoded)) return "vt" + std::to_string(encoded & 0xffff);
  const int32_t vt = library.Word(kTypeDescSegment, encoded) & 0xffff;
  const int32_t target = library.Word(kTypeDescSegment, encoded + 4);
  if (vt == kVtPtr) return Describe(library, target) + "*";
  if (vt == kVtUserDefined) return DescribeType(library, target);
  return "vt" + std::to_string(vt) + "(" + std::to_string(target) + ")";
}

// A type as a host would compare it: its record words and members' words, with every type
// reference in them spelled out. The record's own index and member offset, and the first word
// of each member record (its length), are left out: they move by design.
std::vector<std::string> Summary(const Library& library, size_t index) {
  const TypeInfo& type = library.types[index];
  std::vector<std::string> lines;
  std::ostringstream base;
  base << "kind " << (type.base[0] & 0xffff) << " guid "
       << (type.Guid() == -1 ? "none" : GuidText(library.GuidAt(type.Guid())));
  for (int w = 2; w < 25; ++w) {
    if (w != 11 && w != 13 && w != 21) base << ' ' << type.base[w];
  }
  lines.push_back(base.str());
  if (type.Kind() == kCoclass) {
    int32_t offset = type.DataType1();
    for (int32_t n = 0; n < type.ImplementedCount(); ++n) {
      lines.push_back("implements " +
                      DescribeType(library, library.Word(kReferenceSegment, offset)) + " flags " +
                      std::to_string(library.Word(kReferenceSegment, offset + 4)));
      offset = library.Word(kReferenceSegment, offset + 12);
    }
  } else if ((type.Kind() == kDispatch || type.Kind() == kInterface) && type.DataType1() != -1) {
    lines.push_back("base " + DescribeType(library, type.DataType1()));
  }
  for (const auto* list : {&type.functions, &type.variables}) {
    for (const Member& member : *list) {
      std::ostringstream line;
      line << library.NameAt(member.name) << " id " << member.id << " returns "
           << Describe(library, member.DataType());
      const bool function = list == &type.functions;
      const int32_t parameters = function ? TypeInfo::ParameterCount(member) : 0;
      const size_t first = member.record.size() - 3 * parameters;
      for (size_t w = 2; w < (function ? first : 5); ++w) line << ' ' << member.record[w];
      for (int32_t p = 0; p < parameters; ++p) {
        const int32_t name = member.record[first + 3 * p + 1];
        line << " (" << Describe(library, member.record[first + 3 * p]) << ' '
             << (name == -1 ? "" : library.NameAt(name)) << ' ' << member.record[first + 3 * p + 2]
             << ')';
      }
      lines.push_back(line.str());
    }
  }
  return lines;
}

struct Sample {
  const char* name;
  const char* tlb;
  const char* stdole;
};
void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.name; }

class TypelibFixup : public ::testing::TestWithParam<Sample> {
 protected:
  void SetUp() override {
    widl_bytes_ = ReadBytes(GetParam().tlb);
    ASSERT_NO_THROW(input_ = Parse(widl_bytes_));
    std::ifstream idl(kIdl);
    directives_ = ReadDirectives(
        std::string(std::istreambuf_iterator<char>(idl), std::istreambuf_iterator<char>()));
    imports_.push_back({"stdole2.tlb", Parse(LibraryImage(ReadBytes(GetParam().stdole)))});
  }

  Library Fixed() { return Fixup(input_, directives_, imports_); }

  ::testing::AssertionResult Refuses(const std::string& expected) {
    try {
      Fixed();
    } catch (const Error& e) {
      if (std::string(e.what()).find(expected) != std::string::npos)
        return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << "refused with \"" << e.what() << "\"";
    }
    return ::testing::AssertionFailure() << "not refused";
  }

  Bytes widl_bytes_;
  Library input_;
  Directives directives_;
  std::vector<ImportedLibrary> imports_;
};

TEST_P(TypelibFixup, ReadingAndWritingWithoutChangeGivesWidlsBytes) {
  EXPECT_EQ(Serialize(input_), widl_bytes_);
}

TEST_P(TypelibFixup, TheLibraryHoldsTheOrderedTypesAndNamesAndGuidsFollowThem) {
  ASSERT_EQ(input_.types.size(), 8u)
      << "widl's output changed: the sample no longer tests dropping";
  const Library fixed = Parse(Serialize(Fixed()));
  ASSERT_EQ(fixed.types.size(), directives_.order.size());
  for (size_t i = 0; i < fixed.types.size(); ++i) {
    EXPECT_EQ(TypeName(fixed, i), directives_.order[i]);
    EXPECT_EQ(fixed.types[i].base[0] >> 16, static_cast<int32_t>(i)) << directives_.order[i];
  }
  for (int32_t offset : fixed.NameOffsets()) {
    const int32_t href = fixed.Word(kNameSegment, offset);
    if (href == -1) continue;
    const TypeInfo& owner = fixed.types[href / kTypeInfoRecordSize];
    bool uses = owner.Name() == offset;
    for (const auto* list : {&owner.functions, &owner.variables}) {
      for (const Member& m : *list) uses = uses || m.name == offset;
    }
    EXPECT_TRUE(uses) << fixed.NameAt(offset) << " points at "
                      << TypeName(fixed, href / kTypeInfoRecordSize);
  }
  int local_guids = 0;
  for (int32_t offset = 0; offset < fixed.SegmentLength(kGuidSegment); offset += kGuidEntrySize) {
    const int32_t href = fixed.Word(kGuidSegment, offset + 16);
    if (IsLocalType(href)) {
      ++local_guids;
      EXPECT_EQ(fixed.types[href / kTypeInfoRecordSize].Guid(), offset)
          << GuidText(fixed.GuidAt(offset));
    } else if (IsImportedType(href)) {
      EXPECT_EQ(fixed.GuidAt(fixed.Word(kImportInfoSegment, (href & ~3) + 8)),
                fixed.GuidAt(offset));
    }
  }
  EXPECT_EQ(local_guids, 4);  // the two classes and two interfaces
}

TEST_P(TypelibFixup, KeptTypesReferToWhatTheyReferredToWithIUnknownFromStdole) {
  const Library fixed = Fixed();
  for (size_t i = 0; i < fixed.types.size(); ++i) {
    SCOPED_TRACE(TypeName(fixed, i));
    std::vector<std::string> expected = Summary(input_, *input_.FindType(TypeName(fixed, i)));
    for (std::string& line : expected) {
      if (line.rfind("implements local IUnknown", 0) == 0) line.replace(11, 14, kIUnknown);
    }
    EXPECT_EQ(Summary(fixed, i), expected);
  }
  // The import that replaced the copy: an interface by GUID, counted in the header.
  const int32_t page = fixed.types[*fixed.FindType("SamplePage")].DataType1();
  const int32_t href = fixed.Word(kReferenceSegment, page);
  ASSERT_TRUE(IsImportedType(href));
  EXPECT_EQ(fixed.Word(kImportInfoSegment, href & ~3) >> 24, kInterface);
  EXPECT_EQ(fixed.header[20], fixed.SegmentLength(kImportInfoSegment) / kImportInfoSize);
}

TEST_P(TypelibFixup, EnumerationValuesGainTheHelpStringsTheIdlGivesThem) {
  const Library fixed = Parse(Serialize(Fixed()));
  const TypeInfo& mode = fixed.types[*fixed.FindType("SampleMode")];
  ASSERT_EQ(mode.variables.size(), 3u);
  const struct {
    const char* name;
    const char* help;  // null: none given, the record stays as widl wrote it
  } kValues[] = {
      {"sampleOne", "mode: one"}, {"sampleTwo", nullptr}, {"sampleThree", "mode: three"}};
  for (size_t i = 0; i < 3; ++i) {
    const Member& value = mode.variables[i];
    SCOPED_TRACE(kValues[i].name);
    EXPECT_EQ(fixed.NameAt(value.name), kValues[i].name);
    EXPECT_EQ(value.record[0] & 0xffff, value.Size());
    if (kValues[i].help) {
      ASSERT_EQ(value.record.size(), 7u);
      EXPECT_EQ(value.record[5], 0);  // help context
      EXPECT_EQ(fixed.StringAt(value.record[6]), kValues[i].help);
    } else {
      EXPECT_EQ(value.record.size(), 5u);
    }
  }
}

TEST_P(TypelibFixup, RefusesWhatItCannotDo) {
  const struct {
    const char* what;
    std::function<void(Directives&, std::vector<ImportedLibrary>&)> change;
    const char* message;
  } kCases[] = {
      {"a type used by a kept one, with no GUID",
       [](Directives& d, auto&) {
         d.order = {"_ISampleEvents", "SampleControl", "ISample", "SamplePage"};
       },
       "ISample refers to SampleMode, which the order leaves out and which has no GUID to import "
       "it by"},
      {"a type used by a kept one, found in no import",
       [](Directives& d, auto&) {
         d.order = {"SampleControl", "ISample", "SampleMode", "SamplePage"};
       },
       "SampleControl refers to _ISampleEvents, which the order leaves out and no imported library "
       "holds"},
      {"IUnknown with no stdole2 to import from", [](auto&, auto& imports) { imports.clear(); },
       "SamplePage refers to IUnknown, which the order leaves out and no imported library holds"},
      {"a type the library lacks", [](Directives& d, auto&) { d.order.push_back("Missing"); },
       "the order names Missing, which the library does not hold"},
      {"a type twice", [](Directives& d, auto&) { d.order.push_back("ISample"); },
       "the order names ISample twice"},
      {"no order", [](Directives& d, auto&) { d.order.clear(); }, "needs an \"//@ order:\" line"},
      {"help for no value", [](Directives& d, auto&) { d.value_help["sampleFour"] = "x"; },
       "a help string names sampleFour, which is no value"},
  };
  const Directives original = directives_;
  for (const auto& row : kCases) {
    directives_ = original;
    imports_.clear();
    imports_.push_back({"stdole2.tlb", Parse(LibraryImage(ReadBytes(GetParam().stdole)))});
    row.change(directives_, imports_);
    EXPECT_TRUE(Refuses(row.message)) << row.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    PointerSizes, TypelibFixup,
    ::testing::Values(Sample{"win32", ZU_TYPELIB_SAMPLES "/sample32.tlb", ZU_STDOLE32},
                      Sample{"win64", ZU_TYPELIB_SAMPLES "/sample64.tlb", ZU_STDOLE64}),
    [](const ::testing::TestParamInfo<Sample>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- damaged input

// The sample's bytes with words read and written in place; public for the table's lambdas.
class DamagedLibrary : public ::testing::Test {
 public:
  void SetUp() override { bytes_ = ReadBytes(ZU_TYPELIB_SAMPLES "/sample32.tlb"); }

  int32_t Get(size_t offset) const {
    return static_cast<int32_t>(bytes_[offset] | bytes_[offset + 1] << 8 |
                                bytes_[offset + 2] << 16 |
                                static_cast<uint32_t>(bytes_[offset + 3]) << 24);
  }
  void Set(size_t offset, int32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes_[offset + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
  }
  // Where segment s's directory entry lies: after the header and the type table.
  size_t Directory(int s) const { return 0x54 + 4 * Get(0x20) + 16 * s; }
  size_t FirstUserDefined() const {
    const size_t start = Get(Directory(kTypeDescSegment));
    for (size_t offset = start;; offset += 8) {
      if ((Get(offset) & 0xffff) == kVtUserDefined) return offset;
    }
  }

  Bytes bytes_;
};

TEST_F(DamagedLibrary, IsRefusedWithWhatDoesNotFit) {
  const struct {
    const char* what;
    std::function<void(DamagedLibrary&)> damage;
    const char* message;
  } kCases[] = {
      {"cut short", [](DamagedLibrary& t) { t.bytes_.resize(0x40); }, "lies outside the file"},
      {"no signature", [](DamagedLibrary& t) { t.Set(0, 0x4d534654); }, "no MSFT signature"},
      {"another format", [](DamagedLibrary& t) { t.Set(4, 0x00010003); }, "format version"},
      {"absurd type count", [](DamagedLibrary& t) { t.Set(0x20, 0x20000); }, "claims 131072 types"},
      {"types out of order", [](DamagedLibrary& t) { t.Set(0x54 + 4, 0); },
       "type 1 is listed at 0, not in record order"},
      {"a segment past the end",
       [](DamagedLibrary& t) {
         t.Set(t.Directory(kNameSegment), static_cast<int32_t>(t.bytes_.size()));
       },
       "segment 7"},
      {"overlapping segments",
       [](DamagedLibrary& t) {
         t.Set(t.Directory(kGuidSegment), t.Get(t.Directory(kTypeInfoSegment)));
       },
       "overlap"},
      {"a reference between records",
       [](DamagedLibrary& t) { t.Set(t.FirstUserDefined() + 4, kTypeInfoRecordSize + 4); },
       "points at 0x68"},
      {"a reference past the last type",
       [](DamagedLibrary& t) { t.Set(t.FirstUserDefined() + 4, 40 * kTypeInfoRecordSize); },
       "points at 0xfa0"},
      {"members past the end",
       [](DamagedLibrary& t) {
         const size_t unknown = t.Get(t.Directory(kTypeInfoSegment)) + kTypeInfoRecordSize;
         t.Set(t.Get(unknown + 4), 0x7ffffff0);  // IUnknown's block size
       },
       "the members of type 1"},
      {"a cut name table",
       [](DamagedLibrary& t) {
         t.Set(t.Directory(kNameSegment) + 4, t.Get(t.Directory(kNameSegment) + 4) - 4);
       },
       "runs past its end"},
  };
  const Bytes original = bytes_;
  for (const auto& row : kCases) {
    bytes_ = original;
    row.damage(*this);
    try {
      Parse(bytes_);
      ADD_FAILURE() << row.what << ": read without complaint";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos)
          << row.what << ": " << e.what();
    }
  }
}

// ---------------------------------------------------------------- directives

TEST(TypelibDirectives, ReadOrderAndValueHelpFromCommentsThatStartWithTheMarker) {
  const Directives directives = ReadDirectives(
      "// Prose that mentions //@ order: Nothing is no directive.\n"
      "//@ order: TypeA, TypeB TypeC\n"
      "  //@ order: TypeD\n"
      "  valueOne = 0,  //@ helpstring(\"one: \\ no escapes\")\n"
      "  valueTwo       //@ helpstring(\"\")\n");
  EXPECT_EQ(directives.order, (std::vector<std::string>{"TypeA", "TypeB", "TypeC", "TypeD"}));
  EXPECT_EQ(directives.value_help, (std::map<std::string, std::string>{
                                       {"valueOne", "one: \\ no escapes"}, {"valueTwo", ""}}));
}

TEST(TypelibDirectives, RefuseWhatTheyCannotReadNamingTheLine) {
  const struct {
    const char* idl;
    const char* message;
  } kCases[] = {
      {"\n//@ orders: A\n", "IDL line 2: unknown directive \"orders: A\""},
      {"//@ order: 9A\n", "IDL line 1: \"9A\" is not a type name"},
      {"//@ helpstring(\"x\")\n",
       "a help string needs the enumeration value it belongs to before it"},
      {"v = 1, //@ helpstring(\"x)\n", "a help string must read helpstring(\"text\")"},
      {"v = 1, //@ helpstring(\"x\") trailing\n", "a help string must read helpstring(\"text\")"},
      {"v = 1, //@ helpstring(\"x\")\nv = 2, //@ helpstring(\"y\")\n",
       "IDL line 2: v has a help string already"},
  };
  for (const auto& row : kCases) {
    try {
      ReadDirectives(row.idl);
      ADD_FAILURE() << row.idl << ": read without complaint";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos)
          << row.idl << ": " << e.what();
    }
  }
}

// ---------------------------------------------------------------- the program

TEST(TypelibFixupProgram, WritesTheFixedLibraryOrNothingAtAll) {
  TempDir dir;
  const std::string in = ZU_TYPELIB_SAMPLES "/sample32.tlb";
  const std::string out = dir.Path("out.tlb");
  const std::string stdole = std::filesystem::path(ZU_STDOLE32).parent_path().string();
  std::ostringstream err;
  ASSERT_EQ(RunTypelibFixup({"-L", dir.Path(""), "-L", stdole, kIdl, in, out}, err), kFixupExitOk)
      << err.str();
  EXPECT_EQ(Parse(ReadBytes(out)).types.size(), 5u);

  // A refusal removes what an earlier run left.
  Bytes damaged = ReadBytes(in);
  damaged.resize(damaged.size() / 2);
  WriteBytes(dir.Path("damaged.tlb"), damaged);
  err.str("");
  EXPECT_EQ(RunTypelibFixup({"-L", stdole, kIdl, dir.Path("damaged.tlb"), out}, err),
            kFixupExitBadInput);
  EXPECT_NE(err.str().find("typelib_fixup: " + dir.Path("damaged.tlb") + ": "), std::string::npos)
      << err.str();
  EXPECT_FALSE(std::filesystem::exists(out));

  err.str("");
  EXPECT_EQ(RunTypelibFixup({kIdl, in, out}, err), kFixupExitBadInput);
  EXPECT_NE(err.str().find("imports stdole2.tlb, which no -L folder holds"), std::string::npos)
      << err.str();
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(RunTypelibFixup({kIdl, in}, err), kFixupExitUsage);
}

}  // namespace
}  // namespace zu::typelib
