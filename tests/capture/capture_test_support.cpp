#include "tests/capture/capture_test_support.h"

#include <cstdlib>
#include <cstring>

namespace zu::test {

STDMETHODIMP FrameSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                               EXCEPINFO*, UINT*) {
  CapturedEvent event;
  event.member = member;
  if (params != nullptr && params->cArgs == 2) {
    const VARIANT& data = params->rgvarg[1];
    event.data_type = V_VT(&data);
    event.count = V_VT(&params->rgvarg[0]) == VT_I4 ? params->rgvarg[0].lVal : -1;
    BSTR text = nullptr;
    if (V_VT(&data) == (VT_BYREF | VT_BSTR) && data.pbstrVal) text = *data.pbstrVal;
    if (V_VT(&data) == (VT_BYREF | VT_VARIANT) && data.pvarVal) {
      event.inner_type = V_VT(data.pvarVal);
      if (V_VT(data.pvarVal) == VT_BSTR) text = data.pvarVal->bstrVal;
    }
    if (text != nullptr && event.count > 0) {
      event.string_chars = SysStringLen(text);
      const auto* bytes = reinterpret_cast<const uint8_t*>(text);
      const UINT stored = SysStringByteLen(text);
      const UINT count = static_cast<UINT>(event.count) < stored ? event.count : stored;
      event.bytes.assign(bytes, bytes + count);
      event.tail.assign(bytes + count, bytes + stored);
    }
  }
  events.push_back(std::move(event));
  if (on_event) on_event(context);
  return answer;
}

void CaptureFixture::SetUp() {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  ASSERT_TRUE(simcam_.Bind()) << "avicap32.dll is not the simulated camera";
  simcam_.reset();
  watcher_ = std::make_unique<ModalWatcher>();
  parent_ = CreateWindowExW(0, L"STATIC", L"capture test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent_, nullptr);
  ASSERT_EQ(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&control_)), S_OK);
  self_ = static_cast<ZuVideoCapCtl*>(control_.Get());
}

void CaptureFixture::TearDown() {
  if (self_) self_->DestroyControlWindow();
  self_ = nullptr;
  control_.Reset();
  if (parent_) DestroyWindow(parent_);
  watcher_.reset();
  simcam_.reset();
  CoUninitialize();
}

void CaptureFixture::Configure(const std::string& text) {
  std::string error;
  ASSERT_TRUE(simcam_.Configure(text, &error)) << text << ": " << error;
}

HWND CaptureFixture::MakeWindow(int width, int height) {
  return self_->CreateControlWindow(parent_, RECT{10, 10, 10 + width, 10 + height});
}

namespace {
DWORD Advise(IUnknown* control, REFIID iid, IUnknown* sink) {
  Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
  Microsoft::WRL::ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  EXPECT_EQ(control->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
  EXPECT_EQ(container->FindConnectionPoint(iid, &point), S_OK);
  if (point) EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  return cookie;
}
}  // namespace

DWORD CaptureFixture::AdviseEvents(IUnknown* sink) {
  return Advise(control_.Get(), DIID__IZuVideoCapCtlEvents, sink);
}

DWORD CaptureFixture::AdvisePropertySink(IUnknown* sink, IUnknown* control) {
  return Advise(control ? control : control_.Get(), IID_IPropertyNotifySink, sink);
}

std::vector<UINT> CaptureFixture::CaptureMessages() const {
  std::vector<UINT> messages;
  for (const SimCamLogEntry& entry : simcam_.Log(self_->CaptureWindowHandle())) {
    messages.push_back(entry.message);
  }
  return messages;
}

std::vector<std::string> CaptureFixture::MessageBoxes() {
  watcher_->Sync();
  std::vector<std::string> boxes;
  for (const DialogRecord& record : watcher_->Seen()) {
    boxes.push_back(Utf8(record.caption) + ": " + Utf8(record.text));
  }
  watcher_->Clear();
  return boxes;
}

std::string Expected(const char* english, const char* japanese) {
  const char* wanted = std::getenv("ZU_EXPECT_LOCALE");
  return wanted != nullptr && std::strcmp(wanted, "ja") == 0 ? japanese : english;
}

}  // namespace zu::test
