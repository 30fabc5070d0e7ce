// The simulated driver's three dialogs, modal, owned by the capture window. Each opens with the
// driver's current values, or with what the configuration says the simulated user picks, and
// returns true when it was closed with OK, the choice in the out-parameter.
#pragma once

#include <windows.h>

#include "simcam/simulator.h"

namespace zu::simcam {

bool RunFormatDialog(HWND owner, const DriverState& driver, VideoFormat* format);
bool RunSourceDialog(HWND owner, const DriverState& driver, PictureSettings* picture);
bool RunDisplayDialog(HWND owner, const DriverState& driver, PictureSettings* picture);

}  // namespace zu::simcam
