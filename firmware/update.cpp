#include "firmware/update.h"

#include <cstring>

#include "firmware/srecord.h"
#include "firmware/text_file.h"
#include "link/status.h"
#include "loader/byte_order.h"
#include "loader/loader.h"

namespace pxr {

bool ImageHeaderValid(const uint8_t* header) {
  uint32_t flashAddress, targetAddress, words;
  uint16_t kind;
  GetU32BE(header + 4, flashAddress);
  GetU32BE(header + 8, targetAddress);
  GetU32BE(header + 12, words);
  GetU16BE(header + 26, kind);
  // Unsigned 32-bit sums, as the loader computes them.
  const uint32_t bytes = 4u * words;
  return flashAddress >= 0x00100000u && flashAddress + bytes <= 0x00400000u &&
         targetAddress >= 0x40000000u && targetAddress + bytes <= 0x41000000u && kind == 1;
}

int32_t EraseFirmwareArea(ProcedureContext& context) {
  int32_t result = status::kOk;
  for (uint32_t i = 0; i < flash::kFirmwareSectors; ++i) {
    if (result == status::kOk) {
      result = context.loader.LoaderEraseSector(flash::kFirmwareStart + i * flash::kSector64K);
    }
    ShowProgress(context.progress, "Erasing Firmware ... ( %u%% )", context.status,
                 flash::kFirmwareSectors, i + 1);
  }
  return result;
}

int32_t UpdateFirmware(ProcedureContext& context, FirmwareReader& reader, const std::string& path) {
  StatusLine& status = context.status;
  TextFile file;
  if (!file.Open(path)) return status::kInvalidFirmware;
  const uint64_t length = file.Length();
  if (length < flash::kMinFirmwareFileBytes) {
    status.SetStatusText("Invalid Firmware File!");
    return status::kInvalidFirmware;
  }

  status.SetStatusText("Erasing Firmware ...");
  int32_t rc = EraseFirmwareArea(context);
  if (rc != status::kOk) {
    status.SetStatusText("Erasing Firmware ... failed!");
    return rc;
  }

  status.SetStatusText("Programming Firmware ...");
  reader.ClearPending();
  uint8_t block[kBlockSize];
  // The last programmed block doubles as the header buffer, as a failed read leaves it.
  for (;;) {
    uint32_t start = 0;
    const int32_t n = reader.ReadFirmwareBlock(file, block, start);
    if (n < 0) {
      status.SetStatusText("Invalid Firmware File!");
      return status::kInvalidFirmware;
    }
    if (n == 0) break;
    int32_t padded = n;
    while (padded % 4 != 0) block[padded++] = 0xFF;
    uint32_t value = 0;
    rc = context.loader.LoaderProgramFlash(start, static_cast<uint16_t>(padded), block, value);
    if (rc != status::kOk) status.SetStatusText("Firmware: Programming Flash ... failed!");
    ShowProgress(context.progress, "Firmware: Programming Flash ... ( %u%% )", status,
                 static_cast<uint32_t>(length), static_cast<uint32_t>(file.Position()));
    if (rc != status::kOk) {
      status.SetStatusText("Programming Firmware ... failed!");
      return rc;
    }
  }

  // A failed read of the header ends the update with the read's status, rather than checking
  // whatever the buffer still held.
  uint8_t header[flash::kImageHeaderBytes];
  rc = context.loader.LoaderReadFlash(flash::kFirmwareStart, flash::kImageHeaderBytes, header);
  if (rc != status::kOk) {
    status.SetStatusText("Programming Firmware ... failed!");
    return rc;
  }
  if (!ImageHeaderValid(header)) {
    status.SetStatusText("Invalid Firmware File!");
    return status::kInvalidFirmware;
  }

  uint32_t value = 0;
  rc = context.loader.LoaderProgramFlash(flash::kFirmwareStart, sizeof flash::kValidityMarker,
                                         flash::kValidityMarker, value);
  status.SetStatusText(rc == status::kOk ? "Programming Firmware ... passed!"
                                         : "Programming Firmware ... failed!");
  return rc;
}

}  // namespace pxr
