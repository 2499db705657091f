#pragma once
// The firmware command over WMI: one call of the method "zqwBIOSInt0" on the firmware's
// "zqwBIntM" instance in root\wmi, with a "zqwBDataIn" request as its "InData".
// COM must be initialised on the calling thread.

#include <windows.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <cstdint>

// The locator and the connection to root\wmi; empty while not connected.
extern Microsoft::WRL::ComPtr<IWbemLocator> wmiLocator;
extern Microsoft::WRL::ComPtr<IWbemServices> wmiServices;

// Header of the request, set before each call.
struct FirmwareRequestHeader {
  int32_t command = 0;
  int32_t commandType = 0;
  int32_t size = 0;
};
extern FirmwareRequestHeader firmwareRequestHeader;

// The administrative locator class; the MinGW headers do not declare it.
constexpr CLSID kWbemAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

// Connects to root\wmi and fills wmiLocator and wmiServices; on failure both stay empty.
HRESULT ConnectFirmwareWmi();
// Gives the locator and the connection back (before COM is shut down).
void DisconnectFirmwareWmi();

// Sends the 128 payload bytes with the fixed command; the answer's data is discarded.
HRESULT SendFirmwareCommand(const BYTE* payload);

// The inner steps of one call, in their order.
// input: the payload as VT_ARRAY | VT_UI1. output: receives "Data" of the answer (the caller
// clears it).
HRESULT ExecuteFirmwareMethod(const VARIANT& input, VARIANT* output);
// Puts "Sign", "Command", "CommandType", "Size" and "zqwBData" into the request, then the request
// as "InData" into the method's input parameters; stops at the first failing put.
HRESULT FillFirmwareInput(IWbemClassObject* request, IWbemClassObject* inputParameters,
                          const VARIANT& payload);
// The first "zqwBIntM" instance. No instance at all is WBEM_E_NOT_FOUND: there is nothing to
// call the method on.
HRESULT FindFirmwareInterface(Microsoft::WRL::ComPtr<IWbemClassObject>& instance);
// Reads "rwReturnCode" and then "Data" out of the answer's "OutData"; gives the output
// parameters back in any case.
HRESULT ReadFirmwareOutput(Microsoft::WRL::ComPtr<IWbemClassObject> outputParameters,
                           VARIANT* data);
