#include "sim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>

#include "link/serial_framing.h"
#include "sim/frame_decoder.h"

namespace pxr::sim {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;
using std::chrono::microseconds;

uint32_t BaudOf(speed_t s) {
  switch (s) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    default:
      return 0;
  }
}

struct Scheduled {
  SteadyTime due;
  bool serial;
  Outgoing out;
  sockaddr_in peer;
};

class Server {
 public:
  Server(Probe& probe, const ServerOptions& options) : probe_(probe), options_(options) {}
  ~Server() { Shutdown(); }

  bool Start() {
    if (options_.udp && !StartUdp()) return false;
    if (options_.pty && !StartPty()) return false;
    std::printf("pxrsim: ready\n");
    std::fflush(stdout);
    return true;
  }

  void Run(const std::atomic<bool>& stop) {
    uint8_t buffer[2048];
    auto lastChange = std::chrono::steady_clock::now();
    while (!stop.load()) {
      pollfd fds[2];
      int n = 0;
      int udpIndex = -1, ptyIndex = -1;
      if (udpFd_ >= 0) {
        fds[n] = {udpFd_, POLLIN, 0};
        udpIndex = n++;
      }
      if (masterFd_ >= 0) {
        fds[n] = {masterFd_, POLLIN, 0};
        ptyIndex = n++;
      }
      int timeoutMs = 100;
      const auto now = std::chrono::steady_clock::now();
      if (!queue_.empty()) {
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(queue_.front().due - now);
        timeoutMs = static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 100));
      }
      const int ready = ::poll(fds, static_cast<nfds_t>(n), timeoutMs);
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0 && udpIndex >= 0 && (fds[udpIndex].revents & POLLIN)) ReadUdp(buffer);
      if (ready > 0 && ptyIndex >= 0 && (fds[ptyIndex].revents & (POLLIN | POLLHUP))) {
        ReadPty(buffer, sizeof buffer);
      }
      FlushDue();
      if (probe_.FlashChanged()) {
        probe_.ClearFlashChanged();
        dirty_ = true;
        lastChange = std::chrono::steady_clock::now();
      }
      if (dirty_ &&
          std::chrono::steady_clock::now() - lastChange > std::chrono::milliseconds(300)) {
        SaveFlash();
      }
    }
    SaveFlash();
  }

 private:
  bool StartUdp() {
    udpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(options_.udpPort);
    if (udpFd_ < 0 || inet_pton(AF_INET, options_.udpAddress.c_str(), &local.sin_addr) != 1) {
      std::fprintf(stderr, "pxrsim: invalid UDP address %s\n", options_.udpAddress.c_str());
      return false;
    }
    if (::bind(udpFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      std::fprintf(stderr, "pxrsim: cannot listen on %s:%u: %s\n", options_.udpAddress.c_str(),
                   options_.udpPort, std::strerror(errno));
      return false;
    }
    std::printf("pxrsim: udp %s:%u\n", options_.udpAddress.c_str(), options_.udpPort);
    return true;
  }

  bool StartPty() {
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0 || ::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0) {
      std::fprintf(stderr, "pxrsim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
      return false;
    }
    const char* name = ::ptsname(masterFd_);
    if (name == nullptr) return false;
    slavePath_ = name;
    // Keep the slave side open so the line survives between host sessions, and read the
    // host's line settings from it.
    slaveFd_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) return false;
    termios tio{};
    ::tcgetattr(slaveFd_, &tio);
    cfmakeraw(&tio);
    speed_t code = B9600;
    switch (probe_.Speed()) {
      case 19200:
        code = B19200;
        break;
      case 38400:
        code = B38400;
        break;
      case 57600:
        code = B57600;
        break;
      case 115200:
        code = B115200;
        break;
      default:
        break;
    }
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    ::tcsetattr(slaveFd_, TCSANOW, &tio);
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    if (!options_.ptyLink.empty()) {
      std::error_code ec;
      const auto link = std::filesystem::path(options_.ptyLink);
      if (std::filesystem::is_symlink(link, ec)) std::filesystem::remove(link, ec);
      std::filesystem::create_symlink(slavePath_, link, ec);
      if (ec) {
        std::fprintf(stderr, "pxrsim: cannot create link %s: %s\n", options_.ptyLink.c_str(),
                     ec.message().c_str());
        return false;
      }
      linkCreated_ = true;
    }
    std::printf("pxrsim: serial %s%s%s\n", slavePath_.c_str(),
                options_.ptyLink.empty() ? "" : " link ", options_.ptyLink.c_str());
    return true;
  }

  uint32_t HostSpeed() const {
    termios tio{};
    if (::tcgetattr(slaveFd_, &tio) != 0) return 0;
    return BaudOf(cfgetospeed(&tio));
  }

  void ReadUdp(uint8_t* buffer) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const ssize_t n =
        ::recvfrom(udpFd_, buffer, 1500, MSG_TRUNC, reinterpret_cast<sockaddr*>(&peer), &len);
    if (n <= 0 || n > 1500) return;  // oversized datagrams are not frames
    Schedule(probe_.HandleFrame(buffer, static_cast<int32_t>(n), false), false, peer, 0);
  }

  void ReadPty(uint8_t* buffer, size_t size) {
    const ssize_t n = ::read(masterFd_, buffer, size);
    if (n <= 0) return;
    // Bytes sent at another speed than the probe listens at arrive as garbage on a real line.
    if (HostSpeed() != probe_.Speed()) {
      decoder_.Reset();
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      ++rxBytes_;
      const auto r = decoder_.Feed(buffer[i]);
      if (r != FrameDecoder::Result::kFrame) continue;
      const auto& frame = decoder_.Frame();
      // On a paced line, the request needs its wire time before the probe has it all.
      const int64_t requestUs = options_.paceLine ? LineTimeUs(rxBytes_) : 0;
      rxBytes_ = 0;
      Schedule(probe_.HandleFrame(frame.data(), static_cast<int32_t>(frame.size()), true), true, {},
               requestUs);
    }
  }

  int64_t LineTimeUs(int64_t bytes) const {
    const uint32_t baud = probe_.Speed() ? probe_.Speed() : 9600;
    return bytes * 10 * 1000000 / baud;
  }

  void Schedule(std::vector<Outgoing> outs, bool serial, const sockaddr_in& peer, int64_t startUs) {
    auto due = std::chrono::steady_clock::now() + microseconds(startUs);
    if (serial && options_.paceLine && lineFree_ > due) due = lineFree_;
    for (auto& o : outs) {
      due += std::chrono::milliseconds(o.delayMs);
      if (serial && options_.paceLine) {
        uint8_t framed[FramedSize(1500)];
        const int32_t bytes =
            EncodeSerialFrame(o.frame.data(), static_cast<int32_t>(o.frame.size()), framed);
        due += microseconds(LineTimeUs(bytes));
        lineFree_ = due;
      }
      queue_.push_back({due, serial, std::move(o), peer});
    }
  }

  void FlushDue() {
    const auto now = std::chrono::steady_clock::now();
    while (!queue_.empty() && queue_.front().due <= now) {
      Scheduled s = std::move(queue_.front());
      queue_.pop_front();
      if (s.serial) {
        WriteSerial(s.out);
      } else {
        ::sendto(udpFd_, s.out.frame.data(), s.out.frame.size(), 0,
                 reinterpret_cast<const sockaddr*>(&s.peer), sizeof s.peer);
      }
    }
  }

  void WriteSerial(const Outgoing& o) {
    uint8_t framed[FramedSize(1500)];
    int32_t n = EncodeSerialFrame(o.frame.data(), static_cast<int32_t>(o.frame.size()), framed);
    if (o.corruptChecksum) {
      // Replace the checksum by one that cannot match (and needs no doubling).
      const bool doubled = framed[n - 1] == 0x10 && framed[n - 2] == 0x10;
      if (doubled) --n;
      framed[n - 1] = static_cast<uint8_t>(framed[n - 1] == 0x55 ? 0xAA : 0x55);
    }
    // The host hears it only when its line runs at the probe's speed.
    if (HostSpeed() == probe_.Speed()) {
      for (int32_t done = 0; done < n;) {
        const ssize_t w = ::write(masterFd_, framed + done, static_cast<size_t>(n - done));
        if (w > 0) {
          done += static_cast<int32_t>(w);
        } else if (w < 0 && errno == EAGAIN) {
          pollfd p{masterFd_, POLLOUT, 0};
          if (::poll(&p, 1, 1000) <= 0) break;
        } else {
          break;
        }
      }
    }
    if (o.switchSpeedAfter) probe_.SetSpeed(o.switchSpeedAfter);
  }

  void SaveFlash() {
    if (!dirty_ || options_.flashFile.empty()) return;
    std::string error;
    if (!probe_.Flash().Save(options_.flashFile, error)) {
      std::fprintf(stderr, "pxrsim: %s\n", error.c_str());
    }
    dirty_ = false;
  }

  void Shutdown() {
    if (udpFd_ >= 0) ::close(udpFd_);
    if (slaveFd_ >= 0) ::close(slaveFd_);
    if (masterFd_ >= 0) ::close(masterFd_);
    udpFd_ = slaveFd_ = masterFd_ = -1;
    if (linkCreated_) {
      std::error_code ec;
      std::filesystem::remove(options_.ptyLink, ec);
      linkCreated_ = false;
    }
  }

  Probe& probe_;
  const ServerOptions& options_;
  int udpFd_ = -1;
  int masterFd_ = -1;
  int slaveFd_ = -1;
  std::string slavePath_;
  bool linkCreated_ = false;
  bool dirty_ = false;
  FrameDecoder decoder_;
  int64_t rxBytes_ = 0;
  SteadyTime lineFree_{};
  std::deque<Scheduled> queue_;
};

}  // namespace

int RunServer(Probe& probe, const ServerOptions& options, const std::atomic<bool>& stop) {
  Server server(probe, options);
  if (!server.Start()) return 1;
  server.Run(stop);
  return 0;
}

}  // namespace pxr::sim
