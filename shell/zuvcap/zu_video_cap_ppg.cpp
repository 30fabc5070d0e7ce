#include "shell/zuvcap/zu_video_cap_ppg.h"

#include <ocidl.h>
#include <vfw.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

#include "shell/com_util.h"
#include "shell/module.h"
#include "shell/zuvcap/zuvcap_resources.h"
#include "zu_video_cap.h"

namespace zu {
namespace {

// The position of an entry is the value it stands for.
constexpr const wchar_t* kBitCounts[] = {L"0 - vcpBit1",  L"1 - vcpBit4",  L"2 - vcpBit8",
                                         L"3 - vcpBit16", L"4 - vcpBit24", L"5 - vcpBit32",
                                         L"6 - vcpBitCustom"};
constexpr const wchar_t* kCaptureFormats[] = {L"0 - vcpFormatBMP", L"1 - vcpFormatPNG"};
// Bits per pixel of the entries before "6 - vcpBitCustom", as the control maps them.
constexpr long kEntryBits[] = {1, 4, 8, 16, 24, 32};
constexpr long kCustomEntry = vcpBitCustom;

// Driver indices the platform's capture library knows, and what it is given for the texts.
constexpr int kDriverSlots = 10;
constexpr int kDriverTextBytes = 80;
// Only this many leading entries are searched for the current device's number.
constexpr long kDeviceEntriesSearched = 10;
// What DeviceID is set to when no device entry is selected; the control ignores it.
constexpr short kNoDevice = -2;

// The page's help file string; the library has none, so the page reports "".
constexpr UINT kHelpFileStringId = 104;

}  // namespace

ZuVideoCapPpg::ZuVideoCapPpg(IUnknown* outer)
    : PropertyPageObject(outer, PageResources{ThisImage(), ZU_IDD_CAP_PAGE, ZU_IDS_CAP_PAGE_TITLE,
                                              kHelpFileStringId, ZU_IDS_CAP_PAGE_DOC}) {}

// ---------------------------------------------------------------- page dialog

void ZuVideoCapPpg::FillDeviceList() const {
  static constexpr const wchar_t* kAutomatic[] = {L"-1 - Auto Selection"};
  FillList(ZU_IDC_CAP_PAGE_DEVICE, kAutomatic, 1);
  for (int index = 0; index < kDriverSlots; ++index) {
    char name[kDriverTextBytes] = {};
    char version[kDriverTextBytes] = {};
    if (!capGetDriverDescriptionA(static_cast<UINT>(index), name, kDriverTextBytes, version,
                                  kDriverTextBytes)) {
      continue;
    }
    name[kDriverTextBytes - 1] = '\0';  // a driver may fill the buffer to the end
    char entry[kDriverTextBytes + 16];
    std::snprintf(entry, sizeof entry, "%d - %s", index, name);
    // Driver names are in the ANSI code page, as the library reports them.
    wchar_t wide[sizeof entry] = {};
    if (MultiByteToWideChar(CP_ACP, 0, entry, -1, wide, static_cast<int>(sizeof entry)) > 0) {
      AddListEntry(ZU_IDC_CAP_PAGE_DEVICE, wide);
    }
  }
}

void ZuVideoCapPpg::SelectDevice(short device) const {
  SelectListEntry(ZU_IDC_CAP_PAGE_DEVICE, static_cast<long>(device) + 1);
  // Entries are numbered by driver index, and indices without a driver leave gaps: the number
  // in the text wins over the position.
  long count = ListEntryCount(ZU_IDC_CAP_PAGE_DEVICE);
  if (count > kDeviceEntriesSearched) count = kDeviceEntriesSearched;
  for (long entry = 0; entry < count; ++entry) {
    if (LeadingNumber(ListEntryText(ZU_IDC_CAP_PAGE_DEVICE, entry).c_str()) == device) {
      SelectListEntry(ZU_IDC_CAP_PAGE_DEVICE, entry);
    }
  }
}

void ZuVideoCapPpg::ApplyDriverSettingRule() const {
  const bool own = !ItemChecked(ZU_IDC_CAP_PAGE_SYSTEM_SETTING);
  EnableItem(ZU_IDC_CAP_PAGE_WIDTH, own);
  EnableItem(ZU_IDC_CAP_PAGE_HEIGHT, own);
  EnableItem(ZU_IDC_CAP_PAGE_BIT_COUNT, own);
  EnableItem(ZU_IDC_CAP_PAGE_CUSTOM_BITS,
             own && SelectedListEntry(ZU_IDC_CAP_PAGE_BIT_COUNT) == kCustomEntry);
}

void ZuVideoCapPpg::OnInitDialog() {
  FillList(ZU_IDC_CAP_PAGE_BIT_COUNT, kBitCounts, sizeof kBitCounts / sizeof kBitCounts[0]);
  FillList(ZU_IDC_CAP_PAGE_FORMAT, kCaptureFormats,
           sizeof kCaptureFormats / sizeof kCaptureFormats[0]);
  FillDeviceList();
  if (Microsoft::WRL::ComPtr<IZuVideoCapCtl> control =
          FirstObjectAs<IZuVideoCapCtl>(IID_IZuVideoCapCtl)) {
    LONG number = 0;
    short small = 0;
    VcpBitCount bits = vcpBit24;
    VcpCaptureFormat format = vcpFormatBMP;
    if (SUCCEEDED(control->get_CaptureWidth(&number))) SetItemNumber(ZU_IDC_CAP_PAGE_WIDTH, number);
    if (SUCCEEDED(control->get_CaptureHeight(&number))) {
      SetItemNumber(ZU_IDC_CAP_PAGE_HEIGHT, number);
    }
    if (SUCCEEDED(control->get_BitCount(&bits))) SelectListEntry(ZU_IDC_CAP_PAGE_BIT_COUNT, bits);
    if (SUCCEEDED(control->get_CaptureElapse(&number))) {
      SetItemNumber(ZU_IDC_CAP_PAGE_ELAPSE, number);
    }
    if (SUCCEEDED(control->get_CaptureFormat(&format))) {
      SelectListEntry(ZU_IDC_CAP_PAGE_FORMAT, format);
    }
    if (SUCCEEDED(control->get_EnablePopupMenu(&number))) {
      SetItemChecked(ZU_IDC_CAP_PAGE_POPUP_MENU, number != 0);
    }
    if (SUCCEEDED(control->get_EnableSystemDriverSetting(&number))) {
      SetItemChecked(ZU_IDC_CAP_PAGE_SYSTEM_SETTING, number != 0);
    }
    if (SUCCEEDED(control->get_CustomBitCount(&small))) {
      SetItemNumber(ZU_IDC_CAP_PAGE_CUSTOM_BITS, small);
    }
    if (SUCCEEDED(control->get_DeviceID(&small))) SelectDevice(small);
  }
  // Also opens custom bits only for the custom entry.
  ApplyDriverSettingRule();
}

void ZuVideoCapPpg::OnCommand(WORD id, WORD code) {
  switch (id) {
    case ZU_IDC_CAP_PAGE_BIT_COUNT:
      if (code != CBN_SELCHANGE) return;
      if (const long entry = SelectedListEntry(id); entry >= 0 && entry < kCustomEntry) {
        SetItemNumber(ZU_IDC_CAP_PAGE_CUSTOM_BITS, kEntryBits[entry]);
        EnableItem(ZU_IDC_CAP_PAGE_CUSTOM_BITS, false);
      } else if (entry == kCustomEntry) {
        EnableItem(ZU_IDC_CAP_PAGE_CUSTOM_BITS, true);
      }
      SetDirty(true);
      return;
    case ZU_IDC_CAP_PAGE_SYSTEM_SETTING:
      if (code != BN_CLICKED) return;
      ApplyDriverSettingRule();
      SetDirty(true);
      return;
    case ZU_IDC_CAP_PAGE_WIDTH:
    case ZU_IDC_CAP_PAGE_HEIGHT:
    case ZU_IDC_CAP_PAGE_ELAPSE:
    case ZU_IDC_CAP_PAGE_CUSTOM_BITS:
      if (code == EN_CHANGE) SetDirty(true);
      return;
    case ZU_IDC_CAP_PAGE_FORMAT:
    case ZU_IDC_CAP_PAGE_DEVICE:
      if (code == CBN_SELCHANGE) SetDirty(true);
      return;
    case ZU_IDC_CAP_PAGE_POPUP_MENU:
      if (code == BN_CLICKED) SetDirty(true);
      return;
    default:
      return;
  }
}

// CustomBitCount goes after BitCount and decides it: the control derives BitCount from it.
HRESULT ZuVideoCapPpg::ApplyTo(IUnknown* object) {
  Microsoft::WRL::ComPtr<IZuVideoCapCtl> control;
  if (FAILED(object->QueryInterface(IID_IZuVideoCapCtl,
                                    reinterpret_cast<void**>(control.GetAddressOf())))) {
    return S_FALSE;
  }
  ZU_RETURN_IF_FAILED(control->put_CaptureWidth(ItemNumber(ZU_IDC_CAP_PAGE_WIDTH)));
  ZU_RETURN_IF_FAILED(control->put_CaptureHeight(ItemNumber(ZU_IDC_CAP_PAGE_HEIGHT)));
  // A list with nothing selected leaves its property as it is.
  if (const long bits = SelectedListEntry(ZU_IDC_CAP_PAGE_BIT_COUNT); bits >= 0) {
    ZU_RETURN_IF_FAILED(control->put_BitCount(static_cast<VcpBitCount>(bits)));
  }
  ZU_RETURN_IF_FAILED(control->put_CaptureElapse(ItemNumber(ZU_IDC_CAP_PAGE_ELAPSE)));
  if (const long format = SelectedListEntry(ZU_IDC_CAP_PAGE_FORMAT); format >= 0) {
    ZU_RETURN_IF_FAILED(control->put_CaptureFormat(static_cast<VcpCaptureFormat>(format)));
  }
  // The entry's own number: positions skip the indices without a driver.
  const long entry = SelectedListEntry(ZU_IDC_CAP_PAGE_DEVICE);
  const std::wstring text = entry >= 0 ? ListEntryText(ZU_IDC_CAP_PAGE_DEVICE, entry) : L"";
  const short device = entry >= 0 ? static_cast<short>(LeadingNumber(text.c_str())) : kNoDevice;
  ZU_RETURN_IF_FAILED(control->put_DeviceID(device));
  ZU_RETURN_IF_FAILED(
      control->put_EnableSystemDriverSetting(ItemChecked(ZU_IDC_CAP_PAGE_SYSTEM_SETTING) ? 1 : 0));
  ZU_RETURN_IF_FAILED(
      control->put_CustomBitCount(static_cast<short>(ItemNumber(ZU_IDC_CAP_PAGE_CUSTOM_BITS))));
  ZU_RETURN_IF_FAILED(
      control->put_EnablePopupMenu(ItemChecked(ZU_IDC_CAP_PAGE_POPUP_MENU) ? 1 : 0));
  return S_OK;
}

}  // namespace zu
