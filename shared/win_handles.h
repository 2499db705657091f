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

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};
// Kernel handles whose "none" is INVALID_HANDLE_VALUE (CreateFileW).
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};
// Kernel handles whose "none" is null (threads, events, processes).
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
};
// Memory that Windows hands over to be given back with LocalFree (security descriptors, SIDs).
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};
struct MemoryDCTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { DeleteDC(h); }
};
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
};

// COM task memory that WMI and Automation hand over: names as BSTRs (the length prefix travels
// with them), byte arrays as SAFEARRAYs.
struct BstrTraits {
  using Handle = BSTR;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { SysFreeString(h); }
};
struct SafeArrayTraits {
  using Handle = SAFEARRAY*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { SafeArrayDestroy(h); }
};

using UniqueRegKey = UniqueHandleOf<RegKeyTraits>;
using UniqueServiceHandle = UniqueHandleOf<ServiceHandleTraits>;
using UniqueFile = UniqueHandleOf<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandleOf<KernelHandleTraits>;
using UniqueLocalMemory = UniqueHandleOf<LocalMemoryTraits>;
using UniqueMemoryDC = UniqueHandleOf<MemoryDCTraits>;
using UniqueGdiObject = UniqueHandleOf<GdiObjectTraits>;
using UniqueBstr = UniqueHandleOf<BstrTraits>;
using UniqueSafeArray = UniqueHandleOf<SafeArrayTraits>;

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
