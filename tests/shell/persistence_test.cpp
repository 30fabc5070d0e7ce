// Persistence through a property map, on the framework's test control (whose map has the play
// control's shape): the stream bytes, round trips through a stream, a storage and a property bag,
// and what damaged, cut or foreign data does on load.
#include "shell/persistence.h"

#include <windows.h>

#include <msstkppg.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "shell/com_util.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/fake_sinks.h"
#include "tests/shell/test_control_fixture.h"
#include "tests/shell/test_pictures.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Log = std::vector<std::string>;

// ---------------------------------------------------------------- building bytes

class ByteWriter {
 public:
  ByteWriter& U16(uint16_t value) { return Raw(&value, 2); }
  ByteWriter& U32(uint32_t value) { return Raw(&value, 4); }
  ByteWriter& Guid(const GUID& guid) { return Raw(&guid, sizeof guid); }
  ByteWriter& Tagged(VARTYPE type, uint32_t value) {
    U16(type);
    return type == VT_I2 || type == VT_BOOL ? U16(static_cast<uint16_t>(value)) : U32(value);
  }
  ByteWriter& Raw(const void* data, size_t size) {
    auto* bytes = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    return *this;
  }
  ByteWriter& Append(const Bytes& more) { return Raw(more.data(), more.size()); }
  const Bytes& Get() const { return bytes_; }

 private:
  Bytes bytes_;
};

// The test control's stream up to (not including) the picture part.
ByteWriter StreamStart(uint32_t version, uint32_t cx, uint32_t cy, uint32_t shape, uint32_t level,
                       uint32_t color) {
  ByteWriter writer;
  writer.U32(version).Tagged(VT_I4, kTestControlVersion).U32(cx).U32(cy).Tagged(VT_I4, shape)
      .Tagged(VT_I4, level).Tagged(VT_UI4, color);
  return writer;
}

ComPtr<IStream> StreamOf(const Bytes& bytes) {
  ComPtr<IStream> stream;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  ULONG written = 0;
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return stream;
}

Bytes BytesOf(IStream* stream) {
  STATSTG stat = {};
  stream->Stat(&stat, STATFLAG_NONAME);
  Bytes bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (!bytes.empty()) stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

uint64_t Position(IStream* stream) {
  LARGE_INTEGER none = {};
  ULARGE_INTEGER at = {};
  stream->Seek(none, STREAM_SEEK_CUR, &at);
  return at.QuadPart;
}

std::string Hex(const Bytes& bytes) {
  std::string out;
  char two[4];
  for (uint8_t byte : bytes) {
    std::snprintf(two, sizeof two, "%02x ", byte);
    out += two;
  }
  return out;
}

// The picture part a standard picture writes of itself: its class and its own data.
Bytes PicturePart(IPictureDisp* picture) {
  ComPtr<IStream> stream;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  ComPtr<IPersistStream> persist;
  picture->QueryInterface(IID_PPV_ARGS(&persist));
  OleSaveToStream(persist.Get(), stream.Get());
  return BytesOf(stream.Get());
}

std::pair<LONG, LONG> PictureSize(IPictureDisp* picture) {
  ComPtr<IPicture> view;
  if (picture == nullptr || FAILED(picture->QueryInterface(IID_PPV_ARGS(&view)))) return {-1, -1};
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  view->get_Width(&width);
  view->get_Height(&height);
  return {width, height};
}

// ---------------------------------------------------------------- a property bag

std::string Listing(const MemoryBag& bag) {
  std::string out;
  for (const auto& entry : bag.entries) {
    out += Narrow(entry.first) + ":" + std::to_string(V_VT(&entry.second)) + " ";
  }
  return out;
}

// ---------------------------------------------------------------- fixture

class Persistence : public TestControlTest {
 protected:
  // Loads `bytes` into `control` through IPersistStreamInit.
  HRESULT LoadInto(const ComPtr<IZuTestCtl>& control, const Bytes& bytes,
                   ComPtr<IStream>* used = nullptr) {
    ComPtr<IStream> stream = StreamOf(bytes);
    HRESULT hr = As<IPersistStreamInit>(control)->Load(stream.Get());
    if (used) *used = stream;
    return hr;
  }

  // The extent as a container sets it.
  static void SetExtentOf(const ComPtr<IZuTestCtl>& control, LONG cx, LONG cy) {
    SIZEL extent = {cx, cy};
    ASSERT_EQ(As<IOleObject>(control)->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
  }

  struct State {
    ZtcShape shape;
    ZtcLevel level;
    OLE_COLOR color;
    LONG cx, cy;
  };
  static State StateOf(const ComPtr<IZuTestCtl>& control) {
    State state = {};
    control->get_Shape(&state.shape);
    control->get_Level(&state.level);
    control->get_BackColor(&state.color);
    SIZEL extent = {};
    As<IOleObject>(control)->GetExtent(DVASPECT_CONTENT, &extent);
    state.cx = extent.cx;
    state.cy = extent.cy;
    return state;
  }
};

// ---------------------------------------------------------------- the stream format

TEST_F(Persistence, AStreamRoundTripBringsBackEveryProperty) {
  ComPtr<IPictureDisp> picture = MakePicture(6, 3);
  ASSERT_TRUE(picture);
  ASSERT_EQ(control_->put_Shape(ztcShapeRound), S_OK);
  ASSERT_EQ(control_->put_Level(ztcLevelHigh), S_OK);
  ASSERT_EQ(control_->put_BackColor(0x00336699), S_OK);
  ASSERT_EQ(control_->putref_Picture(picture.Get()), S_OK);
  SetExtentOf(control_, 1000, 2000);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(As<IPersistStreamInit>(control_)->Save(stream.Get(), FALSE), S_OK);
  Bytes saved = BytesOf(stream.Get());
  // The picture part is the picture's own object-stream form.
  Bytes start = StreamStart(0x300, 1000, 2000, 1, 2, 0x00336699).U16(VT_DISPATCH).Get();
  ASSERT_GT(saved.size(), start.size() + 16);
  EXPECT_EQ(Hex(Bytes(saved.begin(), saved.begin() + start.size())), Hex(start));
  EXPECT_EQ(Hex(Bytes(saved.begin() + start.size(), saved.end())), Hex(PicturePart(picture.Get())));

  ComPtr<IZuTestCtl> copy = NewControl();
  ComPtr<IStream> used;
  ASSERT_EQ(LoadInto(copy, saved, &used), S_OK);
  EXPECT_EQ(Position(used.Get()), saved.size());
  State state = StateOf(copy);
  EXPECT_EQ(state.shape, ztcShapeRound);
  EXPECT_EQ(state.level, ztcLevelHigh);
  EXPECT_EQ(state.color, 0x00336699u);
  EXPECT_EQ(state.cx, 1000);
  EXPECT_EQ(state.cy, 2000);
  ComPtr<IPictureDisp> loaded;
  ASSERT_EQ(copy->get_Picture(&loaded), S_OK);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(PictureSize(loaded.Get()), PictureSize(picture.Get()));
  EXPECT_EQ(As<IPersistStreamInit>(copy)->IsDirty(), S_FALSE);
}

TEST_F(Persistence, TheNeedsSaveFlagFollowsStockEditsSavesAndLoads) {
  auto persist = As<IPersistStreamInit>(control_);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ASSERT_EQ(control_->put_Level(ztcLevelLow), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE) << "the control's own setters do not mark it";
  ASSERT_EQ(control_->put_BackColor(0x00FFFFFF), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(persist->Save(stream.Get(), FALSE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ASSERT_EQ(control_->putref_Picture(nullptr), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  // Loading runs the stock setters, which mark the control; a successful load clears it.
  ASSERT_EQ(LoadInto(control_, StreamStart(0x300, 1, 1, 0, 0, 0x00FF00FF)
                                   .U16(VT_DISPATCH).Guid(CLSID_NULL).Get()),
            S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
}

TEST_F(Persistence, VersionsUpTo0x300AreReadAndLaterOnesRefusedUntouched) {
  for (uint32_t version : {0x300u, 0x2FFu, 0u}) {
    ComPtr<IZuTestCtl> control = NewControl();
    EXPECT_EQ(LoadInto(control, StreamStart(version, 5, 6, 1, 2, 0x000000FF)
                                    .U16(VT_DISPATCH).Guid(CLSID_NULL).Get()),
              S_OK)
        << version;
    EXPECT_EQ(StateOf(control).level, ztcLevelHigh) << version;
  }
  for (uint32_t version : {0x301u, 0x400u, 0xFFFFFFFFu}) {
    ComPtr<IZuTestCtl> control = NewControl();
    EXPECT_EQ(LoadInto(control, StreamStart(version, 5, 6, 1, 2, 0x000000FF)
                                    .U16(VT_DISPATCH).Guid(CLSID_NULL).Get()),
              E_FAIL)
        << version;
    State state = StateOf(control);
    EXPECT_EQ(state.shape, ztcShapeSquare) << version;
    EXPECT_EQ(state.cx, kTestExtentCx) << version;
  }
}

TEST_F(Persistence, APictureThatCannotSaveItselfFailsTheSave) {
  UnsavablePicture unsavable;
  ASSERT_EQ(control_->putref_Picture(&unsavable), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  EXPECT_EQ(As<IPersistStreamInit>(control_)->Save(stream.Get(), TRUE), E_NOINTERFACE);
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_OK);
  ASSERT_EQ(control_->putref_Picture(nullptr), S_OK);
}

// ---------------------------------------------------------------- cut and damaged streams

struct Cut {
  size_t length;              // bytes of the full stream that are kept
  HRESULT expected;
  ZtcShape shape;             // what the control holds afterwards
  ZtcLevel level;
  OLE_COLOR color;
};

void PrintTo(const Cut& cut, std::ostream* out) { *out << "cut at " << cut.length; }

class CutStream : public Persistence, public ::testing::WithParamInterface<Cut> {};

TEST_P(CutStream, FailsAndKeepsWhatCameBeforeTheCut) {
  const Cut& cut = GetParam();
  Bytes full = StreamStart(0x300, 7, 8, 1, 2, 0x00010203).U16(VT_DISPATCH)
                   .Append(PicturePart(MakePicture(2, 2).Get())).Get();
  ASSERT_LT(cut.length, full.size());
  ASSERT_EQ(control_->put_BackColor(0x00ABCDEF), S_OK);
  HRESULT hr = LoadInto(control_, Bytes(full.begin(), full.begin() + cut.length));
  EXPECT_EQ(hr, cut.expected) << HexCode(hr);
  State state = StateOf(control_);
  EXPECT_EQ(state.shape, cut.shape);
  EXPECT_EQ(state.level, cut.level);
  EXPECT_EQ(state.color, cut.color);
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_OK) << "a failed load clears nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, CutStream,
    ::testing::Values(Cut{0, STG_E_READFAULT, ztcShapeSquare, ztcLevelMid, 0x00ABCDEF},
                      Cut{3, STG_E_READFAULT, ztcShapeSquare, ztcLevelMid, 0x00ABCDEF},
                      Cut{12, STG_E_READFAULT, ztcShapeSquare, ztcLevelMid, 0x00ABCDEF},
                      Cut{24, STG_E_READFAULT, ztcShapeRound, ztcLevelMid, 0x00ABCDEF},
                      Cut{26, STG_E_READFAULT, ztcShapeRound, ztcLevelMid, 0x00ABCDEF},
                      Cut{36, STG_E_READFAULT, ztcShapeRound, ztcLevelHigh, 0x00010203},
                      Cut{46, STG_E_READFAULT, ztcShapeRound, ztcLevelHigh, 0x00010203},
                      Cut{60, STG_E_READFAULT, ztcShapeRound, ztcLevelHigh, 0x00010203}));

TEST_F(Persistence, ATypeTheFormatNeverWritesEndsTheLoad) {
  ByteWriter writer;
  writer.U32(0x300).Tagged(VT_I4, kTestControlVersion).U32(3).U32(4).U16(VT_BSTR).U32(1);
  EXPECT_EQ(LoadInto(control_, writer.Get()), E_FAIL);
  EXPECT_EQ(StateOf(control_).cx, 3);
  EXPECT_EQ(StateOf(control_).shape, ztcShapeSquare);
}

TEST_F(Persistence, AValueOfAnotherStoredTypeIsConvertedBySetter) {
  ASSERT_EQ(control_->put_Level(ztcLevelLow), S_OK);
  ByteWriter writer;
  writer.U32(0x300).Tagged(VT_I4, kTestControlVersion).U32(3).U32(4).Tagged(VT_I2, 1)
      .Tagged(VT_BOOL, 0xFFFF).Tagged(VT_I4, 0x00000080).U16(VT_DISPATCH).Guid(CLSID_NULL);
  ASSERT_EQ(LoadInto(control_, writer.Get()), S_OK);
  State state = StateOf(control_);
  EXPECT_EQ(state.shape, ztcShapeRound);
  EXPECT_EQ(state.level, ztcLevelMid) << "VARIANT_TRUE is -1, out of range: the fallback";
  EXPECT_EQ(state.color, 0x00000080u);
}

struct DamagedPicture {
  const char* what;
  Bytes part;        // what follows the VT_DISPATCH tag
  HRESULT expected;
};

void PrintTo(const DamagedPicture& row, std::ostream* out) { *out << row.what; }

class DamagedPictureStream : public Persistence,
                             public ::testing::WithParamInterface<DamagedPicture> {};

TEST_P(DamagedPictureStream, GivesNoPictureOrTheReadFailure) {
  const DamagedPicture& row = GetParam();
  ASSERT_EQ(control_->putref_Picture(MakePicture(3, 3).Get()), S_OK);
  Bytes bytes = StreamStart(0x300, 7, 8, 1, 2, 0x00010203).U16(VT_DISPATCH).Append(row.part).Get();
  ComPtr<IStream> used;
  HRESULT hr = LoadInto(control_, bytes, &used);
  EXPECT_EQ(hr, row.expected) << row.what << ": " << HexCode(hr);
  ComPtr<IPictureDisp> picture;
  ASSERT_EQ(control_->get_Picture(&picture), S_OK);
  if (row.expected == S_OK) {
    EXPECT_EQ(picture, nullptr) << row.what;
  }
  EXPECT_EQ(StateOf(control_).level, ztcLevelHigh) << row.what;
}

const GUID kSomeOtherClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

Bytes PictureHeader(uint32_t magic, uint32_t size, size_t following) {
  ByteWriter writer;
  writer.Guid(CLSID_StdPicture).U32(magic).U32(size);
  Bytes filler(following, 0x5A);
  return writer.Append(filler).Get();
}

INSTANTIATE_TEST_SUITE_P(
    Parts, DamagedPictureStream,
    ::testing::Values(
        DamagedPicture{"another class", ByteWriter().Guid(kSomeOtherClass).U32(0).Get(), S_OK},
        DamagedPicture{"the picture page's class",
                       ByteWriter().Guid(CLSID_StockPicturePage).Get(), S_OK},
        DamagedPicture{"wrong magic", PictureHeader(0x4D42, 4, 4), S_OK},
        DamagedPicture{"huge declared size", PictureHeader(0x746C, 0xFFFFFFF0u, 16), S_OK},
        DamagedPicture{"just over the limit", PictureHeader(0x746C, kMaxPersistedPictureBytes + 1, 16),
                       S_OK},
        DamagedPicture{"garbage data", PictureHeader(0x746C, 24, 24), S_OK},
        DamagedPicture{"zero length", PictureHeader(0x746C, 0, 0), S_OK},
        DamagedPicture{"declared longer than the stream", PictureHeader(0x746C, 1000, 10),
                       STG_E_READFAULT},
        DamagedPicture{"cut in the class", Bytes(7, 0), STG_E_READFAULT},
        DamagedPicture{"cut in the header", ByteWriter().Guid(CLSID_StdPicture).U32(0x746C).Get(),
                       STG_E_READFAULT}));

TEST_F(Persistence, ADamagedPictureLeavesTheStreamRightAfterItsDeclaredLength) {
  Bytes part = PictureHeader(0x746C, 24, 24);
  Bytes bytes = StreamStart(0x300, 7, 8, 1, 2, 0x00010203).U16(VT_DISPATCH).Append(part).Get();
  bytes.push_back(0xEE);  // whatever follows is not the picture's
  ComPtr<IStream> used;
  ASSERT_EQ(LoadInto(control_, bytes, &used), S_OK);
  EXPECT_EQ(Position(used.Get()), bytes.size() - 1);
}

// ---------------------------------------------------------------- storage

TEST_F(Persistence, AStorageHoldsTheStreamFormatAsContents) {
  ComPtr<ILockBytes> memory;
  ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &memory), S_OK);
  ComPtr<IStorage> storage;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(memory.Get(),
                                         STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                         &storage),
            S_OK);
  ASSERT_EQ(control_->put_Level(ztcLevelHigh), S_OK);
  ASSERT_EQ(control_->put_BackColor(0x00000001), S_OK);
  auto persist = As<IPersistStorage>(control_);
  ASSERT_EQ(persist->InitNew(storage.Get()), S_OK);
  ASSERT_EQ(persist->Save(storage.Get(), TRUE), S_OK);
  EXPECT_EQ(persist->SaveCompleted(nullptr), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);

  ComPtr<IStream> contents;
  ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                &contents),
            S_OK);
  Bytes expected = StreamStart(0x300, kTestExtentCx, kTestExtentCy, 0, 2, 0x00000001)
                       .U16(VT_DISPATCH).Guid(CLSID_NULL).Get();
  EXPECT_EQ(Hex(BytesOf(contents.Get())), Hex(expected));
  contents.Reset();

  ComPtr<IZuTestCtl> copy = NewControl();
  ASSERT_EQ(As<IPersistStorage>(copy)->Load(storage.Get()), S_OK);
  EXPECT_EQ(StateOf(copy).level, ztcLevelHigh);
  EXPECT_EQ(StateOf(copy).color, 0x00000001u);
  EXPECT_EQ(As<IPersistStorage>(copy)->HandsOffStorage(), S_OK);
}

TEST_F(Persistence, AStorageWithoutContentsIsRefused) {
  ComPtr<ILockBytes> memory;
  ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &memory), S_OK);
  ComPtr<IStorage> storage;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(memory.Get(),
                                         STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                         &storage),
            S_OK);
  EXPECT_EQ(As<IPersistStorage>(control_)->Load(storage.Get()), STG_E_FILENOTFOUND);
  EXPECT_EQ(As<IPersistStorage>(control_)->Load(static_cast<IStorage*>(nullptr)), E_POINTER);
}

// ---------------------------------------------------------------- property bag

TEST_F(Persistence, ABagGetsOneNamedValueAnEntryInMapOrderAndNoMissingPicture) {
  SetExtentOf(control_, 11, 22);
  ASSERT_EQ(control_->put_BackColor(0x00FF0000), S_OK);
  MemoryBag bag;
  ASSERT_EQ(As<IPersistPropertyBag>(control_)->Save(&bag, TRUE, TRUE), S_OK);
  EXPECT_EQ(Listing(bag), "_Version:3 _cx:19 _cy:19 Shape:3 Level:3 BackColor:19 ");
  EXPECT_EQ(V_UI4(&bag.entries[1].second), 11u);
  EXPECT_EQ(V_UI4(&bag.entries[5].second), 0x00FF0000u);
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_FALSE);

  MemoryBag with_picture;
  ASSERT_EQ(control_->putref_Picture(MakePicture(2, 2).Get()), S_OK);
  ASSERT_EQ(As<IPersistPropertyBag>(control_)->Save(&with_picture, FALSE, TRUE), S_OK);
  EXPECT_EQ(Listing(with_picture),
            "_Version:3 _cx:19 _cy:19 Shape:3 Level:3 BackColor:19 Picture:9 ");
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_OK);
}

TEST_F(Persistence, ABagRoundTripBringsBackEveryProperty) {
  ASSERT_EQ(control_->put_Shape(ztcShapeRound), S_OK);
  ASSERT_EQ(control_->put_Level(ztcLevelLow), S_OK);
  ASSERT_EQ(control_->put_BackColor(0x00112233), S_OK);
  ASSERT_EQ(control_->putref_Picture(MakePicture(5, 4).Get()), S_OK);
  SetExtentOf(control_, 300, 400);
  MemoryBag bag;
  ASSERT_EQ(As<IPersistPropertyBag>(control_)->Save(&bag, TRUE, TRUE), S_OK);

  ComPtr<IZuTestCtl> copy = NewControl();
  ASSERT_EQ(As<IPersistPropertyBag>(copy)->Load(&bag, nullptr), S_OK);
  State state = StateOf(copy);
  EXPECT_EQ(state.shape, ztcShapeRound);
  EXPECT_EQ(state.level, ztcLevelLow);
  EXPECT_EQ(state.color, 0x00112233u);
  EXPECT_EQ(state.cx, 300);
  EXPECT_EQ(state.cy, 400);
  ComPtr<IPictureDisp> picture;
  ASSERT_EQ(copy->get_Picture(&picture), S_OK);
  EXPECT_NE(picture, nullptr);
  EXPECT_EQ(As<IPersistStreamInit>(copy)->IsDirty(), S_FALSE);
}

TEST_F(Persistence, ABagWithoutAnEntryLeavesThatPropertyAsItWas) {
  ASSERT_EQ(control_->put_Level(ztcLevelHigh), S_OK);
  MemoryBag bag;
  bag.Set(L"Shape", VT_I4, 1);
  bag.Set(L"BackColor", VT_UI4, 0x00000042);
  bag.Set(L"_cx", VT_UI4, 77);
  ASSERT_EQ(As<IPersistPropertyBag>(control_)->Load(&bag, nullptr), S_OK);
  State state = StateOf(control_);
  EXPECT_EQ(state.shape, ztcShapeRound);
  EXPECT_EQ(state.level, ztcLevelHigh);
  EXPECT_EQ(state.color, 0x00000042u);
  EXPECT_EQ(state.cx, 77);
  EXPECT_EQ(state.cy, kTestExtentCy);
  // Every named entry was asked for, in map order.
  EXPECT_EQ(bag.reads, (std::vector<std::wstring>{L"_Version", L"_cx", L"_cy", L"Shape", L"Level",
                                                  L"BackColor", L"Picture"}));
}

TEST_F(Persistence, BagTextsAreConvertedAndValuesThatCannotBeAreSkipped) {
  // What a page's parameters deliver: text, sometimes not what the property takes.
  MemoryBag bag;
  bag.SetText(L"_cx", L"1234");
  bag.SetText(L"_cy", L"tall");
  bag.SetText(L"Shape", L"1");
  bag.SetText(L"Level", L"low");
  bag.SetText(L"BackColor", L"255");
  bag.SetText(L"Picture", L"http://example.invalid/picture.bmp");
  ASSERT_EQ(control_->put_Level(ztcLevelHigh), S_OK);
  ASSERT_EQ(control_->putref_Picture(MakePicture(2, 2).Get()), S_OK);
  ASSERT_EQ(As<IPersistPropertyBag>(control_)->Load(&bag, nullptr), S_OK);
  State state = StateOf(control_);
  EXPECT_EQ(state.cx, 1234);
  EXPECT_EQ(state.cy, kTestExtentCy);
  EXPECT_EQ(state.shape, ztcShapeRound);
  EXPECT_EQ(state.level, ztcLevelHigh);
  EXPECT_EQ(state.color, 255u);
  ComPtr<IPictureDisp> picture;
  ASSERT_EQ(control_->get_Picture(&picture), S_OK);
  EXPECT_NE(picture, nullptr) << "a text is no picture: the old one stays";
}

TEST_F(Persistence, ABagThatRefusesAWriteFailsTheSaveWithItsCode) {
  MemoryBag bag;
  bag.fail_writes_of = L"Level";
  ASSERT_EQ(control_->put_BackColor(1), S_OK);
  EXPECT_EQ(As<IPersistPropertyBag>(control_)->Save(&bag, TRUE, TRUE), STG_E_ACCESSDENIED);
  EXPECT_EQ(Listing(bag), "_Version:3 _cx:19 _cy:19 Shape:3 ");
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_OK);
  EXPECT_EQ(As<IPersistPropertyBag>(control_)->Load(nullptr, nullptr), E_POINTER);
}

// ---------------------------------------------------------------- the rest of the interfaces

TEST_F(Persistence, EveryPersistenceInterfaceNamesTheControlsClass) {
  CLSID clsid = {};
  ASSERT_EQ(As<IPersist>(control_)->GetClassID(&clsid), S_OK);
  EXPECT_EQ(GuidText(clsid), GuidText(CLSID_ZuTestCtl));
  clsid = {};
  ASSERT_EQ(As<IPersistStorage>(control_)->GetClassID(&clsid), S_OK);
  EXPECT_EQ(GuidText(clsid), GuidText(CLSID_ZuTestCtl));
  clsid = {};
  ASSERT_EQ(As<IPersistPropertyBag>(control_)->GetClassID(&clsid), S_OK);
  EXPECT_EQ(GuidText(clsid), GuidText(CLSID_ZuTestCtl));
  EXPECT_EQ(As<IPersist>(control_)->GetClassID(nullptr), E_POINTER);

  auto stream = As<IPersistStreamInit>(control_);
  ULARGE_INTEGER size = {};
  EXPECT_EQ(stream->GetSizeMax(&size), E_NOTIMPL);
  EXPECT_EQ(stream->InitNew(), S_OK);
  EXPECT_EQ(As<IPersistPropertyBag>(control_)->InitNew(), S_OK);
  EXPECT_EQ(stream->Load(nullptr), E_POINTER);
  EXPECT_EQ(stream->Save(nullptr, TRUE), E_POINTER);
}

// A map shaped like the capture control's: the extent first, then "_Version", and the picture
// persisted twice under two names.
const PropertyMapEntry kExtentFirstMap[] = {
    ZU_EXTENT_ENTRY(L"_cx", cx),
    ZU_EXTENT_ENTRY(L"_cy", cy),
    ZU_PROPERTY_ENTRY(L"_Version", 5, CLSID_NULL),
    ZU_PROPERTY_ENTRY(L"Picture", DISPID_PICTURE, CLSID_StockPicturePage),
    ZU_PROPERTY_ENTRY(L"ForePicture", DISPID_PICTURE, CLSID_StockPicturePage),
    ZU_END_OF_MAP,
};

TEST_F(Persistence, AMapThatStartsWithDataEntriesWritesThemRightAfterTheVersion) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(control_.As(&dispatch), S_OK);
  SetExtentOf(control_, 0x01020304, 0x0A0B0C0D);
  PersistTarget target{dispatch.Get(), &Self(control_)->Extent()};
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(SaveMapToStream(target, kExtentFirstMap, stream.Get()), S_OK);
  Bytes expected = ByteWriter().U32(0x300).U32(0x01020304).U32(0x0A0B0C0D)
                       .Tagged(VT_I4, kTestControlVersion).U16(VT_DISPATCH).Guid(CLSID_NULL)
                       .U16(VT_DISPATCH).Guid(CLSID_NULL).Get();
  EXPECT_EQ(Hex(BytesOf(stream.Get())), Hex(expected));
  EXPECT_EQ(PropertyPages(kExtentFirstMap).size(), 1u);

  // With a picture, both names carry it, and loading puts it twice.
  ComPtr<IPictureDisp> picture = MakePicture(4, 2);
  ASSERT_EQ(control_->putref_Picture(picture.Get()), S_OK);
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(SaveMapToStream(target, kExtentFirstMap, stream.Get()), S_OK);
  Bytes part = PicturePart(picture.Get());
  Bytes saved = BytesOf(stream.Get());
  ASSERT_EQ(saved.size(), 4 + 8 + 6 + 2 * (2 + part.size()));

  ComPtr<IZuTestCtl> copy = NewControl();
  ComPtr<IDispatch> copy_dispatch;
  ASSERT_EQ(copy.As(&copy_dispatch), S_OK);
  Log log;
  PropertySink sink(&log);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(As<IConnectionPointContainer>(copy)->FindConnectionPoint(IID_IPropertyNotifySink,
                                                                     &point),
            S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  ASSERT_EQ(LoadMapFromStream(PersistTarget{copy_dispatch.Get(), &Self(copy)->Extent()},
                              kExtentFirstMap, StreamOf(saved).Get()),
            S_OK);
  EXPECT_EQ(StateOf(copy).cx, 0x01020304);
  EXPECT_EQ(StateOf(copy).cy, 0x0A0B0C0D);
  EXPECT_EQ(log, (Log{"sink request -523", "sink changed -523", "sink request -523",
                      "sink changed -523"}));
  ComPtr<IPictureDisp> loaded;
  ASSERT_EQ(copy->get_Picture(&loaded), S_OK);
  EXPECT_EQ(PictureSize(loaded.Get()), PictureSize(picture.Get()));
  point->Unadvise(cookie);
}

}  // namespace
}  // namespace zu::test
