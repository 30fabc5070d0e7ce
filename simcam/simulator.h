// The simulated capture library's process-wide state: the configured drivers with their current
// formats and which capture window each one serves, and the log of every capture window.
//
// Any thread may call in (a test configures from its own thread while windows run on theirs);
// one lock guards everything, and nothing calls out of this class while holding it.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "simcam/sim_config.h"
#include "simcam/simcam_control.h"

namespace zu::simcam {

struct DriverState {
  int index = -1;
  DriverConfig config;
  VideoFormat format;  // as set; what GET_VIDEOFORMAT reports may differ by a fault
  PictureSettings picture;
  HWND owner = nullptr;
};

// The format the driver reports: its own, unless a fault makes it claim an oversized table.
VideoFormat ReportedFormat(const DriverState& driver);

enum class ConnectResult { kConnected, kNoDriver, kInUse, kRefused };

class Simulator {
 public:
  static Simulator& Get();

  // Null: ZU_SIMCAM's text (or the file it names), else the default.
  bool Configure(const char* text, std::string* error);
  void Reset();
  bool CreateWindowFails() const;

  std::optional<DriverConfig> DriverAt(int index) const;
  ConnectResult Connect(int index, HWND window);
  bool Disconnect(HWND window);
  // The driver serving `window`, as a copy.
  std::optional<DriverState> DriverOf(HWND window) const;
  std::optional<DriverState> Driver(int index) const;
  HWND Owner(int index) const;
  // Change the driver serving `window`; false when it has none.
  bool SetFormat(HWND window, const VideoFormat& format);
  bool SetPicture(HWND window, const PictureSettings& picture);

  // Logs. A ticket ties the end of a message's handling to the entry its arrival made.
  struct Ticket {
    uint64_t generation = 0;
    uint64_t sequence = 0;
  };
  void WindowCreated(HWND window);
  void WindowDestroyed(HWND window);
  Ticket LogArrival(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void LogResult(HWND window, const Ticket& ticket, LRESULT result, const std::string& detail);
  int ReadLog(HWND window, SimCamLogEntry* entries, int capacity) const;
  int ListWindows(HWND* windows, int capacity) const;

 private:
  struct WindowRecord {
    HWND window = nullptr;
    bool alive = true;
    bool created_since_reset = true;
    std::deque<SimCamLogEntry> entries;
    uint64_t first_sequence = 0;  // of entries.front()
  };

  Simulator();
  bool ApplyLocked(const SimConfig& config);
  WindowRecord* RecordLocked(HWND window);
  const WindowRecord* RecordLocked(HWND window) const;
  std::optional<DriverState>* SlotOfLocked(HWND window);

  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  SimConfig config_;
  std::array<std::optional<DriverState>, kDriverSlots> drivers_;
  std::vector<WindowRecord> windows_;
  uint64_t generation_ = 1;
};

// Holds the simulator's lock exclusively for a scope.
class SimulatorLock {
 public:
  explicit SimulatorLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~SimulatorLock() { ReleaseSRWLockExclusive(lock_); }
  SimulatorLock(const SimulatorLock&) = delete;
  SimulatorLock& operator=(const SimulatorLock&) = delete;

 private:
  SRWLOCK* lock_;
};

}  // namespace zu::simcam
