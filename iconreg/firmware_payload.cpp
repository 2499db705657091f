#include "iconreg/firmware_payload.h"

std::array<uint8_t, kFirmwarePayloadSize> FirmwarePayload() {
  std::array<uint8_t, kFirmwarePayloadSize> payload{};
  payload[0] = 0xF0;
  payload[1] = 0x06;
  return payload;
}
