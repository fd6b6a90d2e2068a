#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  keelo::fuzz::FuzzDecodeCall(data, size);
  return 0;
}
