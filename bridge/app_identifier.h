#ifndef BRIDGE_APP_IDENTIFIER_H_
#define BRIDGE_APP_IDENTIFIER_H_

// The reverse-domain identifier that prefixes the names of both desktop channels. The UI
// application names its channels with the same string, so the two must change together.
inline constexpr char kAppIdentifier[] = "com.vantrel.keelo";

#endif  // BRIDGE_APP_IDENTIFIER_H_
