// Entry point, compiled once per build profile (the include path selects pxr_profile.h).
#include "cli/tool.h"
#include "pxr_profile.h"

int main(int argc, char** argv) {
  return pxr::cli::RunTool(argc, argv, pxr::kProfile, &pxr::MakeConfigurationStore);
}
