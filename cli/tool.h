// pxr9tool and pxr9tool-ppc: scriptable front end over the probe procedures.
//
// Exit status: 0 success, 1 the operation failed, 2 usage error, 3 could not connect.
#pragma once

#include <memory>

#include "app9/profile.h"
#include "setupdata/setup_block.h"

namespace pxr {
class Loader;
}

namespace pxr::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoConnection = 3;

using ConfigurationStoreFactory = std::unique_ptr<ConfigurationStore> (*)(Loader&);

int RunTool(int argc, char** argv, const BuildProfile& profile,
            ConfigurationStoreFactory makeStore);

}  // namespace pxr::cli
