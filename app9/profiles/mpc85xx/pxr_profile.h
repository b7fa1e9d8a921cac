// The MPC85xx build profile (pxr9setup, pxr9tool).
#pragma once

#include <memory>

#include "app9/profile.h"
#include "setupdata/stored_configuration.h"

namespace pxr {

inline constexpr const BuildProfile& kProfile = kMpc85xxProfile;

inline std::unique_ptr<ConfigurationStore> MakeConfigurationStore(Loader& loader) {
  return std::make_unique<StoredConfiguration>(loader);
}

}  // namespace pxr
