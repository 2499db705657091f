#pragma once
// Small owners for Win32 handles, so that every path out of a function gives them back.

#include <windows.h>
#include <oleauto.h>

#include <utility>

// One owner type per kind of handle: Traits::Close gives it back, Traits::Invalid() is "none".
template <typename Traits>
class UniqueHandleOf {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandleOf() = default;
  explicit UniqueHandleOf(Handle handle) : handle_(handle) {}
  UniqueHandleOf(const UniqueHandleOf&) = delete;
  UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
  UniqueHandleOf(UniqueHandleOf&& other) noexcept : handle_(other.Release()) {}
  UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueHandleOf() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  // For APIs that return a handle through a pointer; the old handle is closed first.
  Handle* Put() {
    Reset();
    return &handle_;
  }
  Handle Release() { return std::exchange(handle_, Traits::Invalid()); }
  void Reset(Handle handle = Traits::Invalid()) {
    Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// Handles whose "none" is null: keys, services, threads, events and processes, GDI objects, and
// the COM task memory that WMI and Automation hand over (names as BSTRs, whose length prefix
// travels with them; byte arrays as SAFEARRAYs).
template <typename H, auto close>
struct NullHandleTraits {
  using Handle = H;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { close(h); }
};
// Kernel handles whose "none" is INVALID_HANDLE_VALUE (CreateFileW).
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

using UniqueRegKey = UniqueHandleOf<NullHandleTraits<HKEY, RegCloseKey>>;
using UniqueServiceHandle = UniqueHandleOf<NullHandleTraits<SC_HANDLE, CloseServiceHandle>>;
using UniqueFile = UniqueHandleOf<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandleOf<NullHandleTraits<HANDLE, CloseHandle>>;
using UniqueLocalMemory = UniqueHandleOf<NullHandleTraits<HLOCAL, LocalFree>>;
using UniqueMemoryDC = UniqueHandleOf<NullHandleTraits<HDC, DeleteDC>>;
using UniqueGdiObject = UniqueHandleOf<NullHandleTraits<HGDIOBJ, DeleteObject>>;
using UniqueBstr = UniqueHandleOf<NullHandleTraits<BSTR, SysFreeString>>;
using UniqueSafeArray = UniqueHandleOf<NullHandleTraits<SAFEARRAY*, SafeArrayDestroy>>;

// A VARIANT that is cleared on every way out.
struct UniqueVariant {
  VARIANT value;
  UniqueVariant() { VariantInit(&value); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { VariantClear(&value); }
};

// A device context from GetDC, given back with ReleaseDC to the same window.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a device context and selects the previous one back on leaving.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
