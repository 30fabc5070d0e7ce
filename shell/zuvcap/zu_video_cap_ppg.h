// ZuVideoCapPpg: the capture control's property page: the device, the driver's own settings or
// the width, height and bit count the control imposes, the interval, the frame variant and the
// popup menu. It reaches the controls only through IZuVideoCapCtl, so its edits pass the same
// setters, rounding and notifications as a host's calls.
//
// Objects in the frame's selection that do not answer IZuVideoCapCtl (another kind of control
// selected beside ours) are left alone: the page shows the first object that answers, Apply
// skips the others and still succeeds. With no such object the lists select nothing, the edits
// stay empty and Apply sets nothing.
#pragma once

#include <windows.h>

#include "shell/property_page.h"

namespace zu {

class ZuVideoCapPpg final : public PropertyPageObject<ZuVideoCapPpg> {
 protected:
  void OnInitDialog() override;
  void OnCommand(WORD id, WORD code) override;
  HRESULT ApplyTo(IUnknown* object) override;

 private:
  // "-1 - Auto Selection", then "<index> - <name>" for every driver index that answers.
  void FillDeviceList() const;
  // Selects the entry that stands for `device`: the one whose leading number is `device`, else
  // the one at position `device` + 1, else none.
  void SelectDevice(short device) const;
  // The system's driver settings replace width, height and bit count; custom bits are open only
  // for the custom entry.
  void ApplyDriverSettingRule() const;

  template <class T>
  friend HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);
  explicit ZuVideoCapPpg(IUnknown* outer);
  ~ZuVideoCapPpg() override = default;
};

}  // namespace zu
