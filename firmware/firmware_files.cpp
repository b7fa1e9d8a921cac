#include "firmware/firmware_files.h"

#include <filesystem>

namespace pxr {

namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

}  // namespace

uint16_t VersionFromExtension(std::string_view extension) {
  if (extension.size() != 4 || extension[0] != '.') return 0;
  uint16_t value = 0;
  for (char c : extension.substr(1)) {
    if (c < '0' || c > '9') return 0;
    value = static_cast<uint16_t>(value * 10 + (c - '0'));
  }
  return value;
}

std::string FormatVersion(uint16_t version) {
  if (version == 0 || version > 255) return "unknown";
  std::string text = "0.00";
  text[0] = static_cast<char>('0' + version / 100);
  text[2] = static_cast<char>('0' + version / 10 % 10);
  text[3] = static_cast<char>('0' + version % 10);
  return text;
}

FirmwareFiles::FirmwareFiles() : FirmwareFiles(ProgramDirectory()) {}

FirmwareFiles::FirmwareFiles(std::string directory) : directory_(std::move(directory)) {
  if (!directory_.empty() && directory_.back() != '/' && directory_.back() != '\\') {
    directory_ += '/';
  }
}

uint16_t FirmwareFiles::FindNewestFirmware(std::string_view baseName) const {
  uint16_t newest = 0;
  std::error_code ec;
  std::filesystem::directory_iterator it(directory_.empty() ? "." : directory_, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || !SameIgnoringCase(name.substr(0, dot), baseName)) continue;
    if (!it->is_regular_file(ec)) continue;
    const uint16_t version = VersionFromExtension(std::string_view(name).substr(dot));
    if (version > newest) newest = version;
  }
  return newest;
}

std::string FirmwareFiles::FirmwarePath(std::string_view baseName, uint16_t version) const {
  if (version == 0 || version > 255) return {};
  std::string name(baseName);
  name += '.';
  name += static_cast<char>('0' + version / 100);
  name += static_cast<char>('0' + version / 10 % 10);
  name += static_cast<char>('0' + version % 10);
  std::error_code ec;
  if (!std::filesystem::exists(directory_ + name, ec)) {
    std::filesystem::directory_iterator it(directory_.empty() ? "." : directory_, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
      const std::string candidate = it->path().filename().string();
      if (SameIgnoringCase(candidate, name)) return directory_ + candidate;
    }
  }
  return directory_ + name;
}

}  // namespace pxr
