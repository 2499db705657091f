// sensorctl: the settings window of the proximity sensor.
#include <windows.h>

#include "sensorctl/app/main_window.h"

int WINAPI wWinMain(HINSTANCE moduleInstance, HINSTANCE, PWSTR, int showCommand) {
  return RunSettingsWindow(moduleInstance, showCommand);
}
