#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace keelo::fuzz {
namespace {

struct CorpusInput {
  std::vector<uint8_t> bytes;
  // Written by hand (a seed, or a finding pinned under a name), rather than kept by libFuzzer
  // under the hash of its bytes.
  bool named = false;
};

bool IsHashName(const std::string& name) {
  return name.size() == 40 && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Every input kept in a fuzz target's corpus (the seeds, each pinned finding and what the long
// runs merged in) replays here, so that both builds run them and the Windows build sees them
// under Wine.
std::vector<CorpusInput> Corpus(const std::string& target) {
  std::vector<CorpusInput> inputs;
  const std::filesystem::path folder = std::filesystem::path(KEELO_FUZZ_CORPUS_DIR) / target;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream file(entry.path(), std::ios::binary);
    CorpusInput input;
    input.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    input.named = !IsHashName(entry.path().filename().string());
    inputs.push_back(std::move(input));
  }
  return inputs;
}

void Replay(const std::string& target, void (*run)(const uint8_t*, size_t)) {
  const auto inputs = Corpus(target);
  ASSERT_FALSE(inputs.empty()) << "no corpus for " << target;
  ::testing::internal::CaptureStderr();
  for (const CorpusInput& input : inputs) {
    run(input.bytes.data(), input.bytes.size());
    // Every prefix of the named ones too: truncated messages are the commonest fault on a
    // channel. libFuzzer has already cut and changed the inputs it kept in every way.
    if (!input.named) continue;
    for (size_t length = 0; length < input.bytes.size(); ++length) run(input.bytes.data(), length);
  }
  ::testing::internal::GetCapturedStderr();
}

TEST(FuzzCorpusReplay, ReadTaggedValue) { Replay("read_tagged_value", FuzzReadTaggedValue); }
TEST(FuzzCorpusReplay, DecodeCall) { Replay("decode_call", FuzzDecodeCall); }
TEST(FuzzCorpusReplay, DecodeReply) { Replay("decode_reply", FuzzDecodeReply); }
TEST(FuzzCorpusReplay, MethodChannel) { Replay("method_channel", FuzzMethodChannel); }

}  // namespace
}  // namespace keelo::fuzz
