// Firmware files beside the program: versions from names, paths and display texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "firmware/firmware_files.h"

namespace pxr {
namespace {

namespace fs = std::filesystem;

class FirmwareDir : public ::testing::Test {
 protected:
  FirmwareDir() {
    char pattern[] = "/tmp/pxr-fw-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~FirmwareDir() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Touch(const std::string& name) { std::ofstream(dir_ + "/" + name) << "x"; }
  std::string dir_;
};

TEST(VersionText, FormatVersionTable) {
  const std::pair<uint16_t, const char*> cases[] = {
      {0, "unknown"}, {1, "0.01"},      {5, "0.05"},     {106, "1.06"},
      {255, "2.55"},  {256, "unknown"}, {999, "unknown"}};
  for (auto [version, text] : cases) EXPECT_EQ(FormatVersion(version), text) << version;
}

TEST(VersionText, VersionFromExtensionTable) {
  const std::pair<const char*, uint16_t> cases[] = {
      {".106", 106}, {".007", 7}, {".000", 0}, {".999", 999}, {".1", 0},  {".abc", 0},
      {".1060", 0},  {"106", 0},  {"", 0},     {".1a6", 0},   {"x106", 0}};
  for (auto [ext, version] : cases) EXPECT_EQ(VersionFromExtension(ext), version) << ext;
}

TEST_F(FirmwareDir, NewestVersionAmongMatchingFiles) {
  FirmwareFiles files(dir_);
  EXPECT_EQ(files.FindNewestFirmware("PX9PQ3GD"), 0);
  Touch("PX9PQ3GD.105");
  Touch("PX9PQ3GD.106");
  Touch("PX9PQ3GD.1");
  Touch("PX9PQ3GD.abc");
  Touch("PX9COPGD.200");  // another base name
  Touch("PX9PQ3GDX.150");
  EXPECT_EQ(files.FindNewestFirmware("PX9PQ3GD"), 106);
  EXPECT_EQ(FormatVersion(files.FindNewestFirmware("PX9PQ3GD")), "1.06");
  // A version above 255 is found and is the newest, but has no path.
  Touch("PX9PQ3GD.300");
  EXPECT_EQ(files.FindNewestFirmware("PX9PQ3GD"), 300);
  EXPECT_EQ(files.FirmwarePath("PX9PQ3GD", 300), "");
}

TEST_F(FirmwareDir, ZeroExtensionCountsAsNoVersion) {
  Touch("PX9PQ3GD.000");
  EXPECT_EQ(FirmwareFiles(dir_).FindNewestFirmware("PX9PQ3GD"), 0);
}

TEST_F(FirmwareDir, PathsForVersions) {
  FirmwareFiles files(dir_);
  EXPECT_EQ(files.FirmwarePath("PX9PQ3GD", 106), dir_ + "/PX9PQ3GD.106");
  EXPECT_EQ(files.FirmwarePath("PX9PQ3GD", 5), dir_ + "/PX9PQ3GD.005");
  EXPECT_EQ(files.FirmwarePath("PX9PQ3GD", 0), "");
  EXPECT_EQ(files.FirmwarePath("PX9PQ3GD", 256), "");
}

TEST_F(FirmwareDir, NamesFromOtherSystemsInOtherCase) {
  Touch("px9pq3gd.107");
  FirmwareFiles files(dir_);
  EXPECT_EQ(files.FindNewestFirmware("PX9PQ3GD"), 107);
  EXPECT_EQ(files.FirmwarePath("PX9PQ3GD", 107), dir_ + "/px9pq3gd.107");
}

TEST_F(FirmwareDir, DefaultIsTheProgramsDirectoryNotTheWorkingDirectory) {
  const fs::path exe = fs::canonical("/proc/self/exe");
  EXPECT_EQ(ProgramDirectory(), exe.parent_path().string() + "/");
  Touch("PXTESTGD.123");
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  EXPECT_EQ(FirmwareFiles().FindNewestFirmware("PXTESTGD"), 0);
  fs::current_path(previous);
}

}  // namespace
}  // namespace pxr
