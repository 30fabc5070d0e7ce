/* The simulated capture library's own exports, for tests in the same process.
 *
 * The simulator is an avicap32.dll that a process loads instead of the platform's (see the
 * README). Code under test calls the ordinary capture functions and messages; a test reaches
 * the simulator's controls through these extra exports, found with GetProcAddress on the loaded
 * avicap32.dll (SimCamApi below does that), so the code under test needs no import library of
 * the simulator and cannot tell it from a real one.
 *
 * Configuration text: see simcam/sim_config.h. Without any, the simulator reads ZU_SIMCAM (the
 * text itself, or the name of a file holding it); without that, one driver at index 0.
 */
#ifndef ZU_SIMCAM_CONTROL_H
#define ZU_SIMCAM_CONTROL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The simulator's reports to the capture window's callbacks (numbers from <vfw.h>). */
#define SIMCAM_STATUS_PREVIEW_STARTED 500 /* IDS_CAP_STAT_LIVE_MODE */
#define SIMCAM_STATUS_PREVIEW_STOPPED 301 /* IDS_CAP_END */
#define SIMCAM_ERROR_CONNECT 424          /* IDS_CAP_VIDEO_OPEN_ERROR: refused, or in use */
#define SIMCAM_ERROR_FORMAT 418           /* IDS_CAP_DRIVER_ERROR: a format refused or unreadable */
#define SIMCAM_ERROR_SAVE 406             /* IDS_CAP_ERRORDIBSAVE */
#define SIMCAM_ERROR_NO_FRAME 434         /* IDS_CAP_NO_FRAME_CAP_ERROR: nothing to save */

/* What a capture window shows where there is no live picture. */
#define SIMCAM_BACKGROUND_COLOR RGB(24, 24, 24)

#define SIMCAM_DETAIL_CHARS 160

/* One message a capture window received: what came in, what it answered, and a short text that
 * says what the simulator made of it ("driver 0 connected", "320x240x24 accepted", the file
 * name...). Entries are in order of arrival; an entry's result is filled in when its handling
 * ends, so a message that arrives while another is being handled (a callback's query, a dialog's
 * frames) comes after it. */
typedef struct SimCamLogEntry {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  LRESULT result;
  char detail[SIMCAM_DETAIL_CHARS];
} SimCamLogEntry;

/* Applies a configuration text; null applies ZU_SIMCAM's, or the default. Capture windows keep a
 * connected driver whose index the new text still declares (it takes the new settings and
 * format); the others lose theirs. FALSE, with a message in `error` (when given), for text the
 * simulator cannot read; the configuration is then unchanged. */
BOOL WINAPI SimCamConfigure(const char* text, char* error, int error_size);
/* A fresh start: ZU_SIMCAM's configuration (or the default), every driver free, no logs and no
 * windows listed. Capture windows still open keep working but have no driver. */
void WINAPI SimCamReset(void);
/* Grabs one frame on the capture window's own thread and hands it to the window's frame callback
 * (as a preview frame would be); the preview shows it. FALSE when the window has no driver. */
BOOL WINAPI SimCamPushFrame(HWND window);
/* Copies up to `capacity` entries of the window's log; returns how many it holds, or -1 for a
 * window the simulator has not created since the last reset. */
int WINAPI SimCamReadLog(HWND window, SimCamLogEntry* entries, int capacity);
/* The capture windows created since the last reset, in order (destroyed ones too); returns their
 * number and copies up to `capacity`. */
int WINAPI SimCamListWindows(HWND* windows, int capacity);
/* The driver's current format as a BITMAPINFOHEADER; FALSE when the index has no driver. */
BOOL WINAPI SimCamDriverFormat(int index, BITMAPINFOHEADER* header);
/* The capture window connected to the driver, or null. */
HWND WINAPI SimCamDriverOwner(int index);

typedef BOOL(WINAPI* SimCamConfigureFn)(const char*, char*, int);
typedef void(WINAPI* SimCamResetFn)(void);
typedef BOOL(WINAPI* SimCamPushFrameFn)(HWND);
typedef int(WINAPI* SimCamReadLogFn)(HWND, SimCamLogEntry*, int);
typedef int(WINAPI* SimCamListWindowsFn)(HWND*, int);
typedef BOOL(WINAPI* SimCamDriverFormatFn)(int, BITMAPINFOHEADER*);
typedef HWND(WINAPI* SimCamDriverOwnerFn)(int);

#ifdef __cplusplus
}

#include <string>
#include <vector>

namespace zu::simcam {

// The controls of the avicap32.dll loaded in this process. Bind() fails when that library is
// not the simulator (or none is loaded).
struct SimCamApi {
  SimCamConfigureFn configure = nullptr;
  SimCamResetFn reset = nullptr;
  SimCamPushFrameFn push_frame = nullptr;
  SimCamReadLogFn read_log = nullptr;
  SimCamListWindowsFn list_windows = nullptr;
  SimCamDriverFormatFn driver_format = nullptr;
  SimCamDriverOwnerFn driver_owner = nullptr;

  bool Bind(HMODULE module = GetModuleHandleW(L"avicap32.dll")) {
    if (module == nullptr) return false;
    configure = reinterpret_cast<SimCamConfigureFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamConfigure")));
    reset = reinterpret_cast<SimCamResetFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamReset")));
    push_frame = reinterpret_cast<SimCamPushFrameFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamPushFrame")));
    read_log = reinterpret_cast<SimCamReadLogFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamReadLog")));
    list_windows = reinterpret_cast<SimCamListWindowsFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamListWindows")));
    driver_format = reinterpret_cast<SimCamDriverFormatFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamDriverFormat")));
    driver_owner = reinterpret_cast<SimCamDriverOwnerFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SimCamDriverOwner")));
    return configure && reset && push_frame && read_log && list_windows && driver_format &&
           driver_owner;
  }

  // Configure, with the simulator's message in `error` on failure.
  bool Configure(const std::string& text, std::string* error = nullptr) const {
    char message[256] = {};
    const bool ok = configure(text.c_str(), message, sizeof message) != FALSE;
    if (!ok && error != nullptr) *error = message;
    return ok;
  }

  std::vector<SimCamLogEntry> Log(HWND window) const {
    const int count = read_log(window, nullptr, 0);
    std::vector<SimCamLogEntry> entries(count > 0 ? count : 0);
    if (count > 0) {
      const int now = read_log(window, entries.data(), count);
      entries.resize(now < count ? (now > 0 ? now : 0) : count);
    }
    return entries;
  }

  std::vector<HWND> Windows() const {
    const int count = list_windows(nullptr, 0);
    std::vector<HWND> windows(count > 0 ? count : 0);
    if (count > 0) {
      const int now = list_windows(windows.data(), count);
      windows.resize(now < count ? now : count);
    }
    return windows;
  }
};

}  // namespace zu::simcam
#endif

#endif /* ZU_SIMCAM_CONTROL_H */
