// Firmware files beside the program: BASENAME.nnn, where nnn is the version in hundredths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pxr {

// 0..999 from an extension of a dot and three decimal digits; 0 for any other extension.
uint16_t VersionFromExtension(std::string_view extension);
// "1.06" for 106, "0.05" for 5; "unknown" for 0 and above 255.
std::string FormatVersion(uint16_t version);

// Directory of the running program's executable (its real path), with a trailing separator.
std::string ProgramDirectory();

// Looks for firmware files in one directory: by default the program's own.
class FirmwareFiles {
 public:
  FirmwareFiles();
  explicit FirmwareFiles(std::string directory);

  // Newest version among the files BASENAME.nnn in the directory, or 0.
  uint16_t FindNewestFirmware(std::string_view baseName) const;
  // Full path of BASENAME.nnn for versions 1..255; empty for any other version. An existing
  // file whose name differs only in letter case is preferred.
  std::string FirmwarePath(std::string_view baseName, uint16_t version) const;
  const std::string& Directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace pxr
