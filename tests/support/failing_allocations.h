#pragma once
// Allocation failures on request, for host tests and fuzz targets of code that must survive
// running out of memory. A program that links zq_failing_allocations has every unaligned
// operator new and delete replaced (the aligned forms stay with the runtime, so every pair
// matches); while armed, allocation number `failAt` of this thread, counting from 0, throws
// std::bad_alloc (or returns null from the nothrow forms).

#include <cstddef>
#include <cstdint>

// Counts this thread's allocations from 0 and fails number `failAt` (SIZE_MAX: none).
void ArmAllocationFailure(size_t failAt = SIZE_MAX);
// Stops counting; returns how many allocations were made while armed.
size_t DisarmAllocationFailure();
