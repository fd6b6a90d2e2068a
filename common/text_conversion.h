#ifndef COMMON_TEXT_CONVERSION_H_
#define COMMON_TEXT_CONVERSION_H_

#include <string>
#include <string_view>

// Text crosses the channels as UTF-8 and the system's interfaces as UTF-16.

// UTF-16 to UTF-8 for everything handed to the UI application. Strict: text that is not valid
// UTF-16 (an unpaired surrogate) gives an empty string rather than a silently altered one.
// At most the first 32767 units are converted, and the text ends at its first NUL; null gives
// an empty string.
std::string WideToUtf8(const wchar_t* text);
std::string WideToUtf8(const std::wstring& text);

// Channel text (UTF-8) for the system (UTF-16). Lenient: malformed UTF-8 becomes U+FFFD, and
// zero bytes are kept. Empty input, or a conversion the system refuses, gives an empty string.
std::wstring Utf8ToWide(std::string_view utf8);

#endif  // COMMON_TEXT_CONVERSION_H_
