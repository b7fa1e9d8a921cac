// Operating-system serial port, as the serial channel needs it.
//
// One implementation per operating system (posix_serial_port.cpp, win32_serial_port.cpp); the
// channel's framing and handshake logic sits above this interface and never sees the OS.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pxr {

class PortMap;

// Why the last Open failed, so front ends can name a cause a user can act on.
enum class PortError { kNone, kNotFound, kBusy, kAccessDenied, kNotATerminal, kOther };

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens the device exclusively, existing device only, and applies raw 8N1 at 9600 baud,
  // binary, no flow control, DTR and RTS held off. false on any failure (see LastError).
  virtual bool Open(std::string_view device) = 0;
  // Applies a new line speed. false when the port refuses it.
  virtual bool SetSpeed(uint32_t baud) = 0;
  // Waits at most waitMs for one byte: 1 = byte read, 0 = nothing arrived, -1 = the port failed.
  virtual int ReadByte(uint8_t& byte, uint32_t waitMs) = 0;
  // Writes all bytes with one logical write (bounded wait). Returns bytes written, -1 on failure.
  virtual int32_t Write(const uint8_t* data, int32_t count) = 0;
  // Reads and clears the port's error state. false when that is no longer possible.
  virtual bool ClearError() = 0;
  // Discards everything received and not yet read.
  virtual void PurgeInput() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual PortError LastError() const = 0;
  // The device the last Open resolved the name to (for messages), e.g. "/dev/ttyUSB0".
  virtual std::string LastDevice() const = 0;
};

// The platform's serial port; COMn names are resolved through map (which must outlive the port).
std::unique_ptr<SerialPort> MakeSystemSerialPort(const PortMap& map);

}  // namespace pxr
