#include "firmware/text_file.h"

#include <cstring>

namespace pxr {

namespace {
constexpr int kCtrlZ = 0x1A;
}

bool TextFile::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    const long end = std::ftell(file_);
    length_ = end < 0 ? 0 : static_cast<uint64_t>(end);
  }
  std::fseek(file_, 0, SEEK_SET);
  position_ = 0;
  ended_ = false;
  head_ = tail_ = 0;
  return true;
}

void TextFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  length_ = position_ = 0;
  head_ = tail_ = 0;
}

int TextFile::PeekRaw() {
  if (head_ == tail_) {
    if (file_ == nullptr || ended_) return -1;
    tail_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    head_ = 0;
    if (tail_ == 0) return -1;
  }
  return buffer_[head_];
}

int TextFile::RawByte() {
  const int c = PeekRaw();
  if (c >= 0) {
    ++head_;
    ++position_;
  }
  return c;
}

int TextFile::ReadChar() {
  if (ended_) return -1;
  int c = RawByte();
  if (c == kCtrlZ) {
    ended_ = true;
    return -1;
  }
  if (c == '\r' && PeekRaw() == '\n') c = RawByte();
  return c;
}

int32_t TextFile::ReadLine(char* buffer, int32_t size) {
  int32_t n = 0;
  while (n < size - 1 && !ended_) {
    if (head_ == tail_ && PeekRaw() < 0) break;
    // Copy the run of ordinary characters in one go; CR, LF and Ctrl-Z take the slow path.
    const size_t room = static_cast<size_t>(size - 1 - n);
    const size_t limit = tail_ - head_ < room ? tail_ - head_ : room;
    size_t run = 0;
    while (run < limit) {
      const unsigned char c = buffer_[head_ + run];
      if (c == '\n' || c == '\r' || c == kCtrlZ) break;
      ++run;
    }
    if (run > 0) {
      std::memcpy(buffer + n, buffer_ + head_, run);
      head_ += run;
      position_ += run;
      n += static_cast<int32_t>(run);
      continue;
    }
    const int c = ReadChar();
    if (c < 0) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (size > 0) buffer[n] = '\0';
  return n;
}

}  // namespace pxr
