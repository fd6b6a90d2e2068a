#ifndef RUNNER_STRING_CONVERSION_H_
#define RUNNER_STRING_CONVERSION_H_

#include <string>

// UTF-16 to UTF-8 for everything handed to the UI application. Strict: text that is not valid
// UTF-16 (an unpaired surrogate) gives an empty string rather than a silently altered one.
// At most the first 32767 units are converted, and the text ends at its first NUL; null gives
// an empty string.
std::string WideToUtf8(const wchar_t* text);
std::string WideToUtf8(const std::wstring& text);

#endif  // RUNNER_STRING_CONVERSION_H_
