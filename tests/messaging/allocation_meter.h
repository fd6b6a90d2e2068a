#ifndef TESTS_MESSAGING_ALLOCATION_METER_H_
#define TESTS_MESSAGING_ALLOCATION_METER_H_

#include <cstddef>

namespace flutter::testing {

// Counts the bytes requested from the global operator new while it exists. The test program
// that uses it links allocation_meter.cpp, which replaces operator new for the whole program.
class AllocationMeter {
 public:
  AllocationMeter();
  size_t AllocatedBytes() const;

 private:
  size_t start_;
};

}  // namespace flutter::testing

#endif  // TESTS_MESSAGING_ALLOCATION_METER_H_
