// A datagram socket wired straight to an in-process simulated probe: the real probe logic and
// flash model, no network, with a virtual clock for its silences.
#pragma once

#include <deque>
#include <vector>

#include "link/datagram_socket.h"
#include "sim/probe.h"
#include "tests/support/virtual_clock.h"

namespace pxr::test {

class SimSocket final : public DatagramSocket {
 public:
  SimSocket(VirtualClock& clock, sim::ProbeConfig config) : probe(config), clock_(clock) {}
  sim::Probe probe;
  int sends = 0;

  bool Startup() override { return true; }
  void Cleanup() override {}
  bool ParseDotted(std::string_view, uint32_t& a) override { return (a = 0x7F000001), true; }
  bool LookupHost(std::string_view, uint32_t&) override { return false; }
  bool Create() override { return open_ = true; }
  bool SetNonBlocking() override { return true; }
  bool Connect(uint32_t, uint16_t) override { return true; }
  int32_t Send(const uint8_t* data, int32_t count) override {
    ++sends;
    for (auto& out : probe.HandleFrame(data, count, false)) queue_.push_back(std::move(out.frame));
    return count;
  }
  int WaitReadable(uint32_t waitMs) override {
    if (queue_.empty()) {
      clock_.Advance(waitMs);
      return 0;
    }
    return 1;
  }
  int32_t Receive(uint8_t* buffer, int32_t capacity) override {
    std::vector<uint8_t> frame = std::move(queue_.front());
    queue_.pop_front();
    if (static_cast<int32_t>(frame.size()) > capacity) return -1;
    std::copy(frame.begin(), frame.end(), buffer);
    return static_cast<int32_t>(frame.size());
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

 private:
  VirtualClock& clock_;
  std::deque<std::vector<uint8_t>> queue_;
  bool open_ = false;
};

}  // namespace pxr::test
