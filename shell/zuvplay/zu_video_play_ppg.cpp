#include "shell/zuvplay/zu_video_play_ppg.h"

#include <ocidl.h>
#include <wrl/client.h>

#include "shell/com_util.h"
#include "shell/module.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "zu_video_play.h"

namespace zu {
namespace {

// The position of an entry is the value it stands for.
constexpr const wchar_t* kFrameFormats[] = {L"0 - vpyFormatBMP", L"1 - vpyFormatPNG"};
constexpr const wchar_t* kSizeModes[] = {L"0 - vpySizeCLIP", L"1 - vpySizeZOOM",
                                         L"2 - vpySizeSTRETCH"};

// The page's help file string; the library has none, so the page reports "".
constexpr UINT kHelpFileStringId = 104;

}  // namespace

ZuVideoPlayPpg::ZuVideoPlayPpg(IUnknown* outer)
    : PropertyPageObject(outer, PageResources{ThisImage(), ZU_IDD_PLAY_PAGE, ZU_IDS_PLAY_PAGE_TITLE,
                                              kHelpFileStringId, ZU_IDS_PLAY_PAGE_DOC}) {}

// ---------------------------------------------------------------- page dialog

void ZuVideoPlayPpg::OnInitDialog() {
  FillList(ZU_IDC_PLAY_FRAME_FORMAT, kFrameFormats, sizeof kFrameFormats / sizeof kFrameFormats[0]);
  FillList(ZU_IDC_PLAY_SIZE_MODE, kSizeModes, sizeof kSizeModes / sizeof kSizeModes[0]);
  Microsoft::WRL::ComPtr<IZuVideoPlayCtl> control =
      FirstObjectAs<IZuVideoPlayCtl>(IID_IZuVideoPlayCtl);
  if (!control) return;
  VpyFrameFormat format = vpyFormatBMP;
  if (SUCCEEDED(control->get_FrameFormat(&format))) {
    SelectListEntry(ZU_IDC_PLAY_FRAME_FORMAT, format);
  }
  VpySizeMode mode = vpySizeCLIP;
  if (SUCCEEDED(control->get_SizeMode(&mode))) SelectListEntry(ZU_IDC_PLAY_SIZE_MODE, mode);
}

void ZuVideoPlayPpg::OnCommand(WORD id, WORD code) {
  if (code == CBN_SELCHANGE && (id == ZU_IDC_PLAY_FRAME_FORMAT || id == ZU_IDC_PLAY_SIZE_MODE)) {
    SetDirty(true);
  }
}

HRESULT ZuVideoPlayPpg::ApplyTo(IUnknown* object) {
  Microsoft::WRL::ComPtr<IZuVideoPlayCtl> control;
  if (FAILED(object->QueryInterface(IID_IZuVideoPlayCtl,
                                    reinterpret_cast<void**>(control.GetAddressOf())))) {
    return S_FALSE;
  }
  // A list with nothing selected leaves its property as it is.
  const long format = SelectedListEntry(ZU_IDC_PLAY_FRAME_FORMAT);
  if (format >= 0) {
    ZU_RETURN_IF_FAILED(control->put_FrameFormat(static_cast<VpyFrameFormat>(format)));
  }
  const long mode = SelectedListEntry(ZU_IDC_PLAY_SIZE_MODE);
  if (mode >= 0) ZU_RETURN_IF_FAILED(control->put_SizeMode(static_cast<VpySizeMode>(mode)));
  return S_OK;
}

}  // namespace zu
