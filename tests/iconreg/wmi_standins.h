#pragma once
// In-process stand-ins for the firmware's WMI side: a locator (reached through CoCreateInstance
// of the administrative locator class), the root\wmi connection, class objects, instances, the
// enumerator and the method's answer. Every call the tool makes is recorded in order, any
// step can be made to fail, and every stand-in object is counted while it lives.
//
// Wine's WMI serves only its built-in classes: the firmware's classes and their method cannot
// exist there, so the exchange beyond the class lookup is only reachable through stand-ins.

#include <windows.h>
#include <wbemcli.h>

#include <string>
#include <vector>

struct WmiCall {
  std::wstring step;    // e.g. "Put Sign", "ExecMethod": what a failure is injected at
  std::wstring detail;  // the arguments as the stand-in saw them
};

struct WmiStandInWorld {
  std::vector<WmiCall> calls;
  std::wstring failStep;  // the step that fails (empty: none)
  HRESULT failure = WBEM_E_ACCESS_DENIED;
  int liveObjects = 0;

  // Shapes of the firmware's answer.
  enum class Enumeration { OneInstance, Empty, TimedOut } enumeration = Enumeration::OneInstance;
  bool instanceHasPath = true;
  bool answerMissing = false;     // ExecMethod succeeds with no output parameters
  bool outDataNotObject = false;  // "OutData" holds a number
  int returnCode = 0;
  std::vector<BYTE> answerData{0xAA, 0x55, 0x01};

  std::vector<std::wstring> Steps() const;
};

// The world the stand-ins record into; set by the test, one at a time.
extern WmiStandInWorld* wmiWorld;

constexpr wchar_t kStandInInstancePath[] =
    L"\\\\ZQ\\root\\wmi:zqwBIntM.InstanceName=\"ACPI\\\\PNP0C14\\\\0_0\"";

// A connection to the stand-in root\wmi, as ConnectServer would give it.
IWbemServices* NewStandInServices();
// The class factory that CoCreateInstance finds for the administrative locator class once it
// is registered with CoRegisterClassObject.
IClassFactory* NewStandInLocatorFactory();
// A free-standing object with the given name for the data steps (its puts are recorded).
IWbemClassObject* NewStandInObject(const std::wstring& name);

// "vt=0x2011 lbound=0 [53 45 43 55]", "vt=3 49", "vt=13 <request>" ...
std::wstring DescribeVariant(const VARIANT& value);
