// The simulated PXR probe: link-level answers (ping, speed change, busy and sequence bits),
// the loader's messages on a flash model, and deterministic fault injection.
//
// Transport-free: a server hands it each received frame and sends the frames it returns, each
// after its delay. The same object serves a UDP socket and a pseudo-terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/flash_model.h"

namespace pxr::sim {

struct ProbeConfig {
  std::string serialNumber = "12345678";
  uint16_t loaderVersion = 106;
  int identityLength = 21;  // length of the 0x64 reply (21 for a PXR9)
  uint32_t eraseMs = 0;     // simulated sector erase time (busy reply, then the answer)
  uint32_t programMs = 0;   // simulated programming time
  // Fault injection: 0 = off, N = every Nth new transaction request (or serial reply).
  int dropEvery = 0;
  int busyEvery = 0;
  int staleEvery = 0;
  int corruptEvery = 0;
  int silentAfter = -1;  // stop answering after this many new requests (-1 = never)
  bool silent = false;   // answer nothing at all
  uint32_t startSpeed = 9600;
};

struct FaultCounters {
  int requests = 0;
  int duplicates = 0;
  int dropped = 0;
  int busy = 0;
  int stale = 0;
  int corrupted = 0;
};

struct Outgoing {
  uint32_t delayMs = 0;           // after the frame that caused it
  std::vector<uint8_t> frame;     // link frame (header + payload)
  bool corruptChecksum = false;   // serial only: send a wrong checksum
  uint32_t switchSpeedAfter = 0;  // serial only: probe speed after this frame went out
};

class Probe {
 public:
  static constexpr uint32_t kSpeeds[] = {9600, 19200, 38400, 57600, 115200};

  explicit Probe(ProbeConfig config);

  // Handles one received link frame; returns the frames to send in order.
  std::vector<Outgoing> HandleFrame(const uint8_t* frame, int32_t length, bool serial);

  FlashModel& Flash() { return flash_; }
  const FaultCounters& Counters() const { return counters_; }
  uint32_t Speed() const { return speed_; }
  void SetSpeed(uint32_t baud) { speed_ = baud; }
  void SetSilent(bool silent) { config_.silent = silent; }
  bool FlashChanged() const { return flashChanged_; }
  void ClearFlashChanged() { flashChanged_ = false; }
  bool FirmwareStarted() const { return firmwareStarted_; }
  // Firmware word of the identity: family << 8 | version when the image is marked valid.
  uint16_t FirmwareWord() const;

  // Executes one loader request payload and writes the reply payload.
  std::vector<uint8_t> HandleRequest(const uint8_t* payload, int32_t length, uint32_t& busyMs);

 private:
  static bool Every(int n, int count) { return n > 0 && count % n == 0; }

  ProbeConfig config_;
  FlashModel flash_;
  FaultCounters counters_;
  uint32_t speed_;
  bool flashChanged_ = false;
  bool firmwareStarted_ = false;
  std::vector<uint8_t> lastRequest_;
  std::vector<uint8_t> lastReply_;
  int serialReplies_ = 0;
};

// Where a firmware image carries its version for the simulator: byte 16 of the image header is
// the target family code, byte 17 the version (bytes 16-25 are not examined by the update).
inline constexpr uint32_t kFirmwareStart = 0x100000;
inline constexpr uint32_t kImageFamilyOffset = 16;
inline constexpr uint32_t kImageVersionOffset = 17;

}  // namespace pxr::sim
