// Writes sample S-record firmware images that pass the firmware update's header checks.
// They are for the simulated probe only; their header record says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pxr::sim {

struct SampleFirmware {
  uint8_t family = 0x27;   // target family code, stored at image byte 16
  uint16_t version = 106;  // stored at image byte 17 (low byte)
  uint32_t imageBytes = 0x10000;
  uint32_t flashAddress = 0x100000;
  uint32_t targetAddress = 0x40000000;
  uint16_t kind = 1;
  int recordBytes = 32;  // data bytes per S3 record
};

// The image bytes (header and body); bytes 0-3 are left erased (0xFF) for the validity marker.
std::vector<uint8_t> BuildSampleImage(const SampleFirmware& spec);
// S-record text of data at address: an S0 header record, data records (S3, or S1/S2 for
// addressBytes 2/3), and the matching end record.
std::string ToSRecords(const std::vector<uint8_t>& data, uint32_t address, int recordBytes,
                       const std::string& headerText, int addressBytes = 4);
// File name of a firmware file: base name, a dot and the version as three digits.
std::string FirmwareFileName(const std::string& base, uint16_t version);
// Writes the sample file into directory; returns its path, or empty with error set.
std::string WriteSampleFirmware(const std::string& directory, const std::string& base,
                                const SampleFirmware& spec, std::string& error);

}  // namespace pxr::sim
