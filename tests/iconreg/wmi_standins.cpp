#include "tests/iconreg/wmi_standins.h"

#include <oleauto.h>

#include <cwchar>
#include <map>
#include <utility>

WmiStandInWorld* wmiWorld = nullptr;

std::vector<std::wstring> WmiStandInWorld::Steps() const {
  std::vector<std::wstring> steps;
  for (const WmiCall& call : calls) steps.push_back(call.step);
  return steps;
}

namespace {

// Records one call; the result is the injected failure when this is the failing step.
HRESULT Record(const std::wstring& step, const std::wstring& detail) {
  if (wmiWorld == nullptr) return E_UNEXPECTED;
  wmiWorld->calls.push_back({step, detail});
  return step == wmiWorld->failStep ? wmiWorld->failure : S_OK;
}

std::wstring Text(const wchar_t* text) { return text != nullptr ? text : L"<null>"; }

// A real BSTR knows its length; a plain wide string passed as one does not.
std::wstring BstrText(BSTR text) {
  if (text == nullptr) return L"<null>";
  std::wstring out = text;
  if (SysStringLen(text) != out.size()) out += L" <not a BSTR>";
  return out;
}

std::wstring Pointer(const void* p) { return p != nullptr ? L"set" : L"null"; }

std::wstring Hex(unsigned value, int width) {
  wchar_t buffer[16];
  swprintf(buffer, 16, L"%0*X", width, value);
  return buffer;
}

// Counts itself in the world while it lives.
// A method of an interface that the tool never calls.
#define ZQ_NOT_CALLED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return E_NOTIMPL; }

template <typename Interface>
class StandIn : public Interface {
 public:
  StandIn() {
    if (wmiWorld != nullptr) ++wmiWorld->liveObjects;
  }
  virtual ~StandIn() {
    if (wmiWorld != nullptr) --wmiWorld->liveObjects;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  ULONG references_ = 1;
};

class StandInObject;
IWbemClassObject* MakeObject(const std::wstring& name);

class StandInObject : public StandIn<IWbemClassObject> {
 public:
  explicit StandInObject(std::wstring name) : name_(std::move(name)) {}
  ~StandInObject() override {
    for (auto& entry : properties_) VariantClear(&entry.second);
  }
  const std::wstring& Name() const { return name_; }

  void Set(const std::wstring& property, const VARIANT& value) {
    VARIANT& slot = properties_[property];
    VariantClear(&slot);
    VariantCopy(&slot, const_cast<VARIANT*>(&value));
  }
  const VARIANT* Find(const std::wstring& property) const {
    auto found = properties_.find(property);
    return found != properties_.end() ? &found->second : nullptr;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    // Only the answer's "OutData" is asked for its class object interface by the tool.
    if (name_ == L"OutData" && iid == IID_IWbemClassObject) {
      HRESULT status = Record(L"QueryInterface OutData", L"IID_IWbemClassObject");
      if (FAILED(status)) {
        *object = nullptr;
        return status;
      }
    }
    return StandIn::QueryInterface(iid, object);
  }

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override {
    std::wstring property = Text(name);
    HRESULT status = Record(L"Get " + property, name_ + L" flags=" + std::to_wstring(flags) +
                                                    L" type=" + Pointer(type) +
                                                    L" flavor=" + Pointer(flavor));
    if (FAILED(status)) return status;
    const VARIANT* found = Find(property);
    if (found == nullptr) return WBEM_E_NOT_FOUND;
    // As WMI does: the receiving variant is initialised, not cleared.
    VariantInit(value);
    return VariantCopy(value, const_cast<VARIANT*>(found));
  }

  HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override {
    std::wstring property = Text(name);
    HRESULT status =
        Record(L"Put " + property, name_ + L" flags=" + std::to_wstring(flags) + L" type=" +
                                       std::to_wstring(type) + L" " + DescribeVariant(*value));
    if (FAILED(status)) return status;
    Set(property, *value);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG flags, IWbemClassObject** instance) override {
    HRESULT status = Record(L"SpawnInstance " + name_, L"flags=" + std::to_wstring(flags));
    if (FAILED(status)) return status;
    *instance = MakeObject(name_ == L"zqwBIOSInt0 in-signature" ? L"input parameters"
                                                                 : name_ + L" instance");
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** inSignature,
                                      IWbemClassObject** outSignature) override {
    HRESULT status = Record(L"GetMethod", name_ + L" " + Text(name) + L" flags=" +
                                              std::to_wstring(flags) + L" out-signature=" +
                                              Pointer(outSignature));
    if (FAILED(status)) return status;
    if (std::wstring(Text(name)) != L"zqwBIOSInt0") return WBEM_E_NOT_FOUND;
    if (inSignature != nullptr) *inSignature = MakeObject(L"zqwBIOSInt0 in-signature");
    if (outSignature != nullptr) *outSignature = MakeObject(L"zqwBIOSInt0 out-signature");
    return S_OK;
  }

  // The rest of the interface is not used by the tool.
  ZQ_NOT_CALLED(GetQualifierSet, IWbemQualifierSet**)
  ZQ_NOT_CALLED(Delete, LPCWSTR)
  ZQ_NOT_CALLED(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
  ZQ_NOT_CALLED(BeginEnumeration, LONG)
  ZQ_NOT_CALLED(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
  ZQ_NOT_CALLED(EndEnumeration)
  ZQ_NOT_CALLED(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
  ZQ_NOT_CALLED(Clone, IWbemClassObject**)
  ZQ_NOT_CALLED(GetObjectText, LONG, BSTR*)
  ZQ_NOT_CALLED(SpawnDerivedClass, LONG, IWbemClassObject**)
  ZQ_NOT_CALLED(CompareTo, LONG, IWbemClassObject*)
  ZQ_NOT_CALLED(GetPropertyOrigin, LPCWSTR, BSTR*)
  ZQ_NOT_CALLED(InheritsFrom, LPCWSTR)
  ZQ_NOT_CALLED(PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
  ZQ_NOT_CALLED(DeleteMethod, LPCWSTR)
  ZQ_NOT_CALLED(BeginMethodEnumeration, LONG)
  ZQ_NOT_CALLED(NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
  ZQ_NOT_CALLED(EndMethodEnumeration)
  ZQ_NOT_CALLED(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
  ZQ_NOT_CALLED(GetMethodOrigin, LPCWSTR, BSTR*)

 private:
  std::wstring name_;
  std::map<std::wstring, VARIANT> properties_;
};

IWbemClassObject* MakeObject(const std::wstring& name) { return new StandInObject(name); }

// The name a stand-in object goes by, or a description of a foreign one.
std::wstring ObjectName(IUnknown* object) {
  if (object == nullptr) return L"<null>";
  IWbemClassObject* classObject = nullptr;
  if (FAILED(object->QueryInterface(IID_IWbemClassObject, reinterpret_cast<void**>(&classObject)))) {
    return L"<not a class object>";
  }
  auto* standIn = dynamic_cast<StandInObject*>(classObject);
  std::wstring name = standIn != nullptr ? standIn->Name() : L"<foreign object>";
  classObject->Release();
  return name;
}

IWbemClassObject* MakeInstance() {
  auto* instance = new StandInObject(L"zqwBIntM instance");
  if (wmiWorld->instanceHasPath) {
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(kStandInInstancePath);
    instance->Set(L"__PATH", path);
    VariantClear(&path);
  }
  return instance;
}

IWbemClassObject* MakeAnswer() {
  auto* outData = new StandInObject(L"OutData");
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = wmiWorld->returnCode;
  outData->Set(L"rwReturnCode", value);
  SAFEARRAY* data = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(wmiWorld->answerData.size()));
  for (LONG i = 0; i < static_cast<LONG>(wmiWorld->answerData.size()); ++i) {
    SafeArrayPutElement(data, &i, &wmiWorld->answerData[i]);
  }
  value.vt = VT_ARRAY | VT_UI1;
  value.parray = data;
  outData->Set(L"Data", value);
  SafeArrayDestroy(data);

  auto* answer = new StandInObject(L"output parameters");
  VariantInit(&value);
  if (wmiWorld->outDataNotObject) {
    value.vt = VT_I4;
    value.lVal = 7;
  } else {
    value.vt = VT_UNKNOWN;
    value.punkVal = static_cast<IWbemClassObject*>(outData);
  }
  answer->Set(L"OutData", value);
  outData->Release();  // the answer holds it now (or nothing does)
  return answer;
}

class StandInEnumerator : public StandIn<IEnumWbemClassObject> {
 public:
  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    HRESULT status = Record(L"Next", L"timeout=" + std::to_wstring(timeout) + L" count=" +
                                         std::to_wstring(count) + L" returned=" +
                                         Pointer(returned));
    if (FAILED(status)) return status;
    *returned = 0;
    switch (wmiWorld->enumeration) {
      case WmiStandInWorld::Enumeration::Empty:
        return WBEM_S_FALSE;
      case WmiStandInWorld::Enumeration::TimedOut:
        return WBEM_S_TIMEDOUT;
      case WmiStandInWorld::Enumeration::OneInstance:
        break;
    }
    if (given_) return WBEM_S_FALSE;
    given_ = true;
    objects[0] = MakeInstance();
    *returned = 1;
    return WBEM_S_NO_ERROR;
  }
  ZQ_NOT_CALLED(Reset)
  ZQ_NOT_CALLED(NextAsync, ULONG, IWbemObjectSink*)
  ZQ_NOT_CALLED(Clone, IEnumWbemClassObject**)
  ZQ_NOT_CALLED(Skip, LONG, ULONG)

 private:
  bool given_ = false;
};

class StandInServices : public StandIn<IWbemServices> {
 public:
  HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG flags, IWbemContext* context,
                                      IWbemClassObject** object,
                                      IWbemCallResult** callResult) override {
    std::wstring name = BstrText(path);
    HRESULT status = Record(L"GetObject " + name, L"flags=" + std::to_wstring(flags) +
                                                      L" context=" + Pointer(context) +
                                                      L" call-result=" + Pointer(callResult));
    if (FAILED(status)) return status;
    if (name != L"zqwBIntM" && name != L"zqwBDataIn") return WBEM_E_NOT_FOUND;
    *object = MakeObject(name);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR className, LONG flags,
                                               IWbemContext* context,
                                               IEnumWbemClassObject** instances) override {
    HRESULT status =
        Record(L"CreateInstanceEnum", BstrText(className) + L" flags=0x" + Hex(flags, 2) +
                                          L" context=" + Pointer(context));
    if (FAILED(status)) return status;
    *instances = new StandInEnumerator();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR path, const BSTR method, LONG flags,
                                       IWbemContext* context, IWbemClassObject* inParameters,
                                       IWbemClassObject** outParameters,
                                       IWbemCallResult** callResult) override {
    std::wstring in = ObjectName(inParameters);
    if (auto* standIn = dynamic_cast<StandInObject*>(inParameters)) {
      const VARIANT* inData = standIn->Find(L"InData");
      in += L" InData=" + (inData != nullptr ? DescribeVariant(*inData) : L"<none>");
    }
    HRESULT status = Record(L"ExecMethod", BstrText(path) + L" " + BstrText(method) + L" flags=" +
                                               std::to_wstring(flags) + L" context=" +
                                               Pointer(context) + L" in=" + in +
                                               L" call-result=" + Pointer(callResult));
    if (FAILED(status)) return status;
    *outParameters = wmiWorld->answerMissing ? nullptr : MakeAnswer();
    return S_OK;
  }

  // The rest of the interface is not used by the tool.
  ZQ_NOT_CALLED(OpenNamespace, const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**)
  ZQ_NOT_CALLED(CancelAsyncCall, IWbemObjectSink*)
  ZQ_NOT_CALLED(QueryObjectSink, LONG, IWbemObjectSink**)
  ZQ_NOT_CALLED(GetObjectAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(PutClass, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
  ZQ_NOT_CALLED(PutClassAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(DeleteClass, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
  ZQ_NOT_CALLED(DeleteClassAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(CreateClassEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
  ZQ_NOT_CALLED(CreateClassEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(PutInstance, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
  ZQ_NOT_CALLED(PutInstanceAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(DeleteInstance, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
  ZQ_NOT_CALLED(DeleteInstanceAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(CreateInstanceEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(ExecQuery, const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
  ZQ_NOT_CALLED(ExecQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  ZQ_NOT_CALLED(ExecNotificationQuery, const BSTR, const BSTR, LONG, IWbemContext*,
                IEnumWbemClassObject**)
  ZQ_NOT_CALLED(ExecNotificationQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                IWbemObjectSink*)
  ZQ_NOT_CALLED(ExecMethodAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                IWbemObjectSink*)
};

class StandInLocator : public StandIn<IWbemLocator> {
 public:
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user,
                                          const BSTR password, const BSTR locale,
                                          LONG securityFlags, const BSTR authority,
                                          IWbemContext* context,
                                          IWbemServices** services) override {
    HRESULT status = Record(
        L"ConnectServer",
        BstrText(resource) + L" user=" + Pointer(user) + L" password=" + Pointer(password) +
            L" locale=" + Pointer(locale) + L" flags=" + std::to_wstring(securityFlags) +
            L" authority=" + Pointer(authority) + L" context=" + Pointer(context));
    if (FAILED(status)) return status;
    *services = new StandInServices();
    return S_OK;
  }
};

class StandInLocatorFactory : public StandIn<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    HRESULT status = Record(L"CreateLocator", std::wstring(L"outer=") + Pointer(outer) +
                                                  L" iid=" +
                                                  (iid == IID_IWbemLocator ? L"IID_IWbemLocator"
                                                                           : L"<other>"));
    if (FAILED(status)) return status;
    auto* locator = new StandInLocator();
    status = locator->QueryInterface(iid, object);
    locator->Release();
    return status;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

IWbemServices* NewStandInServices() { return new StandInServices(); }
IClassFactory* NewStandInLocatorFactory() { return new StandInLocatorFactory(); }
IWbemClassObject* NewStandInObject(const std::wstring& name) { return MakeObject(name); }

std::wstring DescribeVariant(const VARIANT& value) {
  std::wstring out = L"vt=";
  if (value.vt & VT_ARRAY) {
    out += L"0x" + Hex(value.vt, 4);
  } else {
    out += std::to_wstring(value.vt);
  }
  if (value.vt == (VT_ARRAY | VT_UI1)) {
    SAFEARRAY* array = value.parray;
    if (array == nullptr) return out + L" <no array>";
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    out += L" dims=" + std::to_wstring(SafeArrayGetDim(array)) + L" lbound=" +
           std::to_wstring(lower) + L" [";
    for (LONG i = lower; i <= upper; ++i) {
      BYTE b = 0;
      SafeArrayGetElement(array, &i, &b);
      out += (i > lower ? L" " : L"") + Hex(b, 2);
    }
    return out + L"]";
  }
  switch (value.vt) {
    case VT_I4:
      return out + L" " + std::to_wstring(value.lVal);
    case VT_UNKNOWN:
      return out + L" <" + ObjectName(value.punkVal) + L">";
    case VT_BSTR:
      return out + L" " + BstrText(value.bstrVal);
    default:
      return out;
  }
}
