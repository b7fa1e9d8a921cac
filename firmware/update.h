// Firmware update: erase the firmware area, program the S-record image in blocks, check the
// image header read back, and write the validity marker last.
//
// Results: 0; -4003 file missing, shorter than 100000 bytes, with a bad line, or with a header
// that fails its checks; otherwise the loader status of the failing request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/progress.h"

namespace pxr {

class FirmwareReader;
class Loader;

// What a procedure works with: the loader on an open link, the status line, the progress state.
struct ProcedureContext {
  Loader& loader;
  StatusLine& status;
  ProgressState& progress;
};

namespace flash {
inline constexpr uint32_t kFirmwareStart = 0x100000;
inline constexpr uint32_t kFirmwareSectors = 16;
inline constexpr uint32_t kSector64K = 0x10000;
inline constexpr uint32_t kMinFirmwareFileBytes = 100000;
inline constexpr uint32_t kImageHeaderBytes = 32;
inline constexpr uint8_t kValidityMarker[4] = {0xAA, 0x55, 0x55, 0xAA};
}  // namespace flash

// True when a 32-byte image header passes the checks made after programming.
bool ImageHeaderValid(const uint8_t* header);

// Erases the sixteen 64 KiB sectors of the firmware area with progress. 0 or the first failure.
int32_t EraseFirmwareArea(ProcedureContext& context);

// Updates the firmware from the S-record file at path (empty: no such version).
int32_t UpdateFirmware(ProcedureContext& context, FirmwareReader& reader, const std::string& path);

}  // namespace pxr
