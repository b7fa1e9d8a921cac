#include "firmware/srecord.h"

#include <array>
#include <cstring>

#include "firmware/text_file.h"
#include "link/status.h"

namespace pxr {

namespace {

// Digit values by character: '0'-'9' and 'A'-'F' (either case) as hex digits, and every other
// character, the seven between '9' and 'A' among them, as 0 (the checksum rejects nearly every
// line that has them).
constexpr std::array<uint8_t, 256> MakeDigitTable() {
  std::array<uint8_t, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}
constexpr auto kDigitValue = MakeDigitTable();

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int AddressBytes(char type) {
  switch (type) {
    case '1':
      return 2;
    case '2':
      return 3;
    case '3':
      return 4;
    default:
      return 0;
  }
}

}  // namespace

uint8_t HexByte(char hi, char lo) {
  return static_cast<uint8_t>((kDigitValue[static_cast<unsigned char>(hi)] << 4) |
                              kDigitValue[static_cast<unsigned char>(lo)]);
}

int32_t ParseSRecordLine(std::string_view line, uint32_t& address, uint8_t* data) {
  const size_t length = line.size();
  if (length == 0) return -1;
  size_t i = 0;
  while (i < length && Upper(line[i]) != 'S') ++i;
  if (i == length) return -1;
  // Type and both count digits must lie inside the line.
  if (i + 3 >= length) return -1;
  const auto hex = [&](size_t at) { return HexByte(line[at], line[at + 1]); };
  const uint32_t count = hex(i + 2);
  if (length != i + 5 + 2 * count) return -1;
  const int addressBytes = AddressBytes(Upper(line[i + 1]));
  if (addressBytes == 0) return 0;
  if (count < static_cast<uint32_t>(addressBytes) + 1) return -1;

  size_t at = i + 4;
  uint32_t sum = count;
  uint32_t a = 0;
  for (int k = 0; k < addressBytes; ++k, at += 2) {
    const uint8_t b = hex(at);
    a = (a << 8) | b;
    sum += b;
  }
  const int32_t n = static_cast<int32_t>(count) - addressBytes - 1;
  uint8_t decoded[256];
  for (int32_t k = 0; k < n; ++k, at += 2) {
    decoded[k] = hex(at);
    sum += decoded[k];
  }
  sum += hex(at);
  if ((sum & 0xFF) != 0xFF) return -1;
  if (n > 0) {
    address = a;
    std::memcpy(data, decoded, static_cast<size_t>(n));
  }
  return n;
}

int32_t FirmwareReader::ReadFirmwareBlock(TextFile& file, uint8_t* block, uint32_t& start) {
  int32_t length = 0;
  bool bad = false;
  if (pendingLength_ > 0) {
    std::memcpy(block, pendingData_, static_cast<size_t>(pendingLength_));
    start = pendingAddress_;
    length = pendingLength_;
    pendingLength_ = 0;
  }
  for (;;) {
    const int32_t n = file.ReadLine(line_, kLineBufferSize);
    if (n == 0) break;
    pendingLength_ = ParseSRecordLine(std::string_view(line_, static_cast<size_t>(n)),
                                      pendingAddress_, pendingData_);
    if (pendingLength_ < 0) {
      bad = true;
      break;
    }
    if (pendingLength_ == 0) continue;
    if (length == 0) start = pendingAddress_;
    if (pendingAddress_ != start + static_cast<uint32_t>(length) ||
        length + pendingLength_ > kBlockSize) {
      break;
    }
    std::memcpy(block + length, pendingData_, static_cast<size_t>(pendingLength_));
    length += pendingLength_;
    pendingLength_ = 0;
  }
  return bad ? status::kInvalidFirmware : length;
}

}  // namespace pxr
