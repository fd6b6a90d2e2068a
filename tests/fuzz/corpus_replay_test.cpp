#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace keelo::fuzz {
namespace {

// Every input kept in a fuzz target's corpus (the seeds and each pinned regression) replays
// here, so that both builds run them and the Windows build sees them under Wine.
std::vector<std::vector<uint8_t>> Corpus(const std::string& target) {
  std::vector<std::vector<uint8_t>> inputs;
  const std::filesystem::path folder = std::filesystem::path(KEELO_FUZZ_CORPUS_DIR) / target;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream file(entry.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return inputs;
}

void Replay(const std::string& target, void (*run)(const uint8_t*, size_t)) {
  const auto inputs = Corpus(target);
  ASSERT_FALSE(inputs.empty()) << "no corpus for " << target;
  ::testing::internal::CaptureStderr();
  for (const auto& input : inputs) {
    run(input.data(), input.size());
    // Every prefix too: truncated messages are the commonest fault on a channel.
    for (size_t length = 0; length < input.size(); ++length) run(input.data(), length);
  }
  ::testing::internal::GetCapturedStderr();
}

TEST(FuzzCorpusReplay, ReadTaggedValue) { Replay("read_tagged_value", FuzzReadTaggedValue); }
TEST(FuzzCorpusReplay, DecodeCall) { Replay("decode_call", FuzzDecodeCall); }
TEST(FuzzCorpusReplay, DecodeReply) { Replay("decode_reply", FuzzDecodeReply); }
TEST(FuzzCorpusReplay, MethodChannel) { Replay("method_channel", FuzzMethodChannel); }

}  // namespace
}  // namespace keelo::fuzz
