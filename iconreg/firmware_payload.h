#pragma once
// The one command this tool hands to the firmware. Plain C++, checked on any machine.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kFirmwarePayloadSize = 128;
// 0xF0 0x06, then zeros.
std::array<uint8_t, kFirmwarePayloadSize> FirmwarePayload();
