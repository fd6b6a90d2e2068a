#include "messaging/encodable_value.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace flutter {
namespace {

// Every comparison is three-way: negative, zero or positive. Asking "a < b" and then "b < a" of
// each element instead would compare equal nested elements twice at every level, and a few
// hundred bytes of maps used as keys in maps would take longer than any user waits.
int CompareValues(const EncodableValue& a, const EncodableValue& b);

template <typename T>
int CompareScalars(const T& a, const T& b) {
  // A NaN is neither less nor greater than anything.
  if (a < b) return -1;
  if (b < a) return 1;
  return 0;
}

// The first differing pair decides; a proper prefix is less.
template <typename Sequence, typename CompareElements>
int CompareSequences(const Sequence& a, const Sequence& b, CompareElements compare) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end() && right != b.end(); ++left, ++right) {
    if (const int order = compare(*left, *right); order != 0) return order;
  }
  return CompareScalars(a.size(), b.size());
}

int CompareEntries(const EncodableMap::value_type& a, const EncodableMap::value_type& b) {
  if (const int order = CompareValues(a.first, b.first); order != 0) return order;
  return CompareValues(a.second, b.second);
}

template <typename T>
int CompareContents(const T& a, const T& b) {
  if constexpr (std::is_same_v<T, std::monostate>) {
    return 0;
  } else if constexpr (std::is_same_v<T, std::string>) {
    // As unsigned bytes, so that the order does not depend on the signedness of char.
    const size_t common = std::min(a.size(), b.size());
    const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    return order != 0 ? order : CompareScalars(a.size(), b.size());
  } else if constexpr (std::is_same_v<T, EncodableMap>) {
    return CompareSequences(a, b, CompareEntries);
  } else if constexpr (std::is_same_v<T, EncodableList>) {
    return CompareSequences(a, b, CompareValues);
  } else if constexpr (std::is_same_v<T, CustomEncodableValue>) {
    const std::less<const CustomEncodableValue*> less;
    return less(&a, &b) ? -1 : (less(&b, &a) ? 1 : 0);
  } else if constexpr (std::is_arithmetic_v<T>) {
    return CompareScalars(a, b);
  } else {
    // Byte and typed lists. Spelled out rather than left to the container's three-way
    // comparison, which would treat an unordered pair of doubles as deciding.
    return CompareSequences(a, b, CompareScalars<typename T::value_type>);
  }
}

int CompareValues(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return CompareScalars(a.index(), b.index());
  return std::visit(
      [&b](const auto& contents) {
        using T = std::decay_t<decltype(contents)>;
        return CompareContents(contents, *std::get_if<T>(&b.variant()));
      },
      a.variant());
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

bool operator<(const EncodableValue& a, const EncodableValue& b) { return CompareValues(a, b) < 0; }

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
