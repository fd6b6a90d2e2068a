#include "devkit/apps/bench/reply_checks.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "devkit/driver/protocol/method_envelopes.h"
#include "messaging/encodable_value.h"

namespace devkit {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The header chunk comes first: its length (13), its type, then width and height.
constexpr uint8_t kPngHeaderChunk[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
constexpr size_t kPngWidthOffset = sizeof(kPngSignature) + sizeof(kPngHeaderChunk);

uint32_t BigEndianAt(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) << 24 |
         static_cast<uint32_t>(bytes[offset + 1]) << 16 |
         static_cast<uint32_t>(bytes[offset + 2]) << 8 | bytes[offset + 3];
}

bool IsSquarePng(const std::vector<uint8_t>& bytes, int size) {
  if (bytes.size() < kPngWidthOffset + 8) return false;
  if (!std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin()) ||
      !std::equal(std::begin(kPngHeaderChunk), std::end(kPngHeaderChunk),
                  bytes.begin() + sizeof(kPngSignature))) {
    return false;
  }
  const auto edge = static_cast<uint32_t>(size);
  return BigEndianAt(bytes, kPngWidthOffset) == edge &&
         BigEndianAt(bytes, kPngWidthOffset + 4) == edge;
}

// The record's "exe", when it is a map of exactly the four string entries; null otherwise.
const std::string* RecordExecutable(const flutter::EncodableValue& record) {
  const auto* entries = record.GetIf<flutter::EncodableMap>();
  if (entries == nullptr || entries->size() != 4) return nullptr;
  for (const char* key : {"exe", "name", "path", "icon"}) {
    const auto entry = entries->find(flutter::EncodableValue(key));
    if (entry == entries->end() || !entry->second.Holds<std::string>()) return nullptr;
  }
  return &entries->at(flutter::EncodableValue("exe")).Get<std::string>();
}

}  // namespace

bool IsIdleSecondsReply(const Bytes& reply) {
  const MethodReply decoded = DecodeMethodReply(reply);
  if (decoded.kind != MethodReply::Kind::kSuccess) return false;
  if (const int32_t* seconds = decoded.value.GetIf<int32_t>()) return *seconds >= 0;
  if (const int64_t* seconds = decoded.value.GetIf<int64_t>()) return *seconds >= 0;
  return false;
}

bool IsCatalogueReply(const Bytes& reply, const std::vector<std::string>& executables) {
  const MethodReply decoded = DecodeMethodReply(reply);
  const auto* records = decoded.value.GetIf<flutter::EncodableList>();
  if (decoded.kind != MethodReply::Kind::kSuccess || records == nullptr) return false;
  std::set<std::string> listed;
  for (const flutter::EncodableValue& record : *records) {
    const std::string* executable = RecordExecutable(record);
    if (executable == nullptr) return false;
    listed.insert(*executable);
  }
  return std::all_of(executables.begin(), executables.end(),
                     [&](const std::string& executable) { return listed.contains(executable); });
}

bool IsIconsReply(const Bytes& reply, size_t count, int size) {
  const MethodReply decoded = DecodeMethodReply(reply);
  const auto* icons = decoded.value.GetIf<flutter::EncodableMap>();
  if (decoded.kind != MethodReply::Kind::kSuccess || icons == nullptr || icons->size() != count) {
    return false;
  }
  for (size_t key = 0; key < count; ++key) {
    const auto icon = icons->find(flutter::EncodableValue(static_cast<int32_t>(key)));
    if (icon == icons->end()) return false;
    const auto* png = icon->second.GetIf<std::vector<uint8_t>>();
    if (png == nullptr || !IsSquarePng(*png, size)) return false;
  }
  return true;
}

}  // namespace devkit
