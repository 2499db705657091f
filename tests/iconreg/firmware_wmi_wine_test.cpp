// The firmware exchange over WMI: against Wine's own WMI where it can serve (the connection to
// root\wmi, the missing firmware class, an enumeration that finds nothing, real class objects
// for the data steps), and against recording stand-ins for the rest, since the firmware's classes
// and method cannot exist in Wine's WMI.
#include "iconreg/firmware_wmi.h"

#include <objidl.h>
#include <oleauto.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "iconreg/command_line.h"
#include "iconreg/firmware_payload.h"
#include "tests/iconreg/wmi_standins.h"

using Microsoft::WRL::ComPtr;

namespace {

// Counts the task memory (safe arrays, BSTRs, variant contents) that is still held: what the
// exchange allocates must all be given back once its objects are gone. BSTRs are only returned
// to task memory with the BSTR cache off (OANOCACHE set for this test).
class AllocationSpy : public IMallocSpy {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
      *object = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override {
    if (block != nullptr) held_.insert(block);
    return block;
  }
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override {
    held_.erase(block);
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
    held_.erase(block);
    *newBlock = block;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override {
    if (block != nullptr) held_.insert(block);
    return block;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

  size_t Held() const { return held_.size(); }
  void Forget() { held_.clear(); }

 private:
  std::set<void*> held_;
};

AllocationSpy allocationSpy;

class ComApartment : public testing::Environment {
 public:
  void SetUp() override {
    ASSERT_GE(CoInitialize(nullptr), 0);  // succeeded
    ASSERT_EQ(CoRegisterMallocSpy(&allocationSpy), S_OK);
  }
  void TearDown() override {
    CoRevokeMallocSpy();
    CoUninitialize();
  }
};
const auto* const comApartment = testing::AddGlobalTestEnvironment(new ComApartment);

std::wstring Hex2(unsigned b) {
  wchar_t text[4];
  swprintf(text, 4, L"%02X", b);
  return text;
}

std::wstring ByteList(const BYTE* bytes, size_t count) {
  std::wstring out;
  for (size_t i = 0; i < count; ++i) out += (i > 0 ? L" " : L"") + Hex2(bytes[i]);
  return out;
}

// Takes over the caller's reference. (MinGW's ComPtr::Attach adds one of its own, unlike the
// Windows SDK's, so it would leak here.)
template <typename T>
ComPtr<T> Adopt(T* object) {
  ComPtr<T> owner;
  *owner.ReleaseAndGetAddressOf() = object;
  return owner;
}

// The payload as a variant, as SendFirmwareCommand passes it on.
void MakePayloadVariant(const BYTE* bytes, VARIANT& value) {
  VariantInit(&value);
  value.vt = VT_ARRAY | VT_UI1;
  value.parray = SafeArrayCreateVector(VT_UI1, 0, 128);
  for (LONG i = 0; i < 128; ++i) SafeArrayPutElement(value.parray, &i, const_cast<BYTE*>(&bytes[i]));
}

// --- The exchange against stand-ins ---

class StandInExchange : public testing::Test {
 protected:
  void SetUp() override {
    wmiWorld = &world_;
    allocationSpy.Forget();
    factory_ = NewStandInLocatorFactory();
    ASSERT_EQ(CoRegisterClassObject(kWbemAdministrativeLocator, factory_, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  void TearDown() override {
    DisconnectFirmwareWmi();
    CoRevokeClassObject(cookie_);
    factory_->Release();
    // Every stand-in the tool was given has been released, and nothing it allocated is held.
    EXPECT_EQ(world_.liveObjects, 0);
    EXPECT_EQ(allocationSpy.Held(), 0u);
    wmiWorld = nullptr;
  }

  // What the tool's -U action does: send only over a connection.
  HRESULT RunExchange() {
    HRESULT status = ConnectFirmwareWmi();
    if (FAILED(status)) return status;
    auto payload = FirmwarePayload();
    return SendFirmwareCommand(payload.data());
  }

  WmiStandInWorld world_;
  IClassFactory* factory_ = nullptr;
  DWORD cookie_ = 0;
};

std::vector<WmiCall> ExpectedFullExchange() {
  auto payload = FirmwarePayload();
  const std::wstring request = L"zqwBDataIn instance";
  return {
      {L"CreateLocator", L"outer=null iid=IID_IWbemLocator"},
      {L"ConnectServer", L"root\\wmi user=null password=null locale=null flags=0 authority=null "
                         L"context=null"},
      {L"GetObject zqwBIntM", L"flags=0 context=null call-result=null"},
      {L"GetMethod", L"zqwBIntM zqwBIOSInt0 flags=0 out-signature=null"},
      {L"SpawnInstance zqwBIOSInt0 in-signature", L"flags=0"},
      {L"GetObject zqwBDataIn", L"flags=0 context=null call-result=null"},
      {L"SpawnInstance zqwBDataIn", L"flags=0"},
      {L"Put Sign", request + L" flags=0 type=0 vt=0x2011 dims=1 lbound=0 [53 45 43 55]"},
      {L"Put Command", request + L" flags=0 type=0 vt=3 2"},
      {L"Put CommandType", request + L" flags=0 type=0 vt=3 49"},
      {L"Put Size", request + L" flags=0 type=0 vt=3 128"},
      {L"Put zqwBData", request + L" flags=0 type=0 vt=0x2011 dims=1 lbound=0 [" +
                            ByteList(payload.data(), payload.size()) + L"]"},
      {L"Put InData", L"input parameters flags=0 type=0 vt=13 <" + request + L">"},
      {L"CreateInstanceEnum", L"zqwBIntM flags=0x30 context=null"},
      {L"Next", L"timeout=2000 count=1 returned=set"},
      {L"Get __PATH", L"zqwBIntM instance flags=0 type=null flavor=null"},
      {L"ExecMethod", std::wstring(kStandInInstancePath) +
                          L" zqwBIOSInt0 flags=0 context=null in=input parameters InData=vt=13 <" +
                          request + L"> call-result=null"},
      {L"Get OutData", L"output parameters flags=0 type=null flavor=null"},
      {L"QueryInterface OutData", L"IID_IWbemClassObject"},
      {L"Get rwReturnCode", L"OutData flags=0 type=null flavor=null"},
      {L"Get Data", L"OutData flags=0 type=null flavor=null"},
  };
}

TEST_F(StandInExchange, FullExchangeInOrderWithEveryArgument) {
  EXPECT_EQ(RunExchange(), S_OK);
  auto expected = ExpectedFullExchange();
  ASSERT_EQ(world_.calls.size(), expected.size()) << testing::PrintToString(world_.Steps());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(world_.calls[i].step, expected[i].step) << i;
    EXPECT_EQ(world_.calls[i].detail, expected[i].detail) << i;
  }
  EXPECT_EQ(firmwareRequestHeader.command, 2);
  EXPECT_EQ(firmwareRequestHeader.commandType, 49);
  EXPECT_EQ(firmwareRequestHeader.size, 128);
}

TEST_F(StandInExchange, AnswerDataIsHandedBack) {
  world_.answerData = {0x10, 0x20, 0x30, 0x40};
  ASSERT_EQ(ConnectFirmwareWmi(), S_OK);
  auto payload = FirmwarePayload();
  VARIANT input, output;
  MakePayloadVariant(payload.data(), input);
  VariantInit(&output);
  output.vt = VT_ARRAY | VT_UI1;
  EXPECT_EQ(ExecuteFirmwareMethod(input, &output), S_OK);
  EXPECT_EQ(DescribeVariant(output), L"vt=0x2011 dims=1 lbound=0 [10 20 30 40]");
  VariantClear(&output);
  VariantClear(&input);
}

TEST_F(StandInExchange, FailureAtEachStepStopsThereAndReleasesEverything) {
  std::vector<std::wstring> full;
  for (const WmiCall& call : ExpectedFullExchange()) full.push_back(call.step);
  for (size_t failing = 0; failing < full.size(); ++failing) {
    world_.calls.clear();
    world_.failStep = full[failing];
    world_.failure = static_cast<HRESULT>(0x80041000 + 0x100 + failing);
    EXPECT_EQ(RunExchange(), world_.failure) << full[failing];
    std::vector<std::wstring> upToFailure(full.begin(), full.begin() + failing + 1);
    EXPECT_EQ(world_.Steps(), upToFailure) << full[failing];
    if (failing < 2) {
      // A failed connection leaves nothing behind to send over.
      EXPECT_EQ(wmiLocator.Get(), nullptr) << full[failing];
      EXPECT_EQ(wmiServices.Get(), nullptr) << full[failing];
    }
    DisconnectFirmwareWmi();
    EXPECT_EQ(world_.liveObjects, 1) << full[failing];  // only the registered factory
    EXPECT_EQ(allocationSpy.Held(), 0u) << full[failing];
  }
}

// Shapes of the firmware's answer: what the exchange returns and the call it ends with. The
// provider's return code is read, not acted on; a missing instance, path or answer is a failure.
TEST_F(StandInExchange, AnswerShapesEndAtTheirStep) {
  using Shape = void (*)(WmiStandInWorld&);
  struct Row {
    const char* name;
    Shape shape;
    unsigned result;  // the HRESULT's bits, as the WBEM_E_ constants are written
    const wchar_t* lastStep;
  };
  const Row rows[] = {
      {"return code 1", [](WmiStandInWorld& w) { w.returnCode = 1; }, S_OK, L"Get Data"},
      {"return code -1", [](WmiStandInWorld& w) { w.returnCode = -1; }, S_OK, L"Get Data"},
      {"return code max", [](WmiStandInWorld& w) { w.returnCode = 0x7FFFFFFF; }, S_OK, L"Get Data"},
      {"no instance",
       [](WmiStandInWorld& w) { w.enumeration = WmiStandInWorld::Enumeration::Empty; },
       WBEM_E_NOT_FOUND, L"Next"},
      {"enumeration timed out",
       [](WmiStandInWorld& w) { w.enumeration = WmiStandInWorld::Enumeration::TimedOut; },
       WBEM_E_NOT_FOUND, L"Next"},
      {"instance without path", [](WmiStandInWorld& w) { w.instanceHasPath = false; },
       WBEM_E_NOT_FOUND, L"Get __PATH"},
      {"no answer", [](WmiStandInWorld& w) { w.answerMissing = true; }, WBEM_E_FAILED,
       L"ExecMethod"},
      {"OutData not an object", [](WmiStandInWorld& w) { w.outDataNotObject = true; },
       WBEM_E_TYPE_MISMATCH, L"Get OutData"},
  };
  for (const Row& row : rows) {
    WmiStandInWorld fresh;
    fresh.liveObjects = world_.liveObjects;  // the registered factory
    world_ = fresh;
    row.shape(world_);
    EXPECT_EQ(static_cast<unsigned>(RunExchange()), row.result) << row.name;
    ASSERT_FALSE(world_.calls.empty()) << row.name;
    EXPECT_EQ(world_.calls.back().step, row.lastStep) << row.name;
    DisconnectFirmwareWmi();
  }
}

TEST_F(StandInExchange, NothingIsSentWithoutAConnection) {
  auto payload = FirmwarePayload();
  EXPECT_LT(SendFirmwareCommand(payload.data()), 0);
  EXPECT_LT(SendFirmwareCommand(nullptr), 0);
  EXPECT_THAT(world_.calls, testing::IsEmpty());
}

TEST_F(StandInExchange, FillPutsTheGivenPayloadUnchanged) {
  firmwareRequestHeader = {2, 49, 128};
  BYTE pattern[128];
  for (int i = 0; i < 128; ++i) pattern[i] = static_cast<BYTE>(255 - i);
  VARIANT payload;
  MakePayloadVariant(pattern, payload);
  ComPtr<IWbemClassObject> request = Adopt(NewStandInObject(L"request"));
  ComPtr<IWbemClassObject> parameters = Adopt(NewStandInObject(L"parameters"));
  EXPECT_EQ(FillFirmwareInput(request.Get(), parameters.Get(), payload), S_OK);
  VariantClear(&payload);
  EXPECT_EQ(world_.Steps(), (std::vector<std::wstring>{L"Put Sign", L"Put Command",
                                                       L"Put CommandType", L"Put Size",
                                                       L"Put zqwBData", L"Put InData"}));
  EXPECT_EQ(world_.calls[4].detail,
            L"request flags=0 type=0 vt=0x2011 dims=1 lbound=0 [" + ByteList(pattern, 128) + L"]");
  EXPECT_EQ(world_.calls[5].detail, L"parameters flags=0 type=0 vt=13 <request>");
}

TEST_F(StandInExchange, ReadGivesTheOutputParametersBack) {
  ComPtr<IWbemClassObject> parameters = Adopt(NewStandInObject(L"output parameters"));
  VARIANT data;
  VariantInit(&data);
  // Without "OutData" the read fails; the reference handed over is given back all the same.
  EXPECT_EQ(ReadFirmwareOutput(parameters, &data), WBEM_E_NOT_FOUND);
  parameters->AddRef();
  EXPECT_EQ(parameters->Release(), 1u);
  EXPECT_EQ(data.vt, VT_EMPTY);
}

// --- Wine's own WMI ---

class WineWmi : public testing::Test {
 protected:
  void TearDown() override { DisconnectFirmwareWmi(); }
};

TEST_F(WineWmi, ConnectsToRootWmi) {
  EXPECT_EQ(ConnectFirmwareWmi(), S_OK);
  EXPECT_NE(wmiLocator.Get(), nullptr);
  EXPECT_NE(wmiServices.Get(), nullptr);
}

TEST_F(WineWmi, ExchangeStopsAtTheMissingFirmwareClass) {
  ASSERT_EQ(ConnectFirmwareWmi(), S_OK);
  auto payload = FirmwarePayload();
  EXPECT_EQ(SendFirmwareCommand(payload.data()), WBEM_E_NOT_FOUND);
  EXPECT_EQ(firmwareRequestHeader.command, 2);
}

TEST_F(WineWmi, EnumerationWithoutInstanceIsAFailure) {
  // Wine enumerates an unknown class as empty (Windows refuses the class): either way there is
  // no instance to call the method on.
  ASSERT_EQ(ConnectFirmwareWmi(), S_OK);
  ComPtr<IWbemClassObject> instance;
  EXPECT_LT(FindFirmwareInterface(instance), 0);
  EXPECT_EQ(instance.Get(), nullptr);
}

ComPtr<IWbemClassObject> RealInstance(const wchar_t* className) {
  ComPtr<IWbemClassObject> classObject, instance;
  BSTR name = SysAllocString(className);
  if (SUCCEEDED(wmiServices->GetObject(name, 0, nullptr, classObject.GetAddressOf(), nullptr))) {
    classObject->SpawnInstance(0, instance.GetAddressOf());
  }
  SysFreeString(name);
  return instance;
}

TEST_F(WineWmi, FillStopsAtTheFirstPropertyARealObjectRefuses) {
  ASSERT_EQ(ConnectFirmwareWmi(), S_OK);
  // A real root\wmi object without the request's properties: the first put is refused, and
  // nothing is put into the parameters.
  ComPtr<IWbemClassObject> request = RealInstance(L"MSSmBios_RawSMBiosTables");
  ComPtr<IWbemClassObject> parameters = RealInstance(L"MSSmBios_RawSMBiosTables");
  ASSERT_TRUE(request && parameters);
  firmwareRequestHeader = {2, 49, 128};
  auto payload = FirmwarePayload();
  VARIANT value;
  MakePayloadVariant(payload.data(), value);
  EXPECT_LT(FillFirmwareInput(request.Get(), parameters.Get(), value), 0);
  VariantClear(&value);
  VARIANT inData;
  VariantInit(&inData);
  EXPECT_LT(parameters->Get(L"InData", 0, &inData, nullptr, nullptr), 0);
  VariantClear(&inData);
}

TEST_F(WineWmi, ReadOfARealObjectWithoutOutDataFailsAndGivesItBack) {
  ASSERT_EQ(ConnectFirmwareWmi(), S_OK);
  ComPtr<IWbemClassObject> answer = RealInstance(L"MSSmBios_RawSMBiosTables");
  ASSERT_TRUE(answer);
  answer->AddRef();
  ULONG before = answer->Release();
  VARIANT data;
  VariantInit(&data);
  data.vt = VT_ARRAY | VT_UI1;
  EXPECT_LT(ReadFirmwareOutput(answer, &data), 0);
  answer->AddRef();
  EXPECT_EQ(answer->Release(), before);
  VariantClear(&data);
}

}  // namespace
