// The framework's embedding as a container drives it, on the framework's own test control: data
// advice with the advise flags a container really passes, and what Close and a cleared client
// site let go of: the container's view advise sink, and with it whatever that sink holds.
#include <windows.h>

#include <olectl.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/container/container_test_support.h"
#include "tests/shell/test_control/zu_test_ctl.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr COLORREF kBack = RGB(0x12, 0x34, 0x56);

// The container's test, with the test control instead of the play control.
class TestControlHost : public ContainerTest {
 protected:
  void TearDown() override {
    control_.Reset();
    ContainerTest::TearDown();
  }
  void AttachTestControl() {
    ComPtr<IUnknown> control;
    ASSERT_EQ(ZuTestCtl::Create(IID_PPV_ARGS(&control)), S_OK);
    ASSERT_EQ(control.As(&control_), S_OK);
    ASSERT_EQ(container_->Attach(control.Get()), S_OK);
  }
  ZuTestCtl* self() const { return static_cast<ZuTestCtl*>(control_.Get()); }

  ComPtr<IZuTestCtl> control_;
};

// ---------------------------------------------------------------- data advice

struct AdviceCase {
  const char* name;
  DWORD advf;
  int notices;        // data-change notices for an advise and two stock property changes
  int data_requests;  // what the holder asked of the control itself
};

void PrintTo(const AdviceCase& row, std::ostream* out) { *out << row.name; }

class DataAdvice : public TestControlHost, public ::testing::WithParamInterface<AdviceCase> {};

// Without ADVF_NODATA the holder asks the data object named in the notice for the data: that
// must be the control.
TEST_P(DataAdvice, TheHolderIsHandedTheControlAsItsDataObject) {
  const AdviceCase& row = GetParam();
  AttachTestControl();
  ASSERT_EQ(container_->Host(), S_OK);
  auto sink = CountingSink::Make();
  ComPtr<IDataObject> data = container_->ControlAs<IDataObject>();
  FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  DWORD cookie = 0;
  ASSERT_EQ(data->DAdvise(&format, row.advf, sink.Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  ASSERT_EQ(control_->put_BackColor(kBack), S_OK);
  ASSERT_EQ(control_->putref_Picture(nullptr), S_OK);
  EXPECT_EQ(sink->data_formats, std::vector<CLIPFORMAT>(row.notices, CF_METAFILEPICT));
  EXPECT_EQ(self()->DataRequests(), std::vector<CLIPFORMAT>(row.data_requests, CF_METAFILEPICT));

  ASSERT_EQ(data->DUnadvise(cookie), S_OK);
  ASSERT_EQ(control_->put_BackColor(RGB(9, 9, 9)), S_OK);
  EXPECT_EQ(sink->data_changes, row.notices) << "told after it unadvised";
  EXPECT_EQ(sink->references(), 1);
  data.Reset();
  control_.Reset();
  EXPECT_EQ(container_->Unhost(), S_OK);
  EXPECT_EQ(container_->SiteReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, DataAdvice,
    ::testing::Values(AdviceCase{"Plain", 0, 2, 2}, AdviceCase{"NoData", ADVF_NODATA, 2, 0},
                      // The holder sends a first notice at once, for the object DAdvise names.
                      AdviceCase{"PrimeFirst", ADVF_PRIMEFIRST, 3, 3}),
    [](const ::testing::TestParamInfo<AdviceCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- what leaving the site drops

struct LeaveCase {
  const char* name;
  HRESULT (*leave)(TestContainer& container);
};

void PrintTo(const LeaveCase& row, std::ostream* out) { *out << row.name; }

class LeavingTheSite : public TestControlHost, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeavingTheSite, LetsGoOfTheViewSink) {
  AttachTestControl();
  ASSERT_EQ(container_->Host(), S_OK);
  auto sink = CountingSink::Make();
  ComPtr<IViewObject> view = container_->ControlAs<IViewObject>();
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, sink.Get()), S_OK);
  EXPECT_EQ(sink->references(), 2);

  ASSERT_EQ(GetParam().leave(*container_), S_OK);
  EXPECT_EQ(sink->references(), 1) << "the control still holds the view sink";
  ComPtr<IAdviseSink> given;
  DWORD aspects = 77;
  ASSERT_EQ(view->GetAdvise(&aspects, nullptr, &given), S_OK);
  EXPECT_EQ(given, nullptr);
  EXPECT_EQ(aspects, 0u);
  // Out of place now, a change would go to the view sink if it were still held.
  ASSERT_EQ(control_->put_BackColor(kBack), S_OK);
  EXPECT_EQ(sink->view_changes, 0);
}

// A container's view sink that holds the container's site and, through it, the control: kept
// past Close, the two would keep each other alive.
class SiteHoldingSink final : public IAdviseSink {
 public:
  SiteHoldingSink(IOleClientSite* site, IUnknown* control, bool* destroyed)
      : site_(site), control_(control), destroyed_(destroyed) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IAdviseSink)) {
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IAdviseSink*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override {}

 private:
  ~SiteHoldingSink() { *destroyed_ = true; }

  LONG references_ = 1;
  ComPtr<IOleClientSite> site_;
  ComPtr<IUnknown> control_;
  bool* destroyed_;
};

TEST_P(LeavingTheSite, ReleasesASinkThatHoldsTheSiteAndTheControlAndWithItEverything) {
  AttachTestControl();
  ASSERT_EQ(container_->Host(), S_OK);
  bool destroyed = false;
  {
    ComPtr<IAdviseSink> sink;
    *sink.GetAddressOf() = new SiteHoldingSink(container_->client_site(), container_->control(),
                                               &destroyed);
    ASSERT_EQ(container_->ControlAs<IViewObject>()->SetAdvise(DVASPECT_CONTENT, 0, sink.Get()),
              S_OK);
  }
  control_.Reset();
  ASSERT_EQ(GetParam().leave(*container_), S_OK);
  EXPECT_TRUE(destroyed) << "the control still holds the sink";
  // No one unadvises the view: the container lets go of the control as it is.
  container_->ClearClientSite();
  EXPECT_EQ(container_->ReleaseControl(), 0u) << "the control outlived the container's last reference";
  EXPECT_EQ(container_->SiteReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeavingTheSite,
    ::testing::Values(LeaveCase{"Close", [](TestContainer& c) { return c.Close(); }},
                      LeaveCase{"ClearedSite", [](TestContainer& c) { return c.ClearClientSite(); }}),
    [](const ::testing::TestParamInfo<LeaveCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zu::test
