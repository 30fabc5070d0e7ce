// The simulated avicap32.dll's entry points: the capture functions a program calls, under their
// real names and calling convention (named by avicap32.def), and the simulator's own controls
// for tests (simcam_control.h).
#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <string>

#include "simcam/ansi_text.h"
#include "simcam/capture_window.h"
#include "simcam/simcam_control.h"
#include "simcam/simulator.h"

namespace {

using zu::simcam::Simulator;
using zu::simcam::Widen;

// The buffer sizes of these functions come as int.
template <typename Char>
void CopyText(const std::basic_string<Char>& text, Char* buffer, int size) {
  if (size > 0) zu::simcam::CopyToBuffer(text, buffer, static_cast<size_t>(size));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    zu::simcam::SetModule(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Only on FreeLibrary: at process exit the windows (and the class) go with the process.
    zu::simcam::UnregisterCaptureWindowClass();
  }
  return TRUE;
}

// ---------------------------------------------------------------- capture functions

extern "C" BOOL WINAPI capGetDriverDescriptionA(UINT index, LPSTR name, int name_size,
                                                LPSTR version, int version_size) {
  const std::optional<zu::simcam::DriverConfig> driver =
      Simulator::Get().DriverAt(static_cast<int>(index));
  if (!driver) return FALSE;
  CopyText(driver->name, name, name_size);
  CopyText(driver->version, version, version_size);
  return TRUE;
}

extern "C" BOOL WINAPI capGetDriverDescriptionW(UINT index, LPWSTR name, int name_size,
                                                LPWSTR version, int version_size) {
  const std::optional<zu::simcam::DriverConfig> driver =
      Simulator::Get().DriverAt(static_cast<int>(index));
  if (!driver) return FALSE;
  CopyText(Widen(driver->name), name, name_size);
  CopyText(Widen(driver->version), version, version_size);
  return TRUE;
}

extern "C" HWND WINAPI capCreateCaptureWindowA(LPCSTR title, DWORD style, int x, int y,
                                               int width, int height, HWND parent, int id) {
  return zu::simcam::CreateCaptureWindowA(title, style, x, y, width, height, parent, id);
}

extern "C" HWND WINAPI capCreateCaptureWindowW(LPCWSTR title, DWORD style, int x, int y,
                                               int width, int height, HWND parent, int id) {
  return zu::simcam::CreateCaptureWindowW(title, style, x, y, width, height, parent, id);
}

// ---------------------------------------------------------------- the simulator's controls

extern "C" BOOL WINAPI SimCamConfigure(const char* text, char* error, int error_size) {
  std::string message;
  const bool ok = Simulator::Get().Configure(text, &message);
  if (!ok) CopyText(message, error, error_size);
  else CopyText(std::string(), error, error_size);
  return ok ? TRUE : FALSE;
}

extern "C" void WINAPI SimCamReset(void) { Simulator::Get().Reset(); }

extern "C" BOOL WINAPI SimCamPushFrame(HWND window) {
  return zu::simcam::PushFrame(window) ? TRUE : FALSE;
}

extern "C" int WINAPI SimCamReadLog(HWND window, SimCamLogEntry* entries, int capacity) {
  return Simulator::Get().ReadLog(window, entries, capacity);
}

extern "C" int WINAPI SimCamListWindows(HWND* windows, int capacity) {
  return Simulator::Get().ListWindows(windows, capacity);
}

extern "C" BOOL WINAPI SimCamDriverFormat(int index, BITMAPINFOHEADER* header) {
  const std::optional<zu::simcam::DriverState> driver = Simulator::Get().Driver(index);
  if (!driver || header == nullptr) return FALSE;
  const std::vector<uint8_t> block = zu::simcam::FormatBlock(zu::simcam::ReportedFormat(*driver));
  std::memcpy(header, block.data(), sizeof *header);
  return TRUE;
}

extern "C" HWND WINAPI SimCamDriverOwner(int index) { return Simulator::Get().Owner(index); }
