// Serial ports present on this system, for `ports`.
#pragma once

#include <string>
#include <vector>

namespace pxr::cli {

struct SerialPortInfo {
  std::string device;       // /dev/ttyUSB0
  std::string description;  // driver or product name
  std::string usbId;        // VID:PID, empty for non-USB ports
  std::string serialNumber;
};

std::vector<SerialPortInfo> ListSerialPorts();

}  // namespace pxr::cli
