#include "sim/firmware_writer.h"

#include <cstdio>
#include <fstream>

namespace pxr::sim {

namespace {
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (24 - 8 * i));
}
void AppendHex(std::string& s, uint8_t b) {
  static const char kDigits[] = "0123456789ABCDEF";
  s.push_back(kDigits[b >> 4]);
  s.push_back(kDigits[b & 15]);
}
std::string Record(char type, const uint8_t* addr, int addrBytes, const uint8_t* data, int n) {
  std::string line = "S";
  line.push_back(type);
  const uint8_t count = static_cast<uint8_t>(addrBytes + n + 1);
  uint32_t sum = count;
  AppendHex(line, count);
  for (int i = 0; i < addrBytes; ++i) {
    AppendHex(line, addr[i]);
    sum += addr[i];
  }
  for (int i = 0; i < n; ++i) {
    AppendHex(line, data[i]);
    sum += data[i];
  }
  AppendHex(line, static_cast<uint8_t>(~sum & 0xFF));
  line.push_back('\n');
  return line;
}
}  // namespace

std::vector<uint8_t> BuildSampleImage(const SampleFirmware& spec) {
  std::vector<uint8_t> image(spec.imageBytes < 32 ? 32 : spec.imageBytes);
  uint32_t x = 0x9E3779B9u ^ spec.version;
  for (auto& b : image) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  Put32(image, 0, 0xFFFFFFFFu);
  Put32(image, 4, spec.flashAddress);
  Put32(image, 8, spec.targetAddress);
  Put32(image, 12, static_cast<uint32_t>(image.size() / 4));
  image[16] = spec.family;
  image[17] = static_cast<uint8_t>(spec.version);
  for (int i = 18; i < 26; ++i) image[i] = 0;
  image[26] = static_cast<uint8_t>(spec.kind >> 8);
  image[27] = static_cast<uint8_t>(spec.kind);
  return image;
}

std::string ToSRecords(const std::vector<uint8_t>& data, uint32_t address, int recordBytes,
                       const std::string& headerText, int addressBytes) {
  if (addressBytes < 2 || addressBytes > 4) addressBytes = 4;
  const char dataType = static_cast<char>('1' + addressBytes - 2);
  const char endType = static_cast<char>('9' - (addressBytes - 2));
  std::string out;
  const uint8_t zero[2] = {0, 0};
  out += Record('0', zero, 2, reinterpret_cast<const uint8_t*>(headerText.data()),
                static_cast<int>(headerText.size() > 250 ? 250 : headerText.size()));
  for (size_t off = 0; off < data.size(); off += recordBytes) {
    const int n =
        static_cast<int>(data.size() - off < size_t(recordBytes) ? data.size() - off : recordBytes);
    const uint32_t a = address + static_cast<uint32_t>(off);
    const uint8_t addr[4] = {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
    out += Record(dataType, addr + 4 - addressBytes, addressBytes, data.data() + off, n);
  }
  const uint8_t start[4] = {0x40, 0, 0, 0};
  out += Record(endType, start + 4 - addressBytes, addressBytes, nullptr, 0);
  return out;
}

std::string FirmwareFileName(const std::string& base, uint16_t version) {
  char ext[8];
  std::snprintf(ext, sizeof ext, ".%03u", static_cast<unsigned>(version % 1000));
  return base + ext;
}

std::string WriteSampleFirmware(const std::string& directory, const std::string& base,
                                const SampleFirmware& spec, std::string& error) {
  const std::string path = (directory.empty() ? std::string(".") : directory) + "/" +
                           FirmwareFileName(base, spec.version);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = path + ": cannot create";
    return {};
  }
  out << ToSRecords(BuildSampleImage(spec), spec.flashAddress, spec.recordBytes,
                    "SAMPLE FIRMWARE FOR PXRSIM ONLY - NOT FOR REAL PROBES");
  if (!out) {
    error = path + ": cannot write";
    return {};
  }
  return path;
}

}  // namespace pxr::sim
