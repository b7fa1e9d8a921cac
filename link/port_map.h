// Maps the dialog's port names COM1..COM19 to the devices of this system.
//
// On POSIX systems "COMn" and "\\.\COMn" resolve through the map; any name that begins with "/"
// is a device path and is used as it stands. Defaults: COM1-COM4 = /dev/ttyS0-3,
// COM5-COM12 = /dev/ttyUSB0-7, COM13-COM19 = /dev/ttyACM0-6. Callers may override entries.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pxr {

class PortMap {
 public:
  static constexpr int kPorts = 19;

  PortMap();
  // The device of COMn (1..19); empty for other numbers.
  const std::string& Device(int number) const;
  // Replaces the device of COMn; false for a number outside 1..19.
  bool Override(int number, std::string device);
  // Device path for a name from a channel spec: "COM3" and "\\.\COM3" resolve through
  // the map, anything else is returned unchanged.
  std::string Resolve(std::string_view name) const;
  // Port number of "COMn" / "\\.\COMn" (case-sensitive COM), or 0 when name is no such name.
  static int PortNumber(std::string_view name);
  static std::string DefaultDevice(int number);

 private:
  std::array<std::string, kPorts + 1> devices_;
};

}  // namespace pxr
