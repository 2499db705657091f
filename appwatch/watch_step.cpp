#include "appwatch/watch_step.h"

WatchStep NextWatchStep(bool lastDisplayRequired, bool pollSucceeded, uint32_t executionState) {
  if (!pollSucceeded) return {lastDisplayRequired, 0, nullptr};
  const bool now = (executionState & kDisplayRequiredBit) != 0;
  if (now == lastDisplayRequired) return {now, 0, nullptr};
  if (now) {
    return {true, kControlSuspendSensor,
            u"ZQWWMIAppCloseEventTraceStartEx:Suspend Proximity Sensor"};
  }
  return {false, kControlResumeSensor,
          u"ZQWWMIAppCloseEventTraceStartEx:Resume Proximity Sensor"};
}
