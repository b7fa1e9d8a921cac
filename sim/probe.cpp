#include "sim/probe.h"

#include <algorithm>

#include "loader/byte_order.h"

namespace pxr::sim {

namespace {

constexpr uint8_t kReadIdentity = 0x64;
constexpr uint8_t kReadFlash = 0x65;
constexpr uint8_t kEraseSector = 0x67;
constexpr uint8_t kProgramFlash = 0x68;
constexpr uint8_t kStartFirmware = 0x71;
constexpr uint8_t kHello = 0x72;

constexpr uint8_t kStatusBadAddress = 0x01;
constexpr uint8_t kStatusBadRequest = 0x02;

uint32_t U32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
void PutU32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

std::vector<uint8_t> MakeFrame(uint8_t head, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame;
  frame.reserve(payload.size() + 2);
  const auto n = static_cast<uint32_t>(payload.size());
  frame.push_back(static_cast<uint8_t>(head | ((n >> 8) & 7)));
  frame.push_back(static_cast<uint8_t>(n & 0xFF));
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

}  // namespace

Probe::Probe(ProbeConfig config) : config_(std::move(config)), speed_(config_.startSpeed) {}

uint16_t Probe::FirmwareWord() const {
  const uint8_t* image = flash_.Bytes().data() + kFirmwareStart;
  if (image[0] != 0xAA || image[1] != 0x55 || image[2] != 0x55 || image[3] != 0xAA) return 0;
  return static_cast<uint16_t>((image[kImageFamilyOffset] << 8) | image[kImageVersionOffset]);
}

std::vector<Outgoing> Probe::HandleFrame(const uint8_t* frame, int32_t length, bool serial) {
  std::vector<Outgoing> out;
  if (config_.silent || length < 2) return out;
  const int32_t payloadLength = ((frame[0] & 7) << 8) | frame[1];
  if (payloadLength != length - 2) return out;  // damaged: a real loader stays silent
  const uint8_t* payload = frame + 2;

  if ((frame[0] & 0x10) == 0) {
    // Link-control frame.
    if (payloadLength == 1 && payload[0] == 0x01) {
      lastRequest_.clear();  // a ping opens a new link session
      out.push_back({0, {0x00, 0x01, 0x00}});
    } else if (serial && payloadLength == 5 && payload[0] == 0x03) {
      const uint32_t wanted = U32(payload + 1);
      uint32_t chosen = kSpeeds[0];
      for (uint32_t s : kSpeeds) {
        if (s <= wanted) chosen = s;
      }
      Outgoing o{0, {0x00, 0x05, 0x03}};
      PutU32(o.frame, chosen);
      o.switchSpeedAfter = chosen;
      out.push_back(std::move(o));
    }
    return out;
  }

  // Transaction request. An exact repeat of the last request is a resend: answer it again
  // without carrying the request out twice.
  const uint8_t sequence = frame[0] & 0xC0;
  std::vector<uint8_t> request(frame, frame + length);
  std::vector<uint8_t> reply;
  uint32_t busyMs = 0;
  bool fresh = true;
  if (request == lastRequest_) {
    ++counters_.duplicates;
    reply = lastReply_;
    fresh = false;
  } else {
    ++counters_.requests;
    if (config_.silentAfter >= 0 && counters_.requests > config_.silentAfter) return out;
    reply = HandleRequest(payload, payloadLength, busyMs);
    lastRequest_ = std::move(request);
    lastReply_ = reply;
  }

  const int n = counters_.requests;
  if (fresh && Every(config_.dropEvery, n)) {
    ++counters_.dropped;
    return out;
  }
  if (fresh && Every(config_.staleEvery, n)) {
    ++counters_.stale;
    const uint8_t staleSequence = static_cast<uint8_t>((sequence + 0x40) & 0xC0);
    out.push_back({0, MakeFrame(staleSequence, reply)});
  }
  uint32_t delay = 0;
  if (busyMs > 0 || (fresh && Every(config_.busyEvery, n))) {
    ++counters_.busy;
    out.push_back({0, {0x08, 0x01, 0x00}});
    delay = busyMs > 0 ? busyMs : 20;
  }
  Outgoing answer{delay, MakeFrame(sequence, reply)};
  if (serial && fresh && Every(config_.corruptEvery, ++serialReplies_)) {
    ++counters_.corrupted;
    answer.corruptChecksum = true;
  }
  out.push_back(std::move(answer));
  return out;
}

std::vector<uint8_t> Probe::HandleRequest(const uint8_t* p, int32_t length, uint32_t& busyMs) {
  if (length < 1) return {0x00};
  const uint8_t code = p[0];
  switch (code) {
    case kHello:
      return {0x00};
    case kReadIdentity: {
      std::vector<uint8_t> r{kReadIdentity, static_cast<uint8_t>(config_.loaderVersion >> 8),
                             static_cast<uint8_t>(config_.loaderVersion)};
      const uint16_t word = FirmwareWord();
      r.push_back(static_cast<uint8_t>(word >> 8));
      r.push_back(static_cast<uint8_t>(word));
      PutU32(r, 0);
      std::string serial = config_.serialNumber;
      serial.resize(8, ' ');
      r.insert(r.end(), serial.begin(), serial.end());
      PutU32(r, 0);
      r.resize(static_cast<size_t>(std::max(1, config_.identityLength)), 0);
      return r;
    }
    case kReadFlash: {
      if (length != 7) return {kReadFlash, kStatusBadRequest};
      const uint32_t address = U32(p + 1);
      const uint16_t count = U16(p + 5);
      std::vector<uint8_t> r(7u + count, 0);
      r[0] = kReadFlash;
      if (!flash_.Read(address, r.data() + 7, count)) return {kReadFlash, kStatusBadAddress};
      return r;
    }
    case kEraseSector: {
      if (length != 5) return {kEraseSector, kStatusBadRequest};
      const bool ok = flash_.EraseSector(U32(p + 1));
      flashChanged_ |= ok;
      busyMs = config_.eraseMs;
      return {kEraseSector, ok ? uint8_t{0} : kStatusBadAddress};
    }
    case kProgramFlash: {
      if (length < 7) return {kProgramFlash, kStatusBadRequest, 0, 0, 0, 0};
      const uint32_t address = U32(p + 1);
      const uint16_t count = U16(p + 5);
      std::vector<uint8_t> r{kProgramFlash, 0};
      PutU32(r, address + count);
      if (length != 7 + count) {
        r[1] = kStatusBadRequest;
      } else if (!flash_.Program(address, p + 7, count)) {
        r[1] = kStatusBadAddress;
      } else {
        flashChanged_ = true;
      }
      busyMs = config_.programMs;
      return r;
    }
    case kStartFirmware:
      firmwareStarted_ = true;
      return {kStartFirmware, 0};
    default:
      return {code, kStatusBadRequest};
  }
}

}  // namespace pxr::sim
