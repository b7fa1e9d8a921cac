#include "link/clock.h"

#include <chrono>
#include <thread>

namespace pxr {

uint32_t SteadyClock::TickMs() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SteadyClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void DelayMs(Clock& clock, uint32_t ms) {
  const uint32_t start = clock.TickMs();
  for (;;) {
    const uint32_t elapsed = clock.TickMs() - start;
    if (elapsed >= ms) return;
    clock.SleepMs(ms - elapsed);
  }
}

}  // namespace pxr
