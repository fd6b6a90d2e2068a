#ifndef BRIDGE_UTF8_TO_WIDE_H_
#define BRIDGE_UTF8_TO_WIDE_H_

#include <string>
#include <string_view>

// Converts channel text (UTF-8) for the system (UTF-16). Lenient: malformed UTF-8 becomes
// U+FFFD. Empty input, or a conversion the system refuses, gives an empty string.
std::wstring Utf8ToWide(std::string_view utf8);

#endif  // BRIDGE_UTF8_TO_WIDE_H_
