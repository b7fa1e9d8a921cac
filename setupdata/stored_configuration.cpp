#include "setupdata/stored_configuration.h"

#include <cstdio>
#include <cstring>

#include "link/status.h"
#include "loader/loader.h"

namespace pxr {

namespace {

constexpr uint8_t kTextEnd = 0xFF;
constexpr int32_t kProgramBlock = 1024;

// Reads up to capacity bytes of the file after what is already there.
int32_t ReadInto(std::FILE* file, uint8_t* buffer, int32_t capacity) {
  size_t total = 0;
  while (total < static_cast<size_t>(capacity)) {
    const size_t n = std::fread(buffer + total, 1, static_cast<size_t>(capacity) - total, file);
    if (n == 0) break;
    total += n;
  }
  return static_cast<int32_t>(total);
}

int DecimalPrefix(const char* token) {
  int value = 0;
  for (const char* p = token; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > 1000000) value = 1000000;  // only the low six bits matter
  }
  return value;
}

}  // namespace

int32_t ReadWholeFile(const std::string& path, uint8_t* buffer) {
  std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return status::kConfigTooLarge;
  const int32_t n = ReadInto(file, buffer, stored::kBufferSize);
  std::fclose(file);
  return n;
}

const uint8_t* ReadTextLine(const uint8_t* p, const uint8_t* end, char* line) {
  while (p < end && *p <= 0x20) ++p;
  int32_t n = 0;
  while (p < end && n < stored::kLineSize - 1) {
    const uint8_t c = *p;
    if (c == '\t') {
      line[n++] = ' ';
    } else if (c >= 0x20 && c < 0x7F) {
      line[n++] = static_cast<char>(c);
    } else {
      break;
    }
    ++p;
  }
  line[n] = '\0';
  return p;
}

const char* ReadToken(const char* p, char* token) {
  while (*p == ' ') ++p;
  int n = 0;
  auto put = [&](char c) {
    if (n < stored::kTokenSize - 1) token[n++] = c;
  };
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') put(*p++);
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != ';') put(*p++);
  }
  token[n] = '\0';
  return p;
}

std::string SiblingPath(std::string_view configurationPath, std::string_view name) {
  const size_t cut = configurationPath.find_last_of("/\\");
  if (cut == std::string_view::npos || cut == 0) return std::string(name);
  std::string path(configurationPath.substr(0, cut + 1));
  path += name;
  return path;
}

int32_t BuildRegisterSection(const uint8_t* text, const std::string& configurationPath,
                             uint8_t* section) {
  const uint8_t* end = text + stored::kBufferSize;
  const uint8_t* position = text;
  int32_t length = 0;
  bool inRegs = false;
  char line[stored::kLineSize];
  char token[stored::kTokenSize];
  while (position < end) {
    const uint8_t* stop = ReadTextLine(position, end, line);
    if (line[0] != '\0') {
      const char* p = ReadToken(line, token);
      if (token[0] == '[') {
        inRegs = std::strcmp(token, "[REGS]") == 0;
      } else if (token[0] != '\0' && inRegs) {
        int number = 0;
        if (line[0] == '#') {
          p = ReadToken(line + 1, token);
          number = DecimalPrefix(token);
        } else {
          p = line;
        }
        p = ReadToken(p, token);
        if (std::strcmp(token, "FILE") == 0) {
          ReadToken(p, token);
          const std::string path =
              token[0] == '$' ? SiblingPath(configurationPath, token + 1) : std::string(token);
          if (path.empty() || path.size() > stored::kPathMax) return status::kRegisterPath;
          std::FILE* file = std::fopen(path.c_str(), "rb");
          if (file == nullptr) return status::kRegisterPath;
          if (length >= stored::kBufferSize) {
            std::fclose(file);
            return status::kRegisterPath;
          }
          section[length++] = static_cast<uint8_t>(0x80 + (number & 0x3F));
          length += ReadInto(file, section + length, stored::kBufferSize - length);
          std::fclose(file);
        }
      }
    }
    if (stop >= end || *stop == kTextEnd) break;
    // A byte the line reader does not take (0x7F-0xFE, a control byte) ends the line; step past
    // it so the scan always makes progress. A line cut at 256 characters goes on from there.
    position = *stop >= 0x7F ? stop + 1 : stop;
  }
  return length;
}

StoredConfiguration::StoredConfiguration(Loader& loader)
    : loader_(loader),
      configuration_(new uint8_t[stored::kBufferSize]),
      section_(new uint8_t[stored::kBufferSize]) {}

StoredConfiguration::~StoredConfiguration() = default;

int32_t StoredConfiguration::ProgramArea(uint32_t address, const uint8_t* data, int32_t length) {
  for (int32_t offset = 0; offset < length; offset += kProgramBlock) {
    uint32_t value = 0;
    const int32_t rc = loader_.LoaderProgramFlash(address + static_cast<uint32_t>(offset),
                                                  kProgramBlock, data + offset, value);
    if (rc != status::kOk) return rc;
  }
  return status::kOk;
}

int32_t StoredConfiguration::StoreConfiguration(const std::string& configurationPath) {
  std::memset(configuration_.get(), kTextEnd, stored::kBufferSize);
  const int32_t n = ReadWholeFile(configurationPath, configuration_.get());
  if (n < 0 || n >= stored::kBufferSize) return status::kConfigTooLarge;
  int32_t rc = ProgramArea(setup::kConfigurationAddress, configuration_.get(), n);
  if (rc != status::kOk) return rc;

  std::memset(section_.get(), kTextEnd, stored::kBufferSize);
  const int32_t m = BuildRegisterSection(configuration_.get(), configurationPath, section_.get());
  if (m < 0) return m;
  if (m >= stored::kBufferSize) return status::kRegisterPath;
  return ProgramArea(setup::kRegisterSectionAddress, section_.get(), m);
}

}  // namespace pxr
