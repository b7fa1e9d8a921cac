// Build profiles of the PXR9 programs. Each program is built with exactly one of them; the
// constants below are the whole difference between pxr9setup and pxr9setup-ppc (plus the stored
// configuration, which only the MPC85xx programs link).
#pragma once

#include <cstdint>
#include <string_view>

namespace pxr {

struct BuildProfile {
  std::string_view settingsSection;   // section of the stored settings
  std::string_view firmwareBaseName;  // firmware files are BASENAME.nnn
  std::string_view targetText;        // shown in the About box
  std::string_view versionText;       // program version shown in the About box
  std::string_view programName;       // the desktop program
  std::string_view toolName;          // the command-line tool
  uint8_t familyCode;                 // high byte of the firmware word for this target
  bool storedConfiguration;           // Transmit can store the configuration in the probe
};

inline constexpr BuildProfile kMpc85xxProfile{
    "Setup MPC85xx", "PX9PQ3GD", "MPC85xx", "PXR9 Setup Version 1.06",
    "pxr9setup",     "pxr9tool", 0x27,      true};
inline constexpr BuildProfile kPpcProfile{"Setup PPC6xx/7xx",
                                          "PX9COPGD",
                                          "PPC6xx/7xx/82xx/83xx",
                                          "PXR9 Setup Version 1.05",
                                          "pxr9setup-ppc",
                                          "pxr9tool-ppc",
                                          0x13,
                                          false};

}  // namespace pxr
