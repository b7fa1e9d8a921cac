// Millisecond clock used for every wait of the link.
//
// The link measures waits on a monotonic millisecond counter and compares tick values with
// unsigned differences, so a wrap of the 32-bit counter is harmless. Tests replace the clock with a
// virtual one that advances only when the code sleeps or a fake channel waits.
#pragma once

#include <cstdint>

namespace pxr {

class Clock {
 public:
  virtual ~Clock() = default;
  // Current tick of a monotonic millisecond counter (wraps at 2^32).
  virtual uint32_t TickMs() = 0;
  // Gives up the processor for about ms milliseconds (may return early or late).
  virtual void SleepMs(uint32_t ms) = 0;
};

// Clock on std::chrono::steady_clock.
class SteadyClock final : public Clock {
 public:
  uint32_t TickMs() override;
  void SleepMs(uint32_t ms) override;
};

// Returns once the tick counter has advanced by at least ms (sleeping, not spinning).
void DelayMs(Clock& clock, uint32_t ms);

}  // namespace pxr
