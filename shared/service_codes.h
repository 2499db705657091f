#pragma once
// The user-defined control codes the sensor service answers, as sensorctl and appwatch send
// them and the stand-in service handles them. Plain C++, so the watcher's rule uses them on
// any host.

#include <cstdint>

// "New" has been written; copy it into "Current".
constexpr std::uint32_t kControlTakeNewSettings = 200;
constexpr std::uint32_t kControlSuspendSensor = 202;
constexpr std::uint32_t kControlResumeSensor = 203;
