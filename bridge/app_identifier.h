#ifndef BRIDGE_APP_IDENTIFIER_H_
#define BRIDGE_APP_IDENTIFIER_H_

#include <string_view>

// The reverse-domain identifier that prefixes the names of both desktop channels. The UI
// application names its channels with the same string, so the two must change together.
inline constexpr char kAppIdentifier[] = "com.vantrel.keelo";

// The channel of the desktop's facilities, and the one of what the UI asks of the window itself.
inline constexpr char kDesktopChannel[] = "com.vantrel.keelo/desktop";
inline constexpr char kUiChannel[] = "com.vantrel.keelo/desktop_ui";

static_assert(std::string_view(kDesktopChannel)
                      .substr(0, std::string_view(kAppIdentifier).size()) == kAppIdentifier,
              "the channels are named by the application identifier");
static_assert(std::string_view(kUiChannel).substr(0, std::string_view(kAppIdentifier).size()) ==
                  kAppIdentifier,
              "the channels are named by the application identifier");

#endif  // BRIDGE_APP_IDENTIFIER_H_
