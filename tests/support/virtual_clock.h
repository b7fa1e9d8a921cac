// A clock that moves only when the code under test sleeps or a fake channel waits.
#pragma once

#include <cstdint>

#include "link/clock.h"

namespace pxr::test {

class VirtualClock final : public Clock {
 public:
  uint32_t TickMs() override { return now_; }
  void SleepMs(uint32_t ms) override {
    now_ += ms;
    slept_ += ms;
  }
  void Advance(uint32_t ms) { now_ += ms; }
  uint32_t Now() const { return now_; }
  uint64_t Slept() const { return slept_; }

 private:
  uint32_t now_ = 1000;
  uint64_t slept_ = 0;
};

}  // namespace pxr::test
