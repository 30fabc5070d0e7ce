// Frames from the simulated camera to the control's event sinks: the byte counts of each format,
// the bytes themselves against the capture window's own snapshot, PNG frames, the two event
// shapes, several and failing sinks, dropped frames, and sinks that act from inside the event.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <wincodec.h>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "tests/capture/capture_test_support.h"

namespace zu::test {
namespace {

// A picture that stands still, so that two frames in a row hold the same pixels.
constexpr char kStill[] = " picture=no-noise,still,no-caption";

class Frames : public CaptureFixture {
 protected:
  // The driver keeps its own format: the frames are the configuration's.
  void Connect(const std::string& driver) {
    Configure(driver);
    control_->put_EnableSystemDriverSetting(1);
    ASSERT_NE(MakeWindow(), nullptr);
    ASSERT_TRUE(self_->DriverConnected()) << driver;
    AdviseEvents(&sink_);
  }
  bool Push() { return simcam_.push_frame(self_->CaptureWindowHandle()) != FALSE; }

  // Before the sinks go, the control lets go of them.
  void TearDown() override {
    if (self_) self_->DestroyControlWindow();
    control_.Reset();
    CaptureFixture::TearDown();
  }

  FrameSink sink_;
  FrameSink second_;
};

std::vector<uint8_t> ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The PNG's pixels as another reader (the system's imaging codecs) decodes them: rows of
// blue-green-red from the top, or empty when it cannot.
std::vector<uint8_t> DecodeWithImagingCodecs(const std::vector<uint8_t>& png, UINT* width,
                                             UINT* height) {
  Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
  Microsoft::WRL::ComPtr<IWICStream> stream;
  Microsoft::WRL::ComPtr<IWICBitmapDecoder> decoder;
  Microsoft::WRL::ComPtr<IWICBitmapFrameDecode> frame;
  Microsoft::WRL::ComPtr<IWICFormatConverter> converter;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory))) ||
      FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                          static_cast<DWORD>(png.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr,
                                              WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)) ||
      FAILED(converter->GetSize(width, height))) {
    return {};
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(*width) * *height * 3);
  if (FAILED(converter->CopyPixels(nullptr, *width * 3, static_cast<UINT>(pixels.size()),
                                   pixels.data()))) {
    return {};
  }
  return pixels;
}

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

// The frame's length is the header, the colour table the format implies, and the driver's bytes;
// the string holds that many characters, and its second half is zero.
TEST_F(Frames, EachFormatGivesItsByteCount) {
  const struct {
    const char* format;
    long width, height;
    unsigned header;  // header and colour table
    unsigned pixels;
  } rows[] = {
      {"320x240x24", 320, 240, 40, 320 * 240 * 3},
      {"320x240x8", 320, 240, 40 + 4 * 256, 320 * 240},
      {"320x240x8/16", 320, 240, 40 + 4 * 16, 320 * 240},
      {"160x120x4", 160, 120, 40 + 4 * 16, 160 * 120 / 2},
      {"160x120x1", 160, 120, 40 + 4 * 2, 160 / 8 * 120},
      {"320x240x16", 320, 240, 40, 320 * 240 * 2},
      {"320x240x32", 320, 240, 40, 320 * 240 * 4},
  };
  AdviseEvents(&sink_);
  for (const auto& row : rows) {
    sink_.events.clear();
    Configure(std::string("driver 0 format=") + row.format);
    control_->put_EnableSystemDriverSetting(1);  // keep the driver's format
    ASSERT_NE(MakeWindow(), nullptr);
    ASSERT_TRUE(simcam_.push_frame(self_->CaptureWindowHandle())) << row.format;
    ASSERT_EQ(sink_.events.size(), 1u) << row.format;
    const CapturedEvent& event = sink_.events[0];
    EXPECT_EQ(event.count, static_cast<LONG>(row.header + row.pixels)) << row.format;
    EXPECT_EQ(event.string_chars, row.header + row.pixels) << row.format;
    EXPECT_EQ(self_->FrameBufferSize(), row.header + row.pixels) << row.format;
    EXPECT_EQ(event.tail, std::vector<uint8_t>(event.bytes.size(), 0)) << row.format;
    DestroyWindowOfControl();
  }
}

// Header as the driver reports it, then the pixels: the same bytes the capture window writes
// for that frame into a bitmap file.
TEST_F(Frames, ABmpFrameIsTheDriversHeaderAndPixels) {
  Connect(std::string("driver 0 format=64x48x8/16") + kStill);
  ASSERT_TRUE(Push());
  ASSERT_EQ(sink_.events.size(), 1u);
  const std::vector<uint8_t>& frame = sink_.events[0].bytes;
  BITMAPINFOHEADER format = {};
  ASSERT_TRUE(simcam_.driver_format(0, &format));
  ASSERT_GE(frame.size(), sizeof format);
  EXPECT_EQ(std::memcmp(frame.data(), &format, sizeof format), 0);
  EXPECT_EQ(sink_.events[0].member, 1);

  const std::wstring path = TempPath(L"zu_capture_frame.bmp");
  BSTR name = SysAllocString(path.c_str());
  ASSERT_EQ(control_->Snapshot(name, vcpFormatPNG), S_OK);  // a bitmap file either way
  SysFreeString(name);
  const std::vector<uint8_t> file = ReadFile(path);
  ASSERT_GT(file.size(), 14u + 40u) << "no snapshot written";
  EXPECT_EQ(file[0], 'B');
  const std::vector<uint8_t> file_frame(file.begin() + 14, file.end());
  EXPECT_EQ(file_frame, frame) << "the event's frame is the saved frame without its file header";
  EXPECT_EQ(CheckFrame(file_frame.data(), static_cast<int64_t>(file_frame.size())),
            FrameVerdict::kOk);
  HANDLE loaded = LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                             LR_LOADFROMFILE | LR_CREATEDIBSECTION);
  EXPECT_NE(loaded, nullptr) << "the system's own reader opens the snapshot";
  if (loaded) DeleteObject(loaded);
  DeleteFileW(path.c_str());
}

TEST_F(Frames, APngFrameDecodesToTheBmpFramesPixels) {
  Connect(std::string("driver 0 format=64x48x24") + kStill);
  ASSERT_TRUE(Push());
  control_->put_CaptureFormat(vcpFormatPNG);
  ASSERT_TRUE(Push());
  ASSERT_EQ(sink_.events.size(), 2u);
  const std::vector<uint8_t>& bmp = sink_.events[0].bytes;
  const std::vector<uint8_t>& png = sink_.events[1].bytes;
  ASSERT_GE(png.size(), 8u);
  EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
  EXPECT_EQ(sink_.events[1].count, static_cast<LONG>(png.size()));
  PngFrameDecoder decoder;
  int32_t length = 0;
  FrameBlock decoded(decoder.DecodeFrame(png.data(), static_cast<int32_t>(png.size()), &length));
  ASSERT_TRUE(decoded);
  ASSERT_EQ(length, static_cast<int32_t>(bmp.size()));
  EXPECT_EQ(std::memcmp(decoded.get() + 40, bmp.data() + 40, bmp.size() - 40), 0);

  // 64 pixels of 3 bytes make rows without padding; the bitmap's bottom row comes first.
  UINT width = 0, height = 0;
  const std::vector<uint8_t> other = DecodeWithImagingCodecs(png, &width, &height);
  ASSERT_EQ(width, 64u);
  ASSERT_EQ(height, 48u);
  for (UINT row = 0; row < height; ++row) {
    EXPECT_EQ(std::memcmp(other.data() + row * 64 * 3, bmp.data() + 40 + (47 - row) * 64 * 3,
                          64 * 3), 0) << "row " << row;
  }
}

TEST_F(Frames, CaptureAndCaptureExCarryTheStringAsTheirShapesSay) {
  Connect("driver 0 format=32x16x24");
  ASSERT_TRUE(Push());
  control_->put_CaptureExEvent(VARIANT_TRUE);
  ASSERT_TRUE(Push());
  ASSERT_EQ(sink_.events.size(), 2u);
  EXPECT_EQ(sink_.events[0].member, 1);
  EXPECT_EQ(sink_.events[0].data_type, VT_BYREF | VT_BSTR);
  EXPECT_EQ(sink_.events[1].member, 2);
  EXPECT_EQ(sink_.events[1].data_type, VT_BYREF | VT_VARIANT);
  EXPECT_EQ(sink_.events[1].inner_type, VT_BSTR);
  for (const CapturedEvent& event : sink_.events) {
    EXPECT_EQ(event.count, 40 + 32 * 16 * 3);
    EXPECT_EQ(event.bytes.size(), static_cast<size_t>(event.count));
  }
}

// Every sink in turn, whatever the one before answered; no sink at all is no error.
TEST_F(Frames, EverySinkGetsEveryFrameAndFailuresAreIgnored) {
  Configure("driver 0 format=32x16x24");
  control_->put_EnableSystemDriverSetting(1);
  ASSERT_NE(MakeWindow(), nullptr);
  ASSERT_TRUE(Push()) << "no sink";
  EXPECT_EQ(self_->FrameBufferSize(), 40u + 32 * 16 * 3);
  sink_.answer = E_FAIL;
  AdviseEvents(&sink_);
  AdviseEvents(&second_);
  ASSERT_TRUE(Push());
  ASSERT_EQ(sink_.events.size(), 1u);
  ASSERT_EQ(second_.events.size(), 1u);
  EXPECT_EQ(sink_.events[0].bytes, second_.events[0].bytes);
}

// Frames the control cannot deliver whole are dropped; the next good one goes out.
TEST_F(Frames, FramesThatCannotBeDeliveredWholeAreDropped) {
  const struct {
    const char* what;
    const char* driver;
    VcpCaptureFormat format;
    size_t events;
  } rows[] = {
      {"no bytes", "driver 0 format=32x16x24 faults=empty-frames", vcpFormatBMP, 0},
      {"a colour table over 256", "driver 0 format=32x16x8 faults=colors-over-256", vcpFormatBMP, 0},
      {"short frames as PNG", "driver 0 format=32x16x24 faults=short-frames", vcpFormatPNG, 0},
      // The driver's bytes as they came; the count says how many there are.
      {"short frames as BMP", "driver 0 format=32x16x24 faults=short-frames", vcpFormatBMP, 1},
  };
  AdviseEvents(&sink_);
  for (const auto& row : rows) {
    sink_.events.clear();
    Configure(row.driver);
    control_->put_EnableSystemDriverSetting(1);
    control_->put_CaptureFormat(row.format);
    ASSERT_NE(MakeWindow(), nullptr) << row.what;
    simcam_.push_frame(self_->CaptureWindowHandle());
    EXPECT_EQ(sink_.events.size(), row.events) << row.what;
    if (row.events == 1) {
      EXPECT_EQ(sink_.events[0].count, 40 + 32 * 16 * 3 / 2) << row.what;
    }
    DestroyWindowOfControl();
  }
}

// A host may stop, change properties or end the control's window from inside its handler.
TEST_F(Frames, ASinkMayStopChangeOrEndTheWindowInsideTheEvent) {
  Connect("driver 0 format=32x16x24");
  struct Context {
    ZuVideoCapCtl* control;
    int step;
  } context{self_, 0};
  sink_.context = &context;
  sink_.on_event = [](void* raw) {
    auto* c = static_cast<Context*>(raw);
    switch (c->step++) {
      case 0: c->control->Stop(); c->control->put_CaptureFormat(vcpFormatPNG); break;
      case 1: c->control->put_CaptureHeight(32); break;
      default: c->control->DestroyControlWindow(); break;
    }
  };
  control_->Start();
  ASSERT_TRUE(Push());
  ASSERT_TRUE(Push());
  ASSERT_TRUE(Push());
  EXPECT_EQ(sink_.events.size(), 3u);
  EXPECT_EQ(self_->CaptureWindowHandle(), nullptr);
  EXPECT_EQ(self_->Window(), nullptr);
}

// A snapshot name that is missing, empty or too long for the capture window deletes nothing.
TEST_F(Frames, ASnapshotNameThatDoesNotFitDeletesNothing) {
  Connect("driver 0 format=32x16x24");
  ASSERT_TRUE(Push());
  const std::wstring path = TempPath(L"zu_capture_keep.bmp");
  { std::ofstream(path.c_str()) << "kept"; }
  const std::wstring too_long = path + std::wstring(300, L'x');
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", too_long.c_str()}) {
    BSTR text = name ? SysAllocString(name) : nullptr;
    EXPECT_EQ(control_->Snapshot(text, vcpFormatBMP), S_OK);
    SysFreeString(text);
    EXPECT_EQ(ReadFile(path).size(), 4u) << "the file was touched";
  }
  BSTR text = SysAllocString(path.c_str());
  EXPECT_EQ(control_->Snapshot(text, vcpFormatBMP), S_OK);
  SysFreeString(text);
  EXPECT_GT(ReadFile(path).size(), 54u) << "a fitting name replaces the file";
  DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace zu::test
