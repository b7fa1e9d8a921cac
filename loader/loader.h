// The probe loader's requests: identity, flash read, sector erase, programming, firmware start.
//
// Each operation is one LinkTransact. Status codes: link codes pass through unchanged; -1205 a
// reply of wrong length or echo; -4004 the probe answered 0x72 with 0x72 (after a 1 s pause);
// -4006 erase refused or failed; -4007 programming refused or failed. The request and reply
// buffers are fixed members: no operation allocates.
#pragma once

#include <cstdint>
#include <string>

#include "link/frame.h"

namespace pxr {

class Clock;
class Link;

namespace loader {
inline constexpr uint8_t kReadIdentity = 0x64;
inline constexpr uint8_t kReadFlash = 0x65;
inline constexpr uint8_t kEraseSector = 0x67;
inline constexpr uint8_t kProgramFlash = 0x68;
inline constexpr uint8_t kStartFirmware = 0x71;
inline constexpr uint8_t kHello = 0x72;

// Extra time (ms) each request may take inside the loader.
inline constexpr uint32_t kIdentityWaitMs = 1000;
inline constexpr uint32_t kReadFlashWaitMs = 100;
inline constexpr uint32_t kEraseWaitMs = 10000;
inline constexpr uint32_t kProgramWaitMs = 1000;
inline constexpr uint32_t kStartWaitMs = 200;
inline constexpr uint32_t kHelloWaitMs = 100;
inline constexpr uint32_t kRestartPauseMs = 1000;

inline constexpr int32_t kIdentityReplyLength = 21;
inline constexpr uint16_t kMaxProgramCount = kMaxPayload - 7;  // 1491
inline constexpr uint16_t kMaxReadCount = kFrameBufferSize - 2 - 7;
inline constexpr int kSerialTextLength = 8;
}  // namespace loader

// MAC address text: "029A4E" and the first six characters of the serial-number text.
std::string MacAddressText(const std::string& serialText);

class Loader {
 public:
  // familyCode: target family of this program's firmware (high byte of the firmware word).
  Loader(Link& link, Clock& clock, uint8_t familyCode);

  int32_t LoaderReadIdentity(uint16_t& loaderVersion, uint16_t& firmwareVersion,
                             std::string& serialText);
  int32_t LoaderReadFlash(uint32_t address, uint16_t count, uint8_t* destination);
  int32_t LoaderEraseSector(uint32_t address);
  int32_t LoaderProgramFlash(uint32_t address, uint16_t count, const uint8_t* data,
                             uint32_t& value);
  int32_t LoaderStartFirmware();

  uint8_t FamilyCode() const { return familyCode_; }
  Link& GetLink() { return link_; }

 private:
  int32_t Transact(int32_t requestLength, uint32_t extraTimeoutMs);

  Link& link_;
  Clock& clock_;
  uint8_t familyCode_;
  uint8_t request_[kFrameBufferSize];
  uint8_t reply_[kFrameBufferSize];
};

}  // namespace pxr
