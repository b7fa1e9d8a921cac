// The PPC6xx/7xx/82xx/83xx build profile (pxr9setup-ppc, pxr9tool-ppc): no stored configuration.
#pragma once

#include <memory>

#include "app9/profile.h"
#include "setupdata/setup_block.h"

namespace pxr {

inline constexpr const BuildProfile& kProfile = kPpcProfile;

inline std::unique_ptr<ConfigurationStore> MakeConfigurationStore(Loader&) {
  return nullptr;
}

}  // namespace pxr
