#ifndef BRIDGE_METHOD_ARGUMENTS_H_
#define BRIDGE_METHOD_ARGUMENTS_H_

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/encodable_value.h"

// Reads the named arguments of one desktop call. A missing or mistyped argument never fails the
// call: it reads as absent, and the method goes on with its default.
class MethodArguments {
 public:
  // |arguments| is borrowed for the reader's lifetime. Anything but a map (none, null, a list, a
  // string ...) reads as an empty map, so every key is absent.
  explicit MethodArguments(const flutter::EncodableValue* arguments);

  // The arguments as the map they were; null when they were no map at all.
  const flutter::EncodableMap* map() const { return map_; }

  // The value under the string key |key|; a key of another kind never matches. Null if absent.
  const flutter::EncodableValue* Find(std::string_view key) const;

  // Only a bool counts: an int 1 is as absent as a missing key.
  std::optional<bool> GetBool(std::string_view key) const;

  // Window handles travel as int64; an int32 is sign-extended. Anything else is no window.
  HWND GetWindowHandle(std::string_view key) const;

  // A double, int32 or int64, as a double; anything else gives |default_value|.
  double GetNumber(std::string_view key, double default_value) const;

  // A string value converted to UTF-16, keeping at most the first |max_units| code units (which
  // may cut a surrogate pair). Absent unless the value is a string.
  std::optional<std::wstring> GetWideString(std::string_view key,
                                            size_t max_units = std::wstring::npos) const;

 private:
  const flutter::EncodableMap* map_;
};

#endif  // BRIDGE_METHOD_ARGUMENTS_H_
