// Win32 serial port: CreateFile without sharing, the DCB of the loader link (8N1, binary, no flow
// control, DTR and RTS held off, abort on error), driver queues and timeouts, ClearCommError.
#include <windows.h>

#include <string>

#include "link/port_map.h"
#include "link/serial_port.h"

namespace pxr {

namespace {

constexpr DWORD kInputQueue = 1500;
constexpr DWORD kOutputQueue = 4500;

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(const PortMap&) {}
  ~Win32SerialPort() override { Close(); }

  bool Open(std::string_view device) override {
    Close();
    // COM10 and above only open with the \\.\ prefix; it is harmless for the others.
    lastDevice_ = std::string(device);
    if (lastDevice_.rfind("COM", 0) == 0) lastDevice_ = "\\\\.\\" + lastDevice_;
    lastError_ = PortError::kNone;
    handle_ = CreateFileA(lastDevice_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
      switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: lastError_ = PortError::kNotFound; break;
        case ERROR_ACCESS_DENIED: lastError_ = PortError::kBusy; break;
        default: lastError_ = PortError::kOther; break;
      }
      return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 100;
    timeouts.ReadTotalTimeoutMultiplier = 10;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 100;
    if (!SetupComm(handle_, kInputQueue, kOutputQueue) || !GetCommState(handle_, &dcb)) {
      return Fail();
    }
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 1;
    if (!SetCommState(handle_, &dcb) || !SetCommTimeouts(handle_, &timeouts)) return Fail();
    return true;
  }

  bool SetSpeed(uint32_t baud) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (handle_ == INVALID_HANDLE_VALUE || !GetCommState(handle_, &dcb)) return false;
    dcb.BaudRate = baud;
    return SetCommState(handle_, &dcb) != 0;
  }

  int ReadByte(uint8_t& byte, uint32_t) override {
    // The driver's timeouts bound the wait (about 110 ms for one byte).
    DWORD got = 0;
    if (!ReadFile(handle_, &byte, 1, &got, nullptr)) return -1;
    return got == 1 ? 1 : 0;
  }

  int32_t Write(const uint8_t* data, int32_t count) override {
    DWORD written = 0;
    if (!WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr)) return -1;
    return static_cast<int32_t>(written);
  }

  bool ClearError() override {
    DWORD errors = 0;
    COMSTAT comstat{};
    return ClearCommError(handle_, &errors, &comstat) != 0;
  }

  void PurgeInput() override {
    if (handle_ != INVALID_HANDLE_VALUE) PurgeComm(handle_, PURGE_RXCLEAR | PURGE_RXABORT);
  }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  PortError LastError() const override { return lastError_; }
  std::string LastDevice() const override { return lastDevice_; }

 private:
  bool Fail() {
    lastError_ = PortError::kOther;
    Close();
    return false;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  PortError lastError_ = PortError::kNone;
  std::string lastDevice_;
};

}  // namespace

std::unique_ptr<SerialPort> MakeSystemSerialPort(const PortMap& map) {
  return std::make_unique<Win32SerialPort>(map);
}

}  // namespace pxr
