#include "tests/messaging/allocation_meter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> allocated_bytes{0};

}  // namespace

void* operator new(size_t size) {
  allocated_bytes.fetch_add(size, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace flutter::testing {

AllocationMeter::AllocationMeter() : start_(allocated_bytes.load(std::memory_order_relaxed)) {}

size_t AllocationMeter::AllocatedBytes() const {
  return allocated_bytes.load(std::memory_order_relaxed) - start_;
}

}  // namespace flutter::testing
