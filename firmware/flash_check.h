// Flash erase and check: erase every sector outside boot code and loader, check that the rest of
// the boot and loader sectors is blank, and compute the CRC of the boot and loader region.
//
// Results: 0; -4008 data where the flash must be blank; otherwise the loader status.
#pragma once

#include <cstdint>

#include "firmware/update.h"

namespace pxr {

// CRC-16/ARC (reflected 0x8005, initial value given, no final XOR).
uint16_t Crc16(uint16_t crc, const uint8_t* bytes, uint32_t count);
// True when every byte is 0xFF.
bool IsErased(uint32_t count, const uint8_t* bytes);

// Blank checks after the boot code and the loader image, then the CRC over 0x0-0x2FFFF with the
// bytes 0x20-0x27 taken as 0. A failed read ends the check with the read's status.
int32_t CheckBootLoaderSectors(Loader& loader, uint16_t& crc);

// Erases the 68 sectors in order with progress, then checks. No erase is sent after a failure.
int32_t EraseAndCheckFlash(ProcedureContext& context, uint16_t& crc);

}  // namespace pxr
