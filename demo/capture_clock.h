// The clock that stamps a frame when it is captured and that the host reads when the frame is
// painted: the machine's performance counter, in microseconds. Sender and host on one machine
// read the same counter, so the difference is the frame's latency (under Wine the counter runs
// from the system's monotonic clock, shared by every process).
#pragma once

#include <windows.h>

#include <cstdint>

namespace zu {

inline uint64_t CaptureClockMicros() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  const uint64_t per_second = static_cast<uint64_t>(frequency.QuadPart);
  // Split so that the product cannot overflow however long the machine has been up.
  return ticks / per_second * 1000000u + ticks % per_second * 1000000u / per_second;
}

}  // namespace zu
