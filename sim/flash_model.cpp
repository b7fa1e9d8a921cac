#include "sim/flash_model.h"

#include <algorithm>
#include <fstream>

namespace pxr::sim {

FlashModel::FlashModel() : bytes_(kSize, 0xFF) {
  Reset();
}

uint32_t FlashModel::SectorSizeAt(uint32_t address) {
  if (address < 0x10000) return address % 0x2000 == 0 ? 0x2000 : 0;
  if (address == 0x10000) return 0x20000;
  if (address < 0x30000) return 0;
  if (address < kSize) return address % 0x10000 == 0 ? 0x10000 : 0;
  return 0;
}

bool FlashModel::IsProtected(uint32_t address) {
  return address < 0x2000 || (address >= kLoaderStart && address < kLoaderSectorEnd);
}

bool FlashModel::EraseSector(uint32_t address) {
  const uint32_t size = SectorSizeAt(address);
  if (size == 0 || IsProtected(address)) return false;
  std::fill_n(bytes_.begin() + address, size, 0xFF);
  return true;
}

bool FlashModel::Program(uint32_t address, const uint8_t* data, uint32_t count) {
  if (!InRange(address, count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (IsProtected(address + i)) return false;
  }
  for (uint32_t i = 0; i < count; ++i) bytes_[address + i] &= data[i];
  return true;
}

bool FlashModel::Read(uint32_t address, uint8_t* out, uint32_t count) const {
  if (!InRange(address, count)) return false;
  std::copy_n(bytes_.begin() + address, count, out);
  return true;
}

void FlashModel::Poke(uint32_t address, uint8_t value) {
  if (address < kSize) bytes_[address] = value;
}

void FlashModel::Reset() {
  std::fill(bytes_.begin(), bytes_.end(), 0xFF);
  // Boot code: a recognisable, deterministic pattern that never contains 0xFF.
  for (uint32_t a = 0; a < kBootCodeEnd; ++a) bytes_[a] = static_cast<uint8_t>((a * 7 + 3) % 255);
  // Loader image: header with its word count at bytes 12-15, then a body up to 0x10040 + 4 W.
  const uint32_t end = kLoaderStart + 0x40 + 4 * kLoaderWords;
  for (uint32_t a = kLoaderStart; a < end; ++a) {
    bytes_[a] = static_cast<uint8_t>((a * 13 + 5) % 251);
  }
  const uint8_t header[16] = {0x4C,
                              0x44,
                              0x52,
                              0x39,
                              0x00,
                              0x01,
                              0x00,
                              0x00,
                              0x00,
                              0x00,
                              0x00,
                              0x00,
                              static_cast<uint8_t>(kLoaderWords >> 24),
                              static_cast<uint8_t>(kLoaderWords >> 16),
                              static_cast<uint8_t>(kLoaderWords >> 8),
                              static_cast<uint8_t>(kLoaderWords)};
  std::copy_n(header, sizeof header, bytes_.begin() + kLoaderStart);
}

bool FlashModel::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // no file yet: keep the factory content
  std::vector<uint8_t> data(kSize);
  in.read(reinterpret_cast<char*>(data.data()), kSize);
  if (in.gcount() != static_cast<std::streamsize>(kSize)) {
    error = path + ": not a 4 MiB flash image";
    return false;
  }
  bytes_ = std::move(data);
  return true;
}

bool FlashModel::Save(const std::string& path, std::string& error) const {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()), kSize);
    if (!out) {
      error = temp + ": cannot write";
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    error = path + ": cannot replace";
    return false;
  }
  return true;
}

}  // namespace pxr::sim
