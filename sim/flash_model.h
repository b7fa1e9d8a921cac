// The simulated probe's 4 MiB NOR flash: sector map, erase to 0xFF, programming that only
// clears bits, and the factory content (boot code and a loader image).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pxr::sim {

class FlashModel {
 public:
  static constexpr uint32_t kSize = 4 * 1024 * 1024;
  static constexpr uint32_t kBootCodeEnd = 0x510;  // boot code occupies 0x0-0x50F
  static constexpr uint32_t kLoaderStart = 0x10000;
  static constexpr uint32_t kLoaderSectorEnd = 0x30000;
  static constexpr uint32_t kLoaderWords = 0x1000;  // loader image: 0x10000 .. 0x1403F

  FlashModel();

  // Size of the sector that starts at address, or 0 when no sector starts there.
  static uint32_t SectorSizeAt(uint32_t address);
  // True for the boot and loader sectors, which the loader never erases or programs.
  static bool IsProtected(uint32_t address);

  // Erases the sector at address. false when address is not a sector start or is protected.
  bool EraseSector(uint32_t address);
  // Programs bytes (NOR: only 1 -> 0). false when the range leaves the flash or touches a
  // protected sector.
  bool Program(uint32_t address, const uint8_t* data, uint32_t count);
  // Copies flash content. false when the range leaves the flash.
  bool Read(uint32_t address, uint8_t* out, uint32_t count) const;
  // Writes a byte directly (test fixtures and --plant), bypassing protection.
  void Poke(uint32_t address, uint8_t value);
  uint8_t At(uint32_t address) const { return bytes_[address]; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

  // Writes the factory content: boot code, loader image with its header, the rest blank.
  void Reset();
  bool Load(const std::string& path, std::string& error);
  bool Save(const std::string& path, std::string& error) const;

 private:
  static bool InRange(uint32_t address, uint32_t count) {
    return address < kSize && count <= kSize - address;
  }
  std::vector<uint8_t> bytes_;
};

}  // namespace pxr::sim
