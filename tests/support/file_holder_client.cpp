#include "tests/support/file_holder_client.h"

#include <atomic>

namespace {

// The holder is built next to the tests.
std::wstring HolderPath() {
  wchar_t self[MAX_PATH];
  std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  path.resize(path.find_last_of(L"\\/") + 1);
  return path + L"zq_file_holder.exe";
}

std::wstring ReadyEventName() {
  static std::atomic<unsigned> serial{0};
  return L"ZQFileHolderReady." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(++serial);
}

}  // namespace

HeldFile::HeldFile(const wchar_t* path, DWORD milliseconds, HoldMode mode) {
  const std::wstring eventName = ReadyEventName();
  UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  if (!ready) return;
  std::wstring line = L"\"" + HolderPath() + L"\" \"" + path + L"\" " +
                      std::to_wstring(milliseconds) + L" " + eventName +
                     (mode == HoldMode::kReaderLock ? L" lock" : L"");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return;
  }
  process_.Reset(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  // Ready, or the holder ended without taking the file.
  HANDLE either[] = {ready.Get(), process_.Get()};
  held_ = WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0;
}

HeldFile::~HeldFile() {
  if (process_) WaitForSingleObject(process_.Get(), INFINITE);
}

bool HeldFile::StillHeld() const {
  return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

void HeldFile::EndNow() {
  if (process_ && TerminateProcess(process_.Get(), 3)) WaitForSingleObject(process_.Get(), 30000);
}

bool HeldFile::WaitForRelease(DWORD timeoutMs) {
  if (!process_ || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 1;
  return GetExitCodeProcess(process_.Get(), &code) && code == 0;
}
