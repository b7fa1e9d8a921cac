// A temporary directory removed with its content at the end of a test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pxr::test {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pxr-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Write(const std::string& name, const std::string& content) const {
    const std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& content) const {
    return Write(name, std::string(content.begin(), content.end()));
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace pxr::test
