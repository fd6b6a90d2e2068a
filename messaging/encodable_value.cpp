#include "messaging/encodable_value.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace flutter {
namespace {

// Strings compare as unsigned bytes so that the order does not depend on the signedness of char.
bool BytesLess(const std::string& a, const std::string& b) {
  const size_t common = std::min(a.size(), b.size());
  const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  return order < 0 || (order == 0 && a.size() < b.size());
}

bool EntryLess(const EncodableMap::value_type& a, const EncodableMap::value_type& b) {
  if (a.first < b.first) return true;
  if (b.first < a.first) return false;
  return a.second < b.second;
}

template <typename T>
bool ContentsLess(const T& a, const T& b) {
  if constexpr (std::is_same_v<T, std::monostate>) {
    return false;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return BytesLess(a, b);
  } else if constexpr (std::is_same_v<T, EncodableMap>) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), EntryLess);
  } else if constexpr (std::is_same_v<T, CustomEncodableValue>) {
    return std::less<const CustomEncodableValue*>()(&a, &b);
  } else if constexpr (std::is_arithmetic_v<T>) {
    // A NaN is neither less nor greater than anything.
    return a < b;
  } else {
    // Byte, typed and value lists: the first differing pair decides, a proper prefix is less.
    // Spelled out rather than left to the container's three-way comparison, which would treat
    // an unordered pair of doubles as deciding.
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
  }
}

template <typename T>
bool ContentsEqual(const T& a, const T& b) {
  if constexpr (std::is_same_v<T, std::monostate>) {
    return true;
  } else if constexpr (std::is_same_v<T, CustomEncodableValue>) {
    return &a == &b;
  } else {
    return a == b;
  }
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return a.index() < b.index();
  return std::visit(
      [&b](const auto& contents) {
        using T = std::decay_t<decltype(contents)>;
        return ContentsLess(contents, *std::get_if<T>(&b.variant()));
      },
      a.variant());
}

bool operator==(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& contents) {
        using T = std::decay_t<decltype(contents)>;
        return ContentsEqual(contents, *std::get_if<T>(&b.variant()));
      },
      a.variant());
}

}  // namespace flutter
