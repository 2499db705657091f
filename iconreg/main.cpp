// iconreg: registers (-R) or removes (-C) the Control Panel item that starts sensorctl, or hands
// the fixed command to the firmware (-U). The action's status is the exit code.
#include <windows.h>

#include "iconreg/command_line.h"
#include "iconreg/firmware_payload.h"
#include "iconreg/control_panel.h"
#include "iconreg/firmware_wmi.h"
#include "shared/text16.h"

namespace {

const char16_t* NextWindowsCharacter(const char16_t* text) {
  return AsU16(CharNextW(AsWide(text)));
}

// Failures of the exchange change nothing for the caller: the exit code is 0.
int RunFirmwareCommand() {
  if (FAILED(CoInitialize(nullptr))) return 0;
  if (SUCCEEDED(ConnectFirmwareWmi())) {
    auto payload = FirmwarePayload();
    SendFirmwareCommand(payload.data());
  }
  DisconnectFirmwareWmi();
  CoUninitialize();
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  switch (ChooseToolAction(AsU16(commandLine), NextWindowsCharacter)) {
    case ToolAction::Register:
      return RegisterControlPanelItem();
    case ToolAction::Remove:
      return ExitCodeForRemoval(RemoveControlPanelItem());
    case ToolAction::FirmwareCommand:
      return RunFirmwareCommand();
    case ToolAction::None:
      break;
  }
  return 0;
}
