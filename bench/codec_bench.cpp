#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter {
namespace {

// The identity record sent with every foreground change.
EncodableValue ForegroundIdentity() {
  EncodableMap map;
  map["exe"] = "chrome.exe";
  map["original"] = "chrome.exe";
  map["path"] = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
  map["pid"] = int32_t{11452};
  map["hwnd"] = int64_t{0x00000000000A0B2C};
  return EncodableValue(std::move(map));
}

// A "listApps" reply of a well-stocked machine.
EncodableValue Catalogue() {
  EncodableList list;
  for (int i = 0; i < 300; ++i) {
    const std::string stem = "application" + std::to_string(i);
    EncodableMap entry;
    entry["exe"] = stem + ".exe";
    entry["name"] = "Application Number " + std::to_string(i);
    entry["path"] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\" + stem + ".lnk";
    entry["icon"] = "C:\\Program Files\\Vendor " + std::to_string(i) + "\\" + stem + ".exe";
    list.push_back(EncodableValue(std::move(entry)));
  }
  return EncodableValue(std::move(list));
}

// A "getIcons" reply: 40 PNG images of 8 KiB.
EncodableValue IconImages() {
  EncodableMap map;
  for (int i = 0; i < 40; ++i) {
    map["C:\\Apps\\app" + std::to_string(i) + ".exe"] =
        std::vector<uint8_t>(8192, static_cast<uint8_t>(i));
  }
  return EncodableValue(std::move(map));
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  bytes.reserve(bytes.size() + MaxEncodedSize(value));
  ByteBufferStreamWriter writer(&bytes);
  SharedSerializer().WriteValue(value, &writer);
  return bytes;
}

void BM_Encode(benchmark::State& state, EncodableValue (*make)()) {
  const EncodableValue value = make();
  size_t size = 0;
  // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the loop variable is the library's API
  for (auto _ : state) {
    std::vector<uint8_t> bytes = Encode(value);
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_Decode(benchmark::State& state, EncodableValue (*make)()) {
  const std::vector<uint8_t> bytes = Encode(make());
  // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the loop variable is the library's API
  for (auto _ : state) {
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EncodableValue value = SharedSerializer().ReadTaggedValue(&reader);
    benchmark::DoNotOptimize(&value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_EncodeDecode(benchmark::State& state, EncodableValue (*make)()) {
  const EncodableValue value = make();
  // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the loop variable is the library's API
  for (auto _ : state) {
    const std::vector<uint8_t> bytes = Encode(value);
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EncodableValue decoded = SharedSerializer().ReadTaggedValue(&reader);
    benchmark::DoNotOptimize(&decoded);
  }
}

// The floor for the icon images: copying their encoded bytes into a fresh buffer.
void BM_MemcpyFloor(benchmark::State& state) {
  const std::vector<uint8_t> source = Encode(IconImages());
  // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the loop variable is the library's API
  for (auto _ : state) {
    std::vector<uint8_t> copy(source.size());
    std::memcpy(copy.data(), source.data(), source.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

BENCHMARK_CAPTURE(BM_Encode, ForegroundIdentity, ForegroundIdentity);
BENCHMARK_CAPTURE(BM_Decode, ForegroundIdentity, ForegroundIdentity);
BENCHMARK_CAPTURE(BM_EncodeDecode, ForegroundIdentity, ForegroundIdentity);
BENCHMARK_CAPTURE(BM_Encode, Catalogue, Catalogue);
BENCHMARK_CAPTURE(BM_Decode, Catalogue, Catalogue);
BENCHMARK_CAPTURE(BM_Encode, IconImages, IconImages);
BENCHMARK_CAPTURE(BM_Decode, IconImages, IconImages);
BENCHMARK(BM_MemcpyFloor);

}  // namespace
}  // namespace flutter

BENCHMARK_MAIN();
