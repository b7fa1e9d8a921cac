#include "link/status.h"

namespace pxr {

const char* StatusText(int32_t code) {
  switch (code) {
    case status::kOk:
      return "success";
    case status::kSerialConfig:
      return "serial port could not be opened or configured";
    case status::kSerialTimeout:
      return "no byte from the serial port within the wait";
    case status::kSerialPortFailed:
      return "serial port error state could not be cleared";
    case status::kSerialBadEscape:
      return "malformed serial frame (bad DLE sequence)";
    case status::kSerialChecksum:
      return "serial frame checksum mismatch";
    case status::kSerialOverflow:
      return "serial frame longer than the receive buffer";
    case status::kSerialWrite:
      return "serial write failed";
    case status::kNetFailed:
      return "network socket operation failed";
    case status::kNetTimeout:
      return "no datagram within the wait";
    case status::kNoAnswer:
      return "no answer from the probe";
    case status::kInvalidArgument:
      return "invalid argument";
    case status::kNotOpen:
      return "link not open";
    case status::kReplyTooLong:
      return "reply longer than the reply buffer";
    case status::kUnexpectedReply:
      return "unexpected reply";
    case status::kInvalidFirmware:
      return "invalid firmware file";
    case status::kLoaderRestart:
      return "loader asked for a restart";
    case status::kEraseFailed:
      return "sector erase failed";
    case status::kProgramFailed:
      return "flash programming failed";
    case status::kIllegalData:
      return "illegal data in boot/loader sectors";
    case status::kConfigTooLarge:
      return "configuration too large";
    case status::kRegisterPath:
      return "register file unusable";
    default:
      return "unknown status";
  }
}

}  // namespace pxr
