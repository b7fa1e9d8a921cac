// The 104-byte setup block Transmit stores at 0x6000, and Transmit itself.
//
// Results: 0; -4008 the block read back differs; -1205 the probe reported no serial number;
// otherwise the loader status of the failing request, or the configuration store's status.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/update.h"

namespace pxr {

namespace setup {
inline constexpr uint32_t kBlockAddress = 0x6000;
inline constexpr uint32_t kConfigurationAddress = 0x200000;
inline constexpr uint32_t kRegisterSectionAddress = 0x210000;
inline constexpr int kBlockSize = 104;
inline constexpr int kFileNameOffset = 24;
inline constexpr int kFileNameMax = 79;
inline constexpr uint32_t kInvalidAddress = 0xFFFFFFFFu;
}  // namespace setup

using SetupBlock = std::array<uint8_t, setup::kBlockSize>;

// a.b.c.d as 0xaabbccdd; 0xFFFFFFFF for a text that is not exactly four dotted decimal parts.
uint32_t ParseIpAddress(std::string_view text);

// The setup block for a probe with the given serial-number text (at least six characters).
SetupBlock BuildSetupBlock(std::string_view serialText, std::string_view pxrIp,
                           std::string_view subnetMask, std::string_view gateway,
                           std::string_view hostIp, std::string_view configFile);

// Stores the configuration file and its register files in the probe (one build profile only).
class ConfigurationStore {
 public:
  virtual ~ConfigurationStore() = default;
  virtual int32_t StoreConfiguration(const std::string& configurationPath) = 0;
};

// Writes and verifies the setup block. With a configuration store, also erases the stored
// configuration sectors and, when the host address is not valid, stores the configuration.
int32_t TransmitSetup(ProcedureContext& context, std::string_view pxrIp,
                      std::string_view subnetMask, std::string_view gateway,
                      std::string_view hostIp, const std::string& configFile,
                      ConfigurationStore* store);

}  // namespace pxr
