#include "iconreg/firmware_wmi.h"

#include <oleauto.h>

#include <iterator>
#include <utility>

#include "iconreg/firmware_payload.h"
#include "shared/format_bounded.h"
#include "shared/win_handles.h"

using Microsoft::WRL::ComPtr;

ComPtr<IWbemLocator> wmiLocator;
ComPtr<IWbemServices> wmiServices;
FirmwareRequestHeader firmwareRequestHeader;

namespace {

constexpr wchar_t kFirmwareNamespace[] = L"root\\wmi";
constexpr wchar_t kInterfaceClass[] = L"zqwBIntM";
constexpr wchar_t kRequestClass[] = L"zqwBDataIn";
constexpr LONG kEnumerationTimeoutMs = 2000;
constexpr BYTE kRequestSignature[4] = {0x53, 0x45, 0x43, 0x55};  // "SECU"

// The fixed command of this tool.
constexpr FirmwareRequestHeader kFirmwareCommand = {2, 49, kFirmwarePayloadSize};

// A one-dimensional VT_UI1 array with lower bound 0 holding the given bytes; null when it could
// not be built whole (status says why).
SAFEARRAY* MakeByteArray(const BYTE* bytes, ULONG count, HRESULT& status) {
  UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, count));
  if (!array) {
    status = E_OUTOFMEMORY;
    return nullptr;
  }
  for (LONG index = 0; index < static_cast<LONG>(count); ++index) {
    BYTE value = bytes[index];
    status = SafeArrayPutElement(array.Get(), &index, &value);
    if (FAILED(status)) return nullptr;
  }
  status = S_OK;
  return array.Release();
}

HRESULT PutInt32(IWbemClassObject* object, const wchar_t* name, int32_t number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return object->Put(name, 0, &value, 0);
}

HRESULT GetClassObject(const wchar_t* className, ComPtr<IWbemClassObject>& object) {
  UniqueBstr name(SysAllocString(className));
  if (!name) return E_OUTOFMEMORY;
  HRESULT status = wmiServices->GetObject(name.Get(), 0, nullptr, object.ReleaseAndGetAddressOf(), nullptr);
  if (SUCCEEDED(status) && !object) status = WBEM_E_NOT_FOUND;
  return status;
}

}  // namespace

HRESULT ConnectFirmwareWmi() {
  wmiLocator.Reset();
  wmiServices.Reset();
  // A process whose security is already set goes on with it.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  HRESULT status = CoCreateInstance(kWbemAdministrativeLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator,
                                    reinterpret_cast<void**>(wmiLocator.ReleaseAndGetAddressOf()));
  if (FAILED(status)) {
    wmiLocator.Reset();
    return status;
  }
  UniqueBstr space(SysAllocString(kFirmwareNamespace));
  status = space ? wmiLocator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                             nullptr, wmiServices.ReleaseAndGetAddressOf())
                 : E_OUTOFMEMORY;
  if (SUCCEEDED(status) && !wmiServices) status = WBEM_E_FAILED;
  if (FAILED(status)) {
    DisconnectFirmwareWmi();
    return status;
  }
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  static_assert(sizeof(OSVERSIONINFOW) == 276);
  GetVersionExW(&version);
  // From Windows 2000 on the connection goes with the process-wide security set above.
  if (version.dwMajorVersion > 4) return status;
  status = CoSetProxyBlanket(wmiServices.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                             RPC_C_AUTHN_LEVEL_CONNECT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                             EOAC_NONE);
  if (FAILED(status)) DisconnectFirmwareWmi();
  return status;
}

void DisconnectFirmwareWmi() {
  wmiServices.Reset();
  wmiLocator.Reset();
}

HRESULT SendFirmwareCommand(const BYTE* payload) {
  if (payload == nullptr) return E_POINTER;
  // The firmware gets the whole payload or nothing: a payload that could not be copied whole
  // is not sent.
  HRESULT status = S_OK;
  UniqueVariant input;
  input.value.parray = MakeByteArray(payload, kFirmwarePayloadSize, status);
  if (input.value.parray == nullptr) return status;
  input.value.vt = VT_ARRAY | VT_UI1;

  UniqueVariant output;
  output.value.vt = VT_ARRAY | VT_UI1;
  output.value.parray = nullptr;
  // The answer's data is not used by this tool.
  return ExecuteFirmwareMethod(input.value, &output.value);
}

HRESULT ExecuteFirmwareMethod(const VARIANT& input, VARIANT* output) {
  wchar_t methodName[30] = {};
  FormatBounded(methodName, std::size(methodName), L"zqwBIOSInt%ld", 0L);
  firmwareRequestHeader = kFirmwareCommand;
  if (!wmiServices) return E_UNEXPECTED;  // not connected: nothing may be sent

  ComPtr<IWbemClassObject> interfaceClass;
  HRESULT status = GetClassObject(kInterfaceClass, interfaceClass);
  if (FAILED(status)) return status;

  ComPtr<IWbemClassObject> inputSignature;
  status = interfaceClass->GetMethod(methodName, 0, inputSignature.GetAddressOf(), nullptr);
  if (FAILED(status)) return status;
  if (!inputSignature) return WBEM_E_INVALID_METHOD_PARAMETERS;

  ComPtr<IWbemClassObject> inputParameters;
  status = inputSignature->SpawnInstance(0, inputParameters.GetAddressOf());
  if (SUCCEEDED(status) && !inputParameters) status = WBEM_E_FAILED;
  if (FAILED(status)) return status;

  ComPtr<IWbemClassObject> request;
  {
    ComPtr<IWbemClassObject> requestClass;
    status = GetClassObject(kRequestClass, requestClass);
    if (FAILED(status)) return status;
    status = requestClass->SpawnInstance(0, request.GetAddressOf());
    if (SUCCEEDED(status) && !request) status = WBEM_E_FAILED;
    if (FAILED(status)) return status;
  }

  status = FillFirmwareInput(request.Get(), inputParameters.Get(), input);
  if (FAILED(status)) return status;

  UniqueVariant path;
  {
    ComPtr<IWbemClassObject> instance;
    status = FindFirmwareInterface(instance);
    if (FAILED(status)) return status;
    status = instance->Get(L"__PATH", 0, &path.value, nullptr, nullptr);
    if (FAILED(status)) return status;
  }
  if (path.value.vt != VT_BSTR || path.value.bstrVal == nullptr) return WBEM_E_INVALID_OBJECT_PATH;

  UniqueBstr method(SysAllocString(methodName));
  if (!method) return E_OUTOFMEMORY;
  ComPtr<IWbemClassObject> outputParameters;
  status = wmiServices->ExecMethod(path.value.bstrVal, method.Get(), 0, nullptr,
                                   inputParameters.Get(), outputParameters.GetAddressOf(), nullptr);
  if (FAILED(status)) return status;

  return ReadFirmwareOutput(std::move(outputParameters), output);
}

HRESULT FillFirmwareInput(IWbemClassObject* request, IWbemClassObject* inputParameters,
                          const VARIANT& payload) {
  if (request == nullptr || inputParameters == nullptr) return E_POINTER;
  HRESULT status = S_OK;
  {
    UniqueSafeArray signature(MakeByteArray(kRequestSignature, 4, status));
    if (!signature) return status;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_UI1;
    value.parray = signature.Get();  // Put copies it; the array is destroyed on leaving
    status = request->Put(L"Sign", 0, &value, 0);
    if (FAILED(status)) return status;
  }
  status = PutInt32(request, L"Command", firmwareRequestHeader.command);
  if (FAILED(status)) return status;
  status = PutInt32(request, L"CommandType", firmwareRequestHeader.commandType);
  if (FAILED(status)) return status;
  status = PutInt32(request, L"Size", firmwareRequestHeader.size);
  if (FAILED(status)) return status;
  status = request->Put(L"zqwBData", 0, const_cast<VARIANT*>(&payload), 0);
  if (FAILED(status)) return status;

  VARIANT embedded;
  VariantInit(&embedded);
  embedded.vt = VT_UNKNOWN;
  embedded.punkVal = request;  // lent: Put takes its own reference
  return inputParameters->Put(L"InData", 0, &embedded, 0);
}

HRESULT FindFirmwareInterface(ComPtr<IWbemClassObject>& instance) {
  instance.Reset();
  if (!wmiServices) return E_UNEXPECTED;
  UniqueBstr className(SysAllocString(kInterfaceClass));
  if (!className) return E_OUTOFMEMORY;
  ComPtr<IEnumWbemClassObject> instances;
  HRESULT status = wmiServices->CreateInstanceEnum(
      className.Get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, instances.GetAddressOf());
  if (FAILED(status)) return status;
  if (!instances) return WBEM_E_NOT_FOUND;
  ULONG returned = 0;
  status = instances->Next(kEnumerationTimeoutMs, 1, instance.ReleaseAndGetAddressOf(), &returned);
  // Only the first instance is ever used. Without one (the enumeration ended or timed out,
  // both success codes) there is no object to call the method on.
  if (SUCCEEDED(status) && (returned == 0 || !instance)) status = WBEM_E_NOT_FOUND;
  if (FAILED(status)) instance.Reset();
  return status;
}

HRESULT ReadFirmwareOutput(ComPtr<IWbemClassObject> outputParameters, VARIANT* data) {
  if (!outputParameters) return WBEM_E_FAILED;  // the method gave no answer to read
  UniqueVariant outData;
  HRESULT status = outputParameters->Get(L"OutData", 0, &outData.value, nullptr, nullptr);
  outputParameters.Reset();
  if (FAILED(status)) return status;
  if ((outData.value.vt != VT_UNKNOWN && outData.value.vt != VT_DISPATCH) ||
      outData.value.punkVal == nullptr) {
    return WBEM_E_TYPE_MISMATCH;  // "OutData" holds no object
  }
  ComPtr<IWbemClassObject> answer;
  status = outData.value.punkVal->QueryInterface(IID_IWbemClassObject,
                                             reinterpret_cast<void**>(answer.GetAddressOf()));
  if (FAILED(status)) return status;
  UniqueVariant returnCode;  // the provider's return code: read, not acted on
  status = answer->Get(L"rwReturnCode", 0, &returnCode.value, nullptr, nullptr);
  if (FAILED(status)) return status;
  if (data == nullptr) return E_POINTER;
  return answer->Get(L"Data", 0, data, nullptr, nullptr);
}
