#include "link/port_map.h"

namespace pxr {

PortMap::PortMap() {
  for (int n = 1; n <= kPorts; ++n) devices_[n] = DefaultDevice(n);
}

std::string PortMap::DefaultDevice(int number) {
  if (number >= 1 && number <= 4) return "/dev/ttyS" + std::to_string(number - 1);
  if (number >= 5 && number <= 12) return "/dev/ttyUSB" + std::to_string(number - 5);
  if (number >= 13 && number <= 19) return "/dev/ttyACM" + std::to_string(number - 13);
  return {};
}

const std::string& PortMap::Device(int number) const {
  static const std::string kNone;
  if (number < 1 || number > kPorts) return kNone;
  return devices_[number];
}

bool PortMap::Override(int number, std::string device) {
  if (number < 1 || number > kPorts) return false;
  devices_[number] = std::move(device);
  return true;
}

int PortMap::PortNumber(std::string_view name) {
  constexpr std::string_view kDevicePrefix = "\\\\.\\";
  if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix)
    name.remove_prefix(kDevicePrefix.size());
  if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM") return 0;
  int number = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string PortMap::Resolve(std::string_view name) const {
  const int number = PortNumber(name);
  if (number >= 1 && number <= kPorts) return devices_[number];
  return std::string(name);
}

}  // namespace pxr
