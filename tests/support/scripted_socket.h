// A datagram socket whose replies are scripted: each wait for a datagram takes the next step.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/datagram_socket.h"
#include "tests/support/virtual_clock.h"

namespace pxr::test {

class ScriptedSocket final : public DatagramSocket {
 public:
  struct Step {
    enum class Kind { kSilence, kDatagram, kReply, kStaleReply, kWaitError, kReceiveError };
    Kind kind;
    std::vector<uint8_t> bytes;  // kDatagram: whole frame; kReply/kStaleReply: payload
  };

  explicit ScriptedSocket(VirtualClock& clock) : clock_(clock) {}

  // Scripting helpers.
  void Silence(int times = 1) {
    for (int i = 0; i < times; ++i) steps_.push_back({Step::Kind::kSilence, {}});
  }
  void Datagram(std::vector<uint8_t> frame) {
    steps_.push_back({Step::Kind::kDatagram, std::move(frame)});
  }
  // A reply frame carrying the sequence bits of the last frame sent.
  void Reply(std::vector<uint8_t> payload) {
    steps_.push_back({Step::Kind::kReply, std::move(payload)});
  }
  // A reply frame carrying the sequence bits of the request before (a late reply).
  void StaleReply(std::vector<uint8_t> payload) {
    steps_.push_back({Step::Kind::kStaleReply, std::move(payload)});
  }
  void Busy() { Datagram({0x08, 0x01, 0x00}); }
  void PingAnswer() { Datagram({0x00, 0x01, 0x00}); }
  void ReceiveError() { steps_.push_back({Step::Kind::kReceiveError, {}}); }

  std::vector<std::vector<uint8_t>> sent;
  std::vector<uint32_t> waits;
  std::string lastAddressText;
  uint32_t connectedAddress = 0;
  uint16_t connectedPort = 0;
  int failSends = 0;  // the next N sends fail
  bool refuseLookup = false;
  int cleanups = 0;
  int startups = 0;

  bool Startup() override {
    ++startups;
    return true;
  }
  void Cleanup() override { ++cleanups; }
  bool ParseDotted(std::string_view text, uint32_t& address) override {
    lastAddressText = std::string(text);
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(lastAddressText.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) {
      return false;
    }
    address = (a << 24) | (b << 16) | (c << 8) | d;
    return address != 0xFFFFFFFFu;
  }
  bool LookupHost(std::string_view name, uint32_t& address) override {
    if (refuseLookup) return false;
    if (name == "255.255.255.255") {
      address = 0xFFFFFFFFu;
      return true;
    }
    address = 0x7F000001;
    return true;
  }
  bool Create() override {
    open_ = true;
    return true;
  }
  bool SetNonBlocking() override { return true; }
  bool Connect(uint32_t address, uint16_t port) override {
    connectedAddress = address;
    connectedPort = port;
    return true;
  }
  int32_t Send(const uint8_t* data, int32_t count) override {
    if (failSends > 0) {
      --failSends;
      return -1;
    }
    sent.emplace_back(data, data + count);
    return count;
  }
  int WaitReadable(uint32_t waitMs) override {
    waits.push_back(waitMs);
    if (steps_.empty() || steps_.front().kind == Step::Kind::kSilence) {
      if (!steps_.empty()) steps_.pop_front();
      clock_.Advance(waitMs);
      return 0;
    }
    if (steps_.front().kind == Step::Kind::kWaitError) {
      steps_.pop_front();
      return -1;
    }
    return 1;
  }
  int32_t Receive(uint8_t* buffer, int32_t capacity) override {
    Step step = std::move(steps_.front());
    steps_.pop_front();
    std::vector<uint8_t> frame;
    switch (step.kind) {
      case Step::Kind::kReceiveError:
        return -1;
      case Step::Kind::kDatagram:
        frame = std::move(step.bytes);
        break;
      case Step::Kind::kReply:
      case Step::Kind::kStaleReply: {
        uint8_t seq = sent.empty() ? 0 : (sent.back()[0] & 0xC0);
        if (step.kind == Step::Kind::kStaleReply) seq = static_cast<uint8_t>((seq - 0x40) & 0xC0);
        const auto n = static_cast<uint32_t>(step.bytes.size());
        frame = {static_cast<uint8_t>(seq | ((n >> 8) & 7)), static_cast<uint8_t>(n & 0xFF)};
        frame.insert(frame.end(), step.bytes.begin(), step.bytes.end());
        break;
      }
      default:
        return -1;
    }
    if (static_cast<int32_t>(frame.size()) > capacity) return -1;
    std::copy(frame.begin(), frame.end(), buffer);
    return static_cast<int32_t>(frame.size());
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

  size_t Remaining() const { return steps_.size(); }

 private:
  VirtualClock& clock_;
  std::deque<Step> steps_;
  bool open_ = false;
};

}  // namespace pxr::test
