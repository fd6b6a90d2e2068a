#ifndef MESSAGING_ENCODABLE_VALUE_H_
#define MESSAGING_ENCODABLE_VALUE_H_

#include <any>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// An object of any copyable type carried inside a value. The standard encoding has no tag for
// it, so it never comes out of decoding; it exists for codecs that extend the encoding.
class CustomEncodableValue {
 public:
  template <typename T>
  requires(!std::is_same_v<std::decay_t<T>, CustomEncodableValue>) explicit CustomEncodableValue(
      T value)
      : value_(std::move(value)) {}

  const std::any& value() const { return value_; }
  std::any& value() { return value_; }

 private:
  std::any value_;
};

// The alternatives in their fixed index order: the key ordering compares indices first and the
// encoding is keyed by them. The float list is deliberately last, after the custom value.
using EncodableVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList,
                 EncodableMap, CustomEncodableValue, std::vector<float>>;

// The value of every message on the channels. Copies are deep; a moved-from value stays valid.
// The variant is held rather than inherited from, so that the standard library's comparison
// operators for variants never compete with this type's own ordering.
class EncodableValue {
 public:
  EncodableValue() = default;

  // Implicit on purpose, so that maps and lists of values are written as literals; the
  // constraint keeps copies and moves of a value with its own constructors.
  template <typename T>
  requires(!std::is_same_v<std::remove_cvref_t<T>, EncodableValue> &&
           std::is_constructible_v<EncodableVariant, T&&>)
      // NOLINTNEXTLINE(google-explicit-constructor,bugprone-forwarding-reference-overload)
      EncodableValue(T&& value)
      : value_(std::forward<T>(value)) {}

  // Text always makes a string value, never a bool through the pointer conversion.
  // NOLINTNEXTLINE(google-explicit-constructor): implicit for the same literals.
  EncodableValue(const char* text) : value_(std::string(text)) {}

  // The alternative's position in the fixed order above.
  size_t index() const { return value_.index(); }
  bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }

  template <typename T>
  bool Holds() const {
    return std::holds_alternative<T>(value_);
  }

  // Only after Holds<T>() is true.
  template <typename T>
  const T& Get() const {
    return *std::get_if<T>(&value_);
  }
  template <typename T>
  T& Get() {
    return *std::get_if<T>(&value_);
  }

  // Null when the value holds another alternative.
  template <typename T>
  const T* GetIf() const {
    return std::get_if<T>(&value_);
  }
  template <typename T>
  T* GetIf() {
    return std::get_if<T>(&value_);
  }

  const EncodableVariant& variant() const { return value_; }

 private:
  EncodableVariant value_;
};

// Strict weak ordering of values (the map key order): alternative index first, then contents.
bool operator<(const EncodableValue& a, const EncodableValue& b);

// Exact equality: same alternative and equal contents; a custom value is equal only to itself.
bool operator==(const EncodableValue& a, const EncodableValue& b);
inline bool operator!=(const EncodableValue& a, const EncodableValue& b) { return !(a == b); }

}  // namespace flutter

#endif  // MESSAGING_ENCODABLE_VALUE_H_
