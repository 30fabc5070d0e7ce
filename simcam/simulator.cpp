#include "simcam/simulator.h"

#include <algorithm>
#include <cstring>

namespace zu::simcam {
namespace {

constexpr DWORD kMaxConfigFileBytes = 1 << 20;

// ZU_SIMCAM's value, or the content of the file it names. Empty when unset.
std::string EnvironmentText(bool* set) {
  char small[1024];
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableA("ZU_SIMCAM", small, sizeof small);
  std::string value;
  if (length >= sizeof small) {
    value.resize(length);
    length = GetEnvironmentVariableA("ZU_SIMCAM", &value[0], length);
    value.resize(length);
  } else {
    value.assign(small, length);
  }
  *set = length != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  if (value.empty() || value.find_first_of("\n;=") != std::string::npos) return value;
  const DWORD attributes = GetFileAttributesA(value.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return value;
  }
  HANDLE file = CreateFileA(value.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return value;
  std::string content(kMaxConfigFileBytes, '\0');
  DWORD read = 0;
  if (!ReadFile(file, &content[0], kMaxConfigFileBytes, &read, nullptr)) read = 0;
  CloseHandle(file);
  content.resize(read);
  return content;
}

void CopyDetail(const std::string& text, char (&detail)[SIMCAM_DETAIL_CHARS]) {
  const size_t n = std::min(text.size(), sizeof detail - 1);
  std::memcpy(detail, text.data(), n);
  detail[n] = '\0';
}

}  // namespace

VideoFormat ReportedFormat(const DriverState& driver) {
  VideoFormat format = driver.format;
  if (driver.config.faults.colors_over_256) format.colors = kOversizedColorCount;
  return format;
}

Simulator& Simulator::Get() {
  static Simulator simulator;
  return simulator;
}

Simulator::Simulator() {
  std::string ignored;
  Configure(nullptr, &ignored);
}

bool Simulator::Configure(const char* text, std::string* error) {
  SimConfig config = DefaultConfig();
  bool ok = true;
  if (text != nullptr) {
    ok = ParseConfig(text, &config, error);
    if (!ok) return false;  // the configuration stays as it was
  } else {
    bool set = false;
    const std::string environment = EnvironmentText(&set);
    if (set && !ParseConfig(environment, &config, error)) {
      // A developer's typo must not look like a working camera.
      OutputDebugStringA(("simcam: ZU_SIMCAM: " + *error + "; no drivers\n").c_str());
      config = SimConfig{};
      ok = false;
    }
  }
  SimulatorLock lock(&lock_);
  ApplyLocked(config);
  return ok;
}

bool Simulator::ApplyLocked(const SimConfig& config) {
  config_ = config;
  for (int i = 0; i < kDriverSlots; ++i) {
    std::optional<DriverState> previous = std::move(drivers_[i]);
    drivers_[i].reset();
    if (!config.drivers[i]) continue;
    DriverState state;
    state.index = i;
    state.config = *config.drivers[i];
    state.format = state.config.format;
    state.picture = state.config.picture;
    // A window that stays connected keeps the format it set, if the new driver accepts it.
    if (previous && previous->owner != nullptr && IsWindow(previous->owner)) {
      state.owner = previous->owner;
      if (state.config.Supports(previous->format)) state.format = previous->format;
    }
    drivers_[i] = std::move(state);
  }
  return true;
}

void Simulator::Reset() {
  std::string ignored;
  Configure(nullptr, &ignored);
  SimulatorLock lock(&lock_);
  for (auto& driver : drivers_) {
    if (driver) driver->owner = nullptr;
  }
  windows_.clear();
  ++generation_;
}

bool Simulator::CreateWindowFails() const {
  SimulatorLock lock(&lock_);
  return config_.create_window_fails;
}

std::optional<DriverConfig> Simulator::DriverAt(int index) const {
  if (index < 0 || index >= kDriverSlots) return std::nullopt;
  SimulatorLock lock(&lock_);
  if (!drivers_[index]) return std::nullopt;
  return drivers_[index]->config;
}

ConnectResult Simulator::Connect(int index, HWND window) {
  if (index < 0 || index >= kDriverSlots) return ConnectResult::kNoDriver;
  SimulatorLock lock(&lock_);
  std::optional<DriverState>& slot = drivers_[index];
  if (!slot) return ConnectResult::kNoDriver;
  if (slot->owner == window) return ConnectResult::kConnected;
  // A window destroyed without disconnecting (it cannot, but a crashed test might) frees it.
  if (slot->owner != nullptr && IsWindow(slot->owner)) return ConnectResult::kInUse;
  if (slot->config.faults.refuse_connect) return ConnectResult::kRefused;
  for (auto& other : drivers_) {
    if (other && other->owner == window) other->owner = nullptr;
  }
  slot->owner = window;
  return ConnectResult::kConnected;
}

bool Simulator::Disconnect(HWND window) {
  SimulatorLock lock(&lock_);
  std::optional<DriverState>* slot = SlotOfLocked(window);
  if (slot == nullptr) return false;
  (*slot)->owner = nullptr;
  return true;
}

std::optional<DriverState>* Simulator::SlotOfLocked(HWND window) {
  if (window == nullptr) return nullptr;
  for (auto& driver : drivers_) {
    if (driver && driver->owner == window) return &driver;
  }
  return nullptr;
}

std::optional<DriverState> Simulator::DriverOf(HWND window) const {
  SimulatorLock lock(&lock_);
  std::optional<DriverState>* slot = const_cast<Simulator*>(this)->SlotOfLocked(window);
  if (slot == nullptr) return std::nullopt;
  return **slot;
}

std::optional<DriverState> Simulator::Driver(int index) const {
  if (index < 0 || index >= kDriverSlots) return std::nullopt;
  SimulatorLock lock(&lock_);
  return drivers_[index];
}

HWND Simulator::Owner(int index) const {
  if (index < 0 || index >= kDriverSlots) return nullptr;
  SimulatorLock lock(&lock_);
  return drivers_[index] ? drivers_[index]->owner : nullptr;
}

bool Simulator::SetFormat(HWND window, const VideoFormat& format) {
  SimulatorLock lock(&lock_);
  std::optional<DriverState>* slot = SlotOfLocked(window);
  if (slot == nullptr) return false;
  (*slot)->format = format;
  return true;
}

bool Simulator::SetPicture(HWND window, const PictureSettings& picture) {
  SimulatorLock lock(&lock_);
  std::optional<DriverState>* slot = SlotOfLocked(window);
  if (slot == nullptr) return false;
  (*slot)->picture = picture;
  return true;
}

Simulator::WindowRecord* Simulator::RecordLocked(HWND window) {
  // The latest record: a handle can come back for a new window once the old one is destroyed.
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->window == window) return &*it;
  }
  return nullptr;
}

const Simulator::WindowRecord* Simulator::RecordLocked(HWND window) const {
  return const_cast<Simulator*>(this)->RecordLocked(window);
}

void Simulator::WindowCreated(HWND window) {
  SimulatorLock lock(&lock_);
  WindowRecord record;
  record.window = window;
  windows_.push_back(std::move(record));
}

void Simulator::WindowDestroyed(HWND window) {
  SimulatorLock lock(&lock_);
  if (WindowRecord* record = RecordLocked(window)) record->alive = false;
}

Simulator::Ticket Simulator::LogArrival(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  SimulatorLock lock(&lock_);
  WindowRecord* record = RecordLocked(window);
  if (record == nullptr || !record->alive) {
    // A window from before the last reset: logged again, though not listed as created.
    WindowRecord fresh;
    fresh.window = window;
    fresh.created_since_reset = false;
    windows_.push_back(std::move(fresh));
    record = &windows_.back();
  }
  SimCamLogEntry entry{};
  entry.message = message;
  entry.wparam = wparam;
  entry.lparam = lparam;
  record->entries.push_back(entry);
  // A window that runs a long preview keeps its latest entries.
  while (record->entries.size() > config_.log_entries) {
    record->entries.pop_front();
    ++record->first_sequence;
  }
  return {generation_, record->first_sequence + record->entries.size() - 1};
}

void Simulator::LogResult(HWND window, const Ticket& ticket, LRESULT result,
                          const std::string& detail) {
  SimulatorLock lock(&lock_);
  if (ticket.generation != generation_) return;
  WindowRecord* record = RecordLocked(window);
  if (record == nullptr || ticket.sequence < record->first_sequence) return;
  const uint64_t at = ticket.sequence - record->first_sequence;
  if (at >= record->entries.size()) return;
  record->entries[at].result = result;
  CopyDetail(detail, record->entries[at].detail);
}

int Simulator::ReadLog(HWND window, SimCamLogEntry* entries, int capacity) const {
  SimulatorLock lock(&lock_);
  const WindowRecord* record = RecordLocked(window);
  if (record == nullptr) return -1;
  const int count = static_cast<int>(record->entries.size());
  for (int i = 0; i < count && i < capacity && entries != nullptr; ++i) {
    entries[i] = record->entries[i];
  }
  return count;
}

int Simulator::ListWindows(HWND* windows, int capacity) const {
  SimulatorLock lock(&lock_);
  int count = 0;
  for (const WindowRecord& record : windows_) {
    if (!record.created_since_reset) continue;
    if (windows != nullptr && count < capacity) windows[count] = record.window;
    ++count;
  }
  return count;
}

}  // namespace zu::simcam
