// Serial ports for unit tests: a byte queue with a virtual clock, and a line with the simulated
// probe at its far end.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "link/serial_framing.h"
#include "link/serial_port.h"
#include "sim/frame_decoder.h"
#include "sim/probe.h"
#include "tests/support/virtual_clock.h"

namespace pxr::test {

// Bytes to read are queued by the test; writes are recorded.
class ByteQueuePort : public SerialPort {
 public:
  explicit ByteQueuePort(VirtualClock& clock) : clock_(clock) {}

  void Queue(const std::vector<uint8_t>& bytes) {
    input.insert(input.end(), bytes.begin(), bytes.end());
  }

  std::deque<uint8_t> input;
  std::vector<uint8_t> written;
  std::vector<uint32_t> speeds;  // every speed applied
  std::set<uint32_t> refused;    // speeds the port refuses
  int readErrors = 0;            // the next N reads fail without waiting
  bool clearFails = false;
  bool openFails = false;
  std::string openedName;

  bool Open(std::string_view device) override {
    if (openFails) return false;
    openedName = std::string(device);
    open_ = true;
    speed_ = 9600;
    return true;
  }
  bool SetSpeed(uint32_t baud) override {
    if (refused.count(baud) || baud == 0) return false;
    speeds.push_back(baud);
    speed_ = baud;
    return true;
  }
  int ReadByte(uint8_t& byte, uint32_t waitMs) override {
    if (readErrors > 0) {
      --readErrors;
      return -1;
    }
    if (input.empty()) {
      clock_.Advance(waitMs);
      return 0;
    }
    byte = input.front();
    input.pop_front();
    return 1;
  }
  int32_t Write(const uint8_t* data, int32_t count) override {
    written.insert(written.end(), data, data + count);
    OnWritten(data, count);
    return count;
  }
  bool ClearError() override { return !clearFails; }
  void PurgeInput() override { input.clear(); }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  PortError LastError() const override { return PortError::kNone; }
  std::string LastDevice() const override { return openedName; }
  uint32_t Speed() const { return speed_; }

 protected:
  virtual void OnWritten(const uint8_t*, int32_t) {}
  VirtualClock& clock_;
  bool open_ = false;
  uint32_t speed_ = 9600;
};

// A serial line to the simulated probe: the probe hears bytes only when the port runs at the
// probe's speed, and its answers are queued for reading.
class SimLinePort final : public ByteQueuePort {
 public:
  SimLinePort(VirtualClock& clock, sim::ProbeConfig config) : ByteQueuePort(clock), probe(config) {}
  sim::Probe probe;
  int framesHeard = 0;

 protected:
  void OnWritten(const uint8_t* data, int32_t count) override {
    if (speed_ != probe.Speed()) {
      decoder_.Reset();
      return;
    }
    for (int32_t i = 0; i < count; ++i) {
      if (decoder_.Feed(data[i]) != sim::FrameDecoder::Result::kFrame) continue;
      ++framesHeard;
      const auto& f = decoder_.Frame();
      for (auto& out : probe.HandleFrame(f.data(), static_cast<int32_t>(f.size()), true)) {
        uint8_t framed[FramedSize(1500)];
        const int32_t n =
            EncodeSerialFrame(out.frame.data(), static_cast<int32_t>(out.frame.size()), framed);
        input.insert(input.end(), framed, framed + n);
        if (out.switchSpeedAfter) probe.SetSpeed(out.switchSpeedAfter);
      }
    }
  }

 private:
  sim::FrameDecoder decoder_;
};

}  // namespace pxr::test
