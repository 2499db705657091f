// appwatch: suspends the proximity sensor while some application keeps the display on.
#include <windows.h>

#include "appwatch/monitor_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  if (CreateMonitorWindow(instance, showCommand) == nullptr) return 0;
  return RunMonitorMessageLoop(instance);
}
