// POSIX serial port: termios, raw 8N1, exclusive open (TIOCEXCL and flock), modem lines off.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "link/clock.h"
#include "link/port_map.h"
#include "link/serial_port.h"

namespace pxr {

namespace {

bool BaudConstant(uint32_t baud, speed_t& out) {
  switch (baud) {
    case 1200:
      out = B1200;
      return true;
    case 2400:
      out = B2400;
      return true;
    case 4800:
      out = B4800;
      return true;
    case 9600:
      out = B9600;
      return true;
    case 19200:
      out = B19200;
      return true;
    case 38400:
      out = B38400;
      return true;
    case 57600:
      out = B57600;
      return true;
    case 115200:
      out = B115200;
      return true;
    case 230400:
      out = B230400;
      return true;
    default:
      return false;
  }
}

// Pseudo-terminals and some USB adapters have no modem lines; that is no reason to fail.
bool UnsupportedByDevice(int error) {
  return error == ENOTTY || error == EINVAL;
}

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(const PortMap& map) : map_(map) {}
  ~PosixSerialPort() override { Close(); }

  bool Open(std::string_view device) override {
    Close();
    lastDevice_ = map_.Resolve(device);
    lastError_ = PortError::kNone;
    const int fd = ::open(lastDevice_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno);
    if (!isatty(fd)) {
      ::close(fd);
      lastError_ = PortError::kNotATerminal;
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
      const int e = errno;
      ::close(fd);
      return Fail(e == EWOULDBLOCK ? EBUSY : e);
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
      const int e = errno;
      ::close(fd);
      return Fail(e);
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
      const int e = errno;
      ::close(fd);
      return Fail(e);
    }
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIC, &lines) != 0 && !UnsupportedByDevice(errno)) {
      const int e = errno;
      ::close(fd);
      return Fail(e);
    }
    fd_ = fd;
    head_ = tail_ = 0;
    return true;
  }

  bool SetSpeed(uint32_t baud) override {
    speed_t code;
    if (fd_ < 0 || !BaudConstant(baud, code)) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return false;
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    return ::tcsetattr(fd_, TCSADRAIN, &tio) == 0;
  }

  int ReadByte(uint8_t& byte, uint32_t waitMs) override {
    if (fd_ < 0) return -1;
    if (head_ == tail_) {
      const int filled = Fill(waitMs);
      if (filled <= 0) return filled;
    }
    byte = buffer_[head_++];
    return 1;
  }

  int32_t Write(const uint8_t* data, int32_t count) override {
    if (fd_ < 0) return -1;
    // The driver's write timeout: 10 ms per byte plus 100 ms.
    const uint32_t limitMs = 100 + 10 * static_cast<uint32_t>(count);
    const uint32_t start = clock_.TickMs();
    int32_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(count - done));
      if (n > 0) {
        done += static_cast<int32_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return done > 0 ? done : -1;
      const uint32_t elapsed = clock_.TickMs() - start;
      if (elapsed >= limitMs) break;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(limitMs - elapsed));
    }
    return done;
  }

  bool ClearError() override { return fd_ >= 0; }

  void PurgeInput() override {
    if (fd_ < 0) return;
    ::tcflush(fd_, TCIFLUSH);
    head_ = tail_ = 0;
  }

  void Close() override {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    head_ = tail_ = 0;
  }

  bool IsOpen() const override { return fd_ >= 0; }
  PortError LastError() const override { return lastError_; }
  std::string LastDevice() const override { return lastDevice_; }

 private:
  bool Fail(int error) {
    switch (error) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
        lastError_ = PortError::kNotFound;
        break;
      case EBUSY:
        lastError_ = PortError::kBusy;
        break;
      case EACCES:
      case EPERM:
        lastError_ = PortError::kAccessDenied;
        break;
      case ENOTTY:
        lastError_ = PortError::kNotATerminal;
        break;
      default:
        lastError_ = PortError::kOther;
        break;
    }
    return false;
  }

  // Waits up to waitMs and reads what has arrived. 1 = bytes buffered, 0 = none, -1 = failure.
  int Fill(uint32_t waitMs) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(waitMs));
    if (ready == 0) return 0;
    if (ready < 0) return errno == EINTR ? 0 : -1;
    const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
    if (n > 0) {
      head_ = 0;
      tail_ = static_cast<size_t>(n);
      return 1;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    // Hang-up or I/O error: a real driver would block for its interval, so do not spin either.
    clock_.SleepMs(waitMs < 10 ? waitMs : 10);
    return -1;
  }

  const PortMap& map_;
  SteadyClock clock_;
  int fd_ = -1;
  PortError lastError_ = PortError::kNone;
  std::string lastDevice_;
  uint8_t buffer_[512];
  size_t head_ = 0;
  size_t tail_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> MakeSystemSerialPort(const PortMap& map) {
  return std::make_unique<PosixSerialPort>(map);
}

}  // namespace pxr
