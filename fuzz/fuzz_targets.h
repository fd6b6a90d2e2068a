#ifndef FUZZ_FUZZ_TARGETS_H_
#define FUZZ_FUZZ_TARGETS_H_

#include <cstddef>
#include <cstdint>

namespace keelo::fuzz {

// Each takes arbitrary bytes as a message from the other side. A broken expectation aborts, so
// that both the fuzzer and the corpus replay test see it.
void FuzzReadTaggedValue(const uint8_t* data, size_t size);
void FuzzDecodeCall(const uint8_t* data, size_t size);
void FuzzDecodeReply(const uint8_t* data, size_t size);
void FuzzMethodChannel(const uint8_t* data, size_t size);

}  // namespace keelo::fuzz

#endif  // FUZZ_FUZZ_TARGETS_H_
