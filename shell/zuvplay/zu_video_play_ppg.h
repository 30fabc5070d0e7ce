// ZuVideoPlayPpg: the play control's property page, two drop-down lists for FrameFormat and
// SizeMode. It reaches the controls only through IZuVideoPlayCtl, so its edits pass the same
// setters and notifications as a host's calls.
//
// Objects in the frame's selection that do not answer IZuVideoPlayCtl (another kind of control
// selected beside ours) are left alone: the lists show the first object that answers, Apply
// skips the others and still succeeds. With no such object the lists select nothing and Apply
// sets nothing.
#pragma once

#include <windows.h>

#include "shell/property_page.h"

namespace zu {

class ZuVideoPlayPpg final : public PropertyPageObject<ZuVideoPlayPpg> {
 protected:
  void OnInitDialog() override;
  void OnCommand(WORD id, WORD code) override;
  HRESULT ApplyTo(IUnknown* object) override;

 private:
  template <class T>
  friend HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);

  explicit ZuVideoPlayPpg(IUnknown* outer);
  ~ZuVideoPlayPpg() override = default;
};

}  // namespace zu
