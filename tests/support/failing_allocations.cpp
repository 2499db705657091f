#include "tests/support/failing_allocations.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool armed = false;
thread_local size_t made = 0;
thread_local size_t failAt = SIZE_MAX;

void* Allocate(size_t size) {
  if (armed) {
    if (made == failAt) throw std::bad_alloc();
    ++made;
  }
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* AllocateOrNull(size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

void ArmAllocationFailure(size_t failNumber) {
  made = 0;
  failAt = failNumber;
  armed = true;
}

size_t DisarmAllocationFailure() {
  armed = false;
  failAt = SIZE_MAX;
  return made;
}

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
