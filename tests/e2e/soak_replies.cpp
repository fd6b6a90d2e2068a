#include "tests/e2e/soak_replies.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>

#include "devkit/driver/protocol/method_envelopes.h"

namespace keelo::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// IHDR's width and height, big-endian, follow the signature and the chunk's length and type.
constexpr size_t kPngWidthOffset = 16;
constexpr size_t kPngHeightOffset = 20;

std::string Hex(const SoakBytes& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < 24; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof(pair), "%02X ", bytes[i]);
    text += pair;
  }
  if (bytes.size() > 24) text += "...";
  return "[" + text + "] (" + std::to_string(bytes.size()) + " bytes)";
}

const EncodableValue* Field(const EncodableMap& map, const char* key) {
  const auto found = map.find(EncodableValue(key));
  return found == map.end() ? nullptr : &found->second;
}

bool HasStrings(const EncodableMap& map, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    const EncodableValue* value = Field(map, key);
    if (value == nullptr || !value->Holds<std::string>()) return false;
  }
  return true;
}

uint32_t PngNumber(const std::vector<uint8_t>& png, size_t offset) {
  return (uint32_t{png[offset]} << 24) | (uint32_t{png[offset + 1]} << 16) |
         (uint32_t{png[offset + 2]} << 8) | uint32_t{png[offset + 3]};
}

bool IsPngOfSize(const EncodableValue& value, int size) {
  const auto* png = value.GetIf<std::vector<uint8_t>>();
  if (png == nullptr || png->size() <= kPngHeightOffset + 4) return false;
  if (!std::equal(std::begin(kPngSignature), std::end(kPngSignature), png->begin())) return false;
  const auto edge = static_cast<uint32_t>(size);
  return PngNumber(*png, kPngWidthOffset) == edge && PngNumber(*png, kPngHeightOffset) == edge;
}

std::string AppListMismatch(const EncodableValue& value) {
  const auto* list = value.GetIf<EncodableList>();
  if (list == nullptr) return "not a list";
  for (const EncodableValue& entry : *list) {
    const auto* record = entry.GetIf<EncodableMap>();
    if (record == nullptr || record->size() != 4 ||
        !HasStrings(*record, {"exe", "name", "path", "icon"})) {
      return "an entry is not a record of exe, name, path and icon";
    }
  }
  return "";
}

std::string IconsMismatch(const ExpectedReply& expected, const EncodableValue& value) {
  const auto* images = value.GetIf<EncodableMap>();
  if (images == nullptr) return "not a map";
  if (images->size() != expected.icon_keys.size()) {
    return std::to_string(images->size()) + " pictures where " +
           std::to_string(expected.icon_keys.size()) + " were due";
  }
  for (const EncodableValue& key : expected.icon_keys) {
    const auto found = images->find(key);
    if (found == images->end()) return "a picture is missing";
    if (!IsPngOfSize(found->second, expected.icon_size)) {
      return "not a PNG of " + std::to_string(expected.icon_size) + " pixels";
    }
  }
  return "";
}

std::string ForegroundMismatch(const EncodableValue& value) {
  if (value.IsNull()) return "";
  const auto* identity = value.GetIf<EncodableMap>();
  if (identity == nullptr || identity->size() != 5 ||
      !HasStrings(*identity, {"exe", "original", "path"})) {
    return "neither null nor a window's identity";
  }
  const EncodableValue* pid = Field(*identity, "pid");
  const EncodableValue* hwnd = Field(*identity, "hwnd");
  if (pid == nullptr || !pid->Holds<int64_t>() || hwnd == nullptr || !hwnd->Holds<int64_t>()) {
    return "pid or hwnd missing from the identity";
  }
  return "";
}

std::string IdleMismatch(const EncodableValue& value) {
  if (const auto* seconds = value.GetIf<int64_t>()) return *seconds >= 0 ? "" : "negative";
  if (const auto* seconds = value.GetIf<int32_t>()) return *seconds >= 0 ? "" : "negative";
  return "not an integer";
}

std::string ProxyMismatch(const ExpectedReply& expected, const EncodableValue& value) {
  const auto* proxy = value.GetIf<EncodableMap>();
  if (proxy == nullptr || proxy->size() != 4 || !HasStrings(*proxy, {"server", "bypass", "pac"})) {
    return "not the four proxy fields";
  }
  const EncodableValue* flags = Field(*proxy, "flags");
  if (flags == nullptr || !flags->Holds<int64_t>()) return "flags missing";
  if (flags->Get<int64_t>() != expected.proxy_flags) {
    return "flags " + std::to_string(flags->Get<int64_t>()) + " where " +
           std::to_string(expected.proxy_flags) + " was set";
  }
  const std::string& server = Field(*proxy, "server")->Get<std::string>();
  if (server != expected.proxy_server) {
    return "server \"" + server + "\" where \"" + expected.proxy_server + "\" was set";
  }
  return "";
}

}  // namespace

std::string ReplyMismatch(const ExpectedReply& expected, const SoakBytes& reply) {
  using Shape = ExpectedReply::Shape;
  if (expected.shape == Shape::kExact) {
    if (reply == expected.bytes) return "";
    return "got " + Hex(reply) + ", expected " + Hex(expected.bytes);
  }
  const devkit::MethodReply decoded = devkit::DecodeMethodReply(reply);
  if (decoded.kind != devkit::MethodReply::Kind::kSuccess) {
    return "no success envelope: " + Hex(reply);
  }
  std::string mismatch;
  switch (expected.shape) {
    case Shape::kAppList:
      mismatch = AppListMismatch(decoded.value);
      break;
    case Shape::kIcons:
      mismatch = IconsMismatch(expected, decoded.value);
      break;
    case Shape::kForeground:
      mismatch = ForegroundMismatch(decoded.value);
      break;
    case Shape::kIdleSeconds:
      mismatch = IdleMismatch(decoded.value);
      break;
    case Shape::kProxy:
      mismatch = ProxyMismatch(expected, decoded.value);
      break;
    case Shape::kExact:
      break;
  }
  return mismatch.empty() ? "" : mismatch + ": " + Hex(reply);
}

}  // namespace keelo::testing
