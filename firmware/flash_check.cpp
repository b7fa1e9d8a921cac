#include "firmware/flash_check.h"

#include <array>

#include "link/status.h"
#include "loader/byte_order.h"
#include "loader/loader.h"

namespace pxr {

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc =
          (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

constexpr uint32_t kBlock = 1024;
constexpr uint32_t kBootCheckStart = 0x510;
constexpr uint32_t kBootSectorEnd = 0x2000;
constexpr uint32_t kLoaderStart = 0x10000;
constexpr uint32_t kLoaderImageBody = 0x10040;
constexpr uint32_t kLoaderRegionEnd = 0x30000;

// The 68 sectors of the erase, in order.
uint32_t SectorOfStep(uint32_t step) {
  if (step < 7) return 0x2000 + step * 0x2000;
  if (step < 20) return 0x30000 + (step - 7) * 0x10000;
  return 0x100000 + (step - 20) * 0x10000;
}
constexpr uint32_t kEraseSteps = 68;

}  // namespace

uint16_t Crc16(uint16_t crc, const uint8_t* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

bool IsErased(uint32_t count, const uint8_t* bytes) {
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes[i] != 0xFF) return false;
  }
  return true;
}

int32_t CheckBootLoaderSectors(Loader& loader, uint16_t& crc) {
  uint8_t block[kBlock];
  for (uint32_t address = kBootCheckStart; address < kBootSectorEnd; address += kBlock) {
    if (int32_t rc = loader.LoaderReadFlash(address, kBlock, block); rc != status::kOk) return rc;
    if (!IsErased(kBlock, block)) return status::kIllegalData;
  }

  if (int32_t rc = loader.LoaderReadFlash(kLoaderStart, kBlock, block); rc != status::kOk) {
    return rc;
  }
  uint32_t words = 0;
  GetU32BE(block + 12, words);
  for (uint32_t address = kLoaderImageBody + 4u * words; address < kLoaderRegionEnd;
       address += kBlock) {
    if (int32_t rc = loader.LoaderReadFlash(address, kBlock, block); rc != status::kOk) return rc;
    if (!IsErased(kBlock, block)) return status::kIllegalData;
  }

  uint16_t sum = 0;
  for (uint32_t address = 0; address < kLoaderRegionEnd; address += kBlock) {
    if (int32_t rc = loader.LoaderReadFlash(address, kBlock, block); rc != status::kOk) return rc;
    if (address == 0) {
      for (uint32_t i = 0x20; i < 0x28; ++i) block[i] = 0;
    }
    sum = Crc16(sum, block, kBlock);
  }
  crc = sum;
  return status::kOk;
}

int32_t EraseAndCheckFlash(ProcedureContext& context, uint16_t& crc) {
  int32_t result = status::kOk;
  for (uint32_t step = 0; step < kEraseSteps; ++step) {
    if (result == status::kOk) result = context.loader.LoaderEraseSector(SectorOfStep(step));
    ShowProgress(context.progress, "Erasing Flash ... ( %u%% )", context.status, kEraseSteps,
                 step + 1);
  }
  if (result != status::kOk) return result;
  context.status.SetStatusText("Checking for illegal data in boot/loader sectors");
  return CheckBootLoaderSectors(context.loader, crc);
}

}  // namespace pxr
