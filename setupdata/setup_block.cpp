#include "setupdata/setup_block.h"

#include <algorithm>

#include "link/status.h"
#include "loader/byte_order.h"
#include "loader/loader.h"

namespace pxr {

uint32_t ParseIpAddress(std::string_view text) {
  uint32_t address = 0;
  size_t i = 0;
  for (int part = 1;; ++part) {
    uint32_t value = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++digits > 3) return setup::kInvalidAddress;
      value = value * 10 + static_cast<uint32_t>(text[i++] - '0');
    }
    if (value > 255) return setup::kInvalidAddress;
    address = address * 256 + value;
    if (i == text.size()) return part == 4 ? address : setup::kInvalidAddress;
    if (text[i] != '.' || part == 4) return setup::kInvalidAddress;
    ++i;
  }
}

SetupBlock BuildSetupBlock(std::string_view serialText, std::string_view pxrIp,
                           std::string_view subnetMask, std::string_view gateway,
                           std::string_view hostIp, std::string_view configFile) {
  SetupBlock block{};
  block[0] = 0x02;
  block[1] = 0x9A;
  block[2] = 0x4E;
  for (int k = 0; k < 3; ++k) {
    const int hi = serialText[2 * k] - '0';
    const int lo = serialText[2 * k + 1] - '0';
    block[3 + k] = static_cast<uint8_t>((16 * hi + lo) & 0xFF);
  }
  block[6] = 0xFF;
  block[7] = 0xFF;
  uint8_t* p = block.data() + 8;
  p = PutU32BE(p, ParseIpAddress(pxrIp));
  p = PutU32BE(p, ParseIpAddress(subnetMask));
  p = PutU32BE(p, ParseIpAddress(gateway));
  PutU32BE(p, ParseIpAddress(hostIp));
  // The name stops at its first NUL, as a C string would, and at 79 characters.
  const size_t nul = configFile.find('\0');
  const size_t n = std::min<size_t>(std::min(nul, configFile.size()), setup::kFileNameMax);
  std::copy_n(configFile.begin(), n, block.begin() + setup::kFileNameOffset);
  block[setup::kFileNameOffset + n] = 0;
  return block;
}

int32_t TransmitSetup(ProcedureContext& context, std::string_view pxrIp,
                      std::string_view subnetMask, std::string_view gateway,
                      std::string_view hostIp, const std::string& configFile,
                      ConfigurationStore* store) {
  Loader& loader = context.loader;
  uint16_t loaderVersion = 0, firmwareVersion = 0;
  std::string serial;
  int32_t rc = loader.LoaderReadIdentity(loaderVersion, firmwareVersion, serial);
  if (rc != status::kOk) return rc;
  // A short identity reply leaves no serial number, and the MAC address cannot be built.
  if (serial.size() < 6) return status::kUnexpectedReply;

  const SetupBlock block = BuildSetupBlock(serial, pxrIp, subnetMask, gateway, hostIp, configFile);
  rc = loader.LoaderEraseSector(setup::kBlockAddress);
  if (rc == status::kOk && store) rc = loader.LoaderEraseSector(setup::kConfigurationAddress);
  if (rc == status::kOk && store) rc = loader.LoaderEraseSector(setup::kRegisterSectionAddress);
  if (rc != status::kOk) return rc;

  uint32_t value = 0;
  rc = loader.LoaderProgramFlash(setup::kBlockAddress, setup::kBlockSize, block.data(), value);
  if (rc != status::kOk) return rc;
  SetupBlock readBack{};
  rc = loader.LoaderReadFlash(setup::kBlockAddress, setup::kBlockSize, readBack.data());
  if (rc != status::kOk) return rc;
  if (readBack != block) return status::kIllegalData;

  if (store && ParseIpAddress(hostIp) == setup::kInvalidAddress) {
    return store->StoreConfiguration(configFile);
  }
  return status::kOk;
}

}  // namespace pxr
