#include "loader/loader.h"

#include <cstring>

#include "link/clock.h"
#include "link/link.h"
#include "link/status.h"
#include "loader/byte_order.h"

namespace pxr {

std::string MacAddressText(const std::string& serialText) {
  return "029A4E" + serialText.substr(0, 6);
}

Loader::Loader(Link& link, Clock& clock, uint8_t familyCode)
    : link_(link), clock_(clock), familyCode_(familyCode) {}

int32_t Loader::Transact(int32_t requestLength, uint32_t extraTimeoutMs) {
  return link_.LinkTransact(requestLength, request_, kFrameBufferSize, reply_, extraTimeoutMs);
}

int32_t Loader::LoaderReadIdentity(uint16_t& loaderVersion, uint16_t& firmwareVersion,
                                   std::string& serialText) {
  PutU8(request_, loader::kHello);
  int32_t n = Transact(1, loader::kHelloWaitMs);
  if (n < 0) return n;
  if (reply_[0] == loader::kHello) {
    DelayMs(clock_, loader::kRestartPauseMs);
    return status::kLoaderRestart;
  }

  PutU8(request_, loader::kReadIdentity);
  n = Transact(1, loader::kIdentityWaitMs);
  if (n < 0) return n;
  if (n != loader::kIdentityReplyLength) {
    loaderVersion = 0;
    firmwareVersion = 0;
    return status::kOk;
  }
  if (reply_[0] != loader::kReadIdentity) return status::kUnexpectedReply;
  uint16_t word = 0;
  GetU16BE(reply_ + 1, loaderVersion);
  GetU16BE(reply_ + 3, word);
  // The serial text is whatever the eight bytes hold; it is shown and stored as text, so a NUL
  // among them simply ends it early.
  serialText.assign(reinterpret_cast<const char*>(reply_ + 9), loader::kSerialTextLength);
  serialText.resize(std::strlen(serialText.c_str()));
  const uint16_t relative = static_cast<uint16_t>(word - (uint16_t{familyCode_} << 8));
  firmwareVersion = relative <= 255 ? relative : 0;
  return status::kOk;
}

int32_t Loader::LoaderReadFlash(uint32_t address, uint16_t count, uint8_t* destination) {
  uint8_t* p = PutU8(request_, loader::kReadFlash);
  p = PutU32BE(p, address);
  PutU16BE(p, count);
  const int32_t n = Transact(7, loader::kReadFlashWaitMs);
  if (n < 0) return n;
  if (n != count + 7 || reply_[0] != loader::kReadFlash) return status::kUnexpectedReply;
  std::memcpy(destination, reply_ + 7, count);
  return status::kOk;
}

int32_t Loader::LoaderEraseSector(uint32_t address) {
  PutU32BE(PutU8(request_, loader::kEraseSector), address);
  const int32_t n = Transact(5, loader::kEraseWaitMs);
  if (n < 0) return n;
  if (n != 2 || reply_[0] != loader::kEraseSector) return status::kUnexpectedReply;
  return reply_[1] == 0 ? status::kOk : status::kEraseFailed;
}

int32_t Loader::LoaderProgramFlash(uint32_t address, uint16_t count, const uint8_t* data,
                                   uint32_t& value) {
  if (count > loader::kMaxProgramCount) return status::kInvalidArgument;
  uint8_t* p = PutU8(request_, loader::kProgramFlash);
  p = PutU32BE(p, address);
  p = PutU16BE(p, count);
  std::memcpy(p, data, count);
  const int32_t n = Transact(7 + count, loader::kProgramWaitMs);
  if (n < 0) return n;
  if (n != 6 || reply_[0] != loader::kProgramFlash) return status::kUnexpectedReply;
  GetU32BE(reply_ + 2, value);
  return reply_[1] == 0 ? status::kOk : status::kProgramFailed;
}

int32_t Loader::LoaderStartFirmware() {
  PutU8(request_, loader::kStartFirmware);
  const int32_t n = Transact(1, loader::kStartWaitMs);
  return n < 0 ? n : status::kOk;
}

}  // namespace pxr
