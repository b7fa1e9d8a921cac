// Motorola S-record reading: one line at a time, and blocks of whole records for programming.
//
// ParseSRecordLine: -1 not a valid record, 0 valid but no data, n > 0 data bytes.
// ReadFirmwareBlock: 1..1024 bytes placed, 0 no further data, -4003 a line is not a valid record.
#pragma once

#include <cstdint>
#include <string_view>

namespace pxr {

class TextFile;

inline constexpr int32_t kLineBufferSize = 520;  // at most 519 characters a line
inline constexpr int32_t kBlockSize = 1024;
inline constexpr int32_t kMaxRecordData = 252;

// 16 x value(hi) + value(lo) from the digit table '0'..'F' (':'..'@' count as 0).
uint8_t HexByte(char hi, char lo);

// Decodes one line (its line feed included). data must hold 256 bytes.
int32_t ParseSRecordLine(std::string_view line, uint32_t& address, uint8_t* data);

// Reads a firmware file into blocks of consecutive records, carrying the record that did not fit
// over to the next call. One reader per file being read.
class FirmwareReader {
 public:
  // Forgets a pending record; call before reading a new file.
  void ClearPending() { pendingLength_ = 0; }
  // block must hold 1024 bytes; start receives the block's first address.
  int32_t ReadFirmwareBlock(TextFile& file, uint8_t* block, uint32_t& start);

 private:
  int32_t pendingLength_ = 0;
  uint32_t pendingAddress_ = 0;
  uint8_t pendingData_[256] = {};
  char line_[kLineBufferSize] = {};
};

}  // namespace pxr
