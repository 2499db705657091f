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
                      (mode == HoldMode::kReaderLock        ? L" lock"
                       : mode == HoldMode::kSharingReading ? L" share-read"
                                                           : L"");
  process_ = std::make_unique<ChildProcess>(line);
  if (!process_->Started()) return;
  // Ready, or the holder ended without taking the file.
  HANDLE either[] = {ready.Get(), process_->Handle()};
  held_ = WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0;
}

HeldFile::~HeldFile() {
  if (process_) process_->WaitForExit(INFINITE);
}

bool HeldFile::StillHeld() const { return process_ && process_->Running(); }

void HeldFile::EndNow() {
  if (process_) process_->End();
}

bool HeldFile::WaitForRelease(DWORD timeoutMs) {
  return process_ && process_->WaitForExit(timeoutMs) && process_->ExitCode() == 0;
}
