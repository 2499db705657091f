#pragma once
// Another process that holds a file without sharing it, or sharing reading only, or that locks
// all of it through a read-only handle (tests/support/file_holder.cpp).

#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/wine_support.h"

enum class HoldMode { kWithoutSharing, kSharingReading, kReaderLock };

class HeldFile {
 public:
  // Starts the holder and returns once it holds `path` (made when missing) for `milliseconds`.
  // Held() is false when it could not be started or could not take the file.
  HeldFile(const wchar_t* path, DWORD milliseconds, HoldMode mode = HoldMode::kWithoutSharing);
  ~HeldFile();  // waits for the holder to let go
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool Held() const { return held_; }
  // Whether the holder still holds the file (it lets go when it ends).
  bool StillHeld() const;
  // Waits until the holder has let go; false when it did not within the time or failed.
  bool WaitForRelease(DWORD timeoutMs);
  // Ends the holder at once, which lets go of the file and its lock.
  void EndNow();

 private:
  std::unique_ptr<ChildProcess> process_;
  bool held_ = false;
};
