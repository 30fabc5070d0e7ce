#include "simcam/driver_dialogs.h"

#include <algorithm>
#include <string>
#include <vector>

#include "simcam/ansi_text.h"
#include "simcam/capture_window.h"
#include "simcam/simcam_resources.h"

namespace zu::simcam {
namespace {

// Offered by a driver that takes any size.
constexpr FrameSize kCommonSizes[] = {{80, 60},    {160, 120},  {176, 144}, {320, 240},
                                      {352, 288},  {640, 480},  {800, 600}, {1024, 768},
                                      {1280, 720}, {1280, 960}, {1920, 1080}};

void SetDriverLine(HWND dialog, const DriverState& driver) {
  SetDlgItemTextW(dialog, ZU_IDC_SIMCAM_DRIVER,
                  (L"Driver " + std::to_wstring(driver.index) + L": " + Widen(driver.config.name))
                      .c_str());
}

struct BitsChoice {
  uint16_t bit_count;
  uint32_t compression;
};

struct FormatDialog {
  const DriverState* driver;
  VideoFormat start;  // what the dialog opens with
  std::vector<FrameSize> sizes;
  std::vector<BitsChoice> bits;
  VideoFormat chosen;

  void Fill(HWND dialog) {
    sizes = driver->config.sizes;
    if (sizes.empty()) sizes.assign(std::begin(kCommonSizes), std::end(kCommonSizes));
    auto has_size = [&](int32_t w, int32_t h) {
      return std::any_of(sizes.begin(), sizes.end(),
                         [&](const FrameSize& s) { return s.width == w && s.height == h; });
    };
    if (!has_size(start.width, start.height)) sizes.insert(sizes.begin(), {start.width, start.height});
    for (uint16_t b : driver->config.bit_counts) bits.push_back({b, kBiRgbCompression});
    for (const CompressedFormat& c : driver->config.compressed) bits.push_back({c.bit_count, c.fourcc});

    HWND size_list = GetDlgItem(dialog, ZU_IDC_SIMCAM_SIZE);
    for (size_t i = 0; i < sizes.size(); ++i) {
      const std::wstring text =
          std::to_wstring(sizes[i].width) + L" x " + std::to_wstring(sizes[i].height);
      SendMessageW(size_list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      if (sizes[i].width == start.width && sizes[i].height == start.height) {
        SendMessageW(size_list, CB_SETCURSEL, i, 0);
      }
    }
    HWND bits_list = GetDlgItem(dialog, ZU_IDC_SIMCAM_BITS);
    for (size_t i = 0; i < bits.size(); ++i) {
      std::wstring text = std::to_wstring(bits[i].bit_count) + L" bits";
      if (bits[i].compression != kBiRgbCompression) {
        text += L", " + Widen(FourCcText(bits[i].compression));
      }
      SendMessageW(bits_list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      if (bits[i].bit_count == start.bit_count && bits[i].compression == start.compression) {
        SendMessageW(bits_list, CB_SETCURSEL, i, 0);
      }
    }
  }

  void Read(HWND dialog) {
    chosen = driver->format;
    const LRESULT size = SendDlgItemMessageW(dialog, ZU_IDC_SIMCAM_SIZE, CB_GETCURSEL, 0, 0);
    if (size >= 0 && static_cast<size_t>(size) < sizes.size()) {
      chosen.width = sizes[size].width;
      chosen.height = sizes[size].height;
    }
    const LRESULT b = SendDlgItemMessageW(dialog, ZU_IDC_SIMCAM_BITS, CB_GETCURSEL, 0, 0);
    if (b >= 0 && static_cast<size_t>(b) < bits.size()) {
      chosen.bit_count = bits[b].bit_count;
      chosen.compression = bits[b].compression;
    }
    // The table length stays while the bit count does; the picked one comes with its pick.
    chosen.size_image = 0;
    if (chosen.bit_count != driver->format.bit_count ||
        chosen.compression != driver->format.compression) {
      chosen.colors = 0;
    }
    if (chosen.width == start.width && chosen.height == start.height &&
        chosen.bit_count == start.bit_count && chosen.compression == start.compression) {
      chosen.colors = start.colors;
    }
  }
};

INT_PTR CALLBACK FormatProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<FormatDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      state = reinterpret_cast<FormatDialog*>(lparam);
      SetDriverLine(dialog, *state->driver);
      state->Fill(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        state->Read(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

struct PictureDialog {
  const DriverState* driver;
  PictureSettings picture;  // opens with this, and holds the choice on OK
  bool source;              // the source dialog (noise, motion) or the display dialog (caption)
};

void SetCheck(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

INT_PTR CALLBACK PictureProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<PictureDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      state = reinterpret_cast<PictureDialog*>(lparam);
      SetDriverLine(dialog, *state->driver);
      if (state->source) {
        SetCheck(dialog, ZU_IDC_SIMCAM_NOISE, state->picture.noise);
        SetCheck(dialog, ZU_IDC_SIMCAM_MOTION, state->picture.motion);
      } else {
        SetCheck(dialog, ZU_IDC_SIMCAM_CAPTION, state->picture.caption);
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        if (state->source) {
          state->picture.noise = Checked(dialog, ZU_IDC_SIMCAM_NOISE);
          state->picture.motion = Checked(dialog, ZU_IDC_SIMCAM_MOTION);
        } else {
          state->picture.caption = Checked(dialog, ZU_IDC_SIMCAM_CAPTION);
        }
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

bool RunPictureDialog(HWND owner, const DriverState& driver, bool source, int resource,
                      PictureSettings* picture) {
  PictureDialog state{&driver, driver.picture, source};
  const DialogPicks& picks = driver.config.picks;
  if (source) {
    state.picture.noise = picks.noise.value_or(state.picture.noise);
    state.picture.motion = picks.motion.value_or(state.picture.motion);
  } else {
    state.picture.caption = picks.caption.value_or(state.picture.caption);
  }
  const INT_PTR result = DialogBoxParamW(Module(), MAKEINTRESOURCEW(resource), owner, PictureProc,
                                         reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return false;
  *picture = state.picture;
  return true;
}

}  // namespace

bool RunFormatDialog(HWND owner, const DriverState& driver, VideoFormat* format) {
  FormatDialog state{&driver, driver.config.picks.format.value_or(driver.format), {}, {}, {}};
  const INT_PTR result =
      DialogBoxParamW(Module(), MAKEINTRESOURCEW(ZU_IDD_SIMCAM_FORMAT), owner, FormatProc,
                      reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return false;
  *format = state.chosen;
  return true;
}

bool RunSourceDialog(HWND owner, const DriverState& driver, PictureSettings* picture) {
  return RunPictureDialog(owner, driver, true, ZU_IDD_SIMCAM_SOURCE, picture);
}

bool RunDisplayDialog(HWND owner, const DriverState& driver, PictureSettings* picture) {
  return RunPictureDialog(owner, driver, false, ZU_IDD_SIMCAM_DISPLAY, picture);
}

}  // namespace zu::simcam
