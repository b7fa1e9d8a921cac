// Serial ports from sysfs (Linux): every tty with a device behind it.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/serial_ports.h"

namespace pxr::cli {

namespace {
namespace fs = std::filesystem;

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// Walks up from the tty's device to the USB device that carries idVendor.
fs::path UsbDevice(fs::path device) {
  std::error_code ec;
  for (int depth = 0; depth < 6 && !device.empty(); ++depth) {
    if (fs::exists(device / "idVendor", ec)) return device;
    device = device.parent_path();
  }
  return {};
}
}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
    const fs::path deviceLink = entry.path() / "device";
    if (!fs::exists(deviceLink, ec)) continue;
    const fs::path device = fs::canonical(deviceLink, ec);
    if (ec) continue;
    SerialPortInfo info;
    info.device = "/dev/" + entry.path().filename().string();
    const fs::path driver = fs::canonical(deviceLink / "driver", ec);
    info.description = ec ? std::string() : driver.filename().string();
    // Legacy 8250 ports without hardware behind them report port type 0.
    if (info.description == "serial8250" && ReadLine(entry.path() / "type") == "0") continue;
    const fs::path usb = UsbDevice(device);
    if (!usb.empty()) {
      info.usbId = ReadLine(usb / "idVendor") + ":" + ReadLine(usb / "idProduct");
      info.serialNumber = ReadLine(usb / "serial");
      const std::string product = ReadLine(usb / "product");
      if (!product.empty()) info.description = product;
    }
    ports.push_back(std::move(info));
  }
  std::sort(ports.begin(), ports.end(),
            [](const auto& a, const auto& b) { return a.device < b.device; });
  return ports;
}

}  // namespace pxr::cli
