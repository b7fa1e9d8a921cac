// The stored configuration: the configuration file at 0x200000 and the register files its [REGS]
// section names, packed as entries (0x80 + number, then the file's bytes) at 0x210000.
//
// Results: 0; -4010 configuration file missing or 65536 bytes or more; -4011 a register file
// missing, its path longer than 255 characters, or a section of 65536 bytes or more; otherwise
// the loader status of the failing request.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "setupdata/setup_block.h"

namespace pxr {

namespace stored {
inline constexpr int32_t kBufferSize = 65536;
inline constexpr int32_t kLineSize = 257;   // 256 characters and a NUL
inline constexpr int32_t kTokenSize = 256;  // 255 characters and a NUL
inline constexpr size_t kPathMax = 255;
}  // namespace stored

// Reads at most 65536 bytes of a file into buffer. The count read, or -4010.
int32_t ReadWholeFile(const std::string& path, uint8_t* buffer);

// Copies one line of text from position into line (NUL-terminated, at most 256 characters):
// skips leading bytes 0x00-0x20, turns tabs into spaces, stops at CR, LF, any other control byte
// or a byte of 0x7F and above. Returns where it stopped; end bounds the text.
const uint8_t* ReadTextLine(const uint8_t* position, const uint8_t* end, char* line);

// Reads one token of a line: spaces skipped, a quoted token runs to the next quote, any other
// ends at a space or ';'. Returns the position after the token (after a closing quote; at the
// separator otherwise).
const char* ReadToken(const char* position, char* token);

// The name in the directory of the configuration file (the name alone when the path has no
// directory).
std::string SiblingPath(std::string_view configurationPath, std::string_view name);

// Builds the register-file section from the configuration text (which ends at a 0xFF byte).
// Returns the section length or -4011.
int32_t BuildRegisterSection(const uint8_t* text, const std::string& configurationPath,
                             uint8_t* section);

class StoredConfiguration final : public ConfigurationStore {
 public:
  explicit StoredConfiguration(Loader& loader);
  ~StoredConfiguration() override;
  int32_t StoreConfiguration(const std::string& configurationPath) override;

 private:
  int32_t ProgramArea(uint32_t address, const uint8_t* data, int32_t length);

  Loader& loader_;
  std::unique_ptr<uint8_t[]> configuration_;
  std::unique_ptr<uint8_t[]> section_;
};

}  // namespace pxr
