// The program's allocation functions, replaced so that a test can make
// them fail and so that fresh memory is never zero by chance. Kept in a file of their own, where no
// caller's allocation is in sight of the compiler.
#include "tests/c_interface/failing_allocation.h"

#include <cstdlib>
#include <cstring>
#include <new>

long allocations_left_before_failure = -1;

void* operator new(std::size_t size) {
  if (allocations_left_before_failure == 0) {
    throw std::bad_alloc();
  }
  if (allocations_left_before_failure > 0) {
    --allocations_left_before_failure;
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    // Scribbled, so that a read of memory nobody wrote shows.
    std::memset(memory, 0xA5, size);
    return memory;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return operator new(size, std::nothrow);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
