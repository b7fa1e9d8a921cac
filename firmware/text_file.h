// Reads a file the way a text-mode read does on Windows, on every platform: CR LF arrives as a
// single LF, and a Ctrl-Z (0x1A) ends the file. Length and position count raw file bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace pxr {

class TextFile {
 public:
  TextFile() = default;
  ~TextFile() { Close(); }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Length of the file in bytes.
  uint64_t Length() const { return length_; }
  // Raw byte position of the next character to be read.
  uint64_t Position() const { return position_; }
  // Reads at most size - 1 characters, up to and including a LF, and terminates them with a NUL
  // (like fgets). Returns the number of characters read; 0 at the end of the file.
  int32_t ReadLine(char* buffer, int32_t size);
  // Reads the next character (after CR LF folding); -1 at the end of the file.
  int ReadChar();

 private:
  int RawByte();
  int PeekRaw();

  std::FILE* file_ = nullptr;
  uint64_t length_ = 0;
  uint64_t position_ = 0;
  bool ended_ = false;
  unsigned char buffer_[8192];
  size_t head_ = 0;
  size_t tail_ = 0;
};

}  // namespace pxr
