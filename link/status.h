// Status codes of the probe link and the loader operations.
//
// Every operation returns a signed 32-bit status: 0 is success, a negative value is a failure.
// Channel codes are in the -1000 (serial) and -1100 (network) series, link and reply checks in the
// -1200 series, loader operations and procedures in the -4000 series. A positive value returned
// by a transaction is a reply length, never a status.
#pragma once

#include <cstdint>

namespace pxr {

namespace status {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kSerialConfig =
    -1001;  // open/configure/speed failed, speed change unanswered
inline constexpr int32_t kSerialTimeout = -1002;     // no byte within the wait
inline constexpr int32_t kSerialPortFailed = -1003;  // error state could not be read and cleared
inline constexpr int32_t kSerialBadEscape = -1004;   // DLE followed by something other than DLE/ETX
inline constexpr int32_t kSerialChecksum = -1005;    // checksum mismatch
inline constexpr int32_t kSerialOverflow = -1006;    // frame longer than the receive buffer
inline constexpr int32_t kSerialWrite = -1007;       // write failed or incomplete
inline constexpr int32_t kNetFailed = -1101;        // socket start-up/creation/connect/send/receive
inline constexpr int32_t kNetTimeout = -1102;       // no datagram within the wait
inline constexpr int32_t kNoAnswer = -1201;         // handshake failed or five sends unanswered
inline constexpr int32_t kInvalidArgument = -1202;  // bad channel spec, address or length
inline constexpr int32_t kNotOpen = -1203;          // link not open
inline constexpr int32_t kReplyTooLong = -1204;     // reply longer than the caller's capacity
inline constexpr int32_t kUnexpectedReply = -1205;  // wrong reply length/echo, speed change lost
inline constexpr int32_t kInvalidFirmware = -4003;  // firmware file unusable
inline constexpr int32_t kLoaderRestart = -4004;    // probe answered 0x72 with 0x72
inline constexpr int32_t kEraseFailed = -4006;      // loader refused/failed a sector erase
inline constexpr int32_t kProgramFailed = -4007;    // loader refused/failed programming
inline constexpr int32_t kIllegalData = -4008;      // non-blank data where blank is required
inline constexpr int32_t kConfigTooLarge = -4010;   // stored configuration does not fit
inline constexpr int32_t kRegisterPath = -4011;     // register file unusable
}  // namespace status

// Short English description of a status code, for diagnostic output only.
const char* StatusText(int32_t status);

}  // namespace pxr
