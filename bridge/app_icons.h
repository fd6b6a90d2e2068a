#ifndef BRIDGE_APP_ICONS_H_
#define BRIDGE_APP_ICONS_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"

// Pictures of applications for "getIcons": any file's icon as a square PNG image with an alpha
// channel, made anew for every request.

inline constexpr int kDefaultIconSize = 96;
// Edge lengths the imaging component is asked for. Anything larger would make it allocate
// gigabytes for one item, and a negative size would reach it as a huge unsigned one.
inline constexpr int kMinIconSize = 1;
inline constexpr int kMaxIconSize = 1024;

bool IsUsableIconSize(int size);

// The PNG of |path|'s icon, |size| pixels square: an executable's first icon, otherwise the icon
// the shell shows for the file. Empty when there is none, the encoding failed, or |size| is not
// usable. Needs COM on the calling thread.
std::vector<uint8_t> ExtractIconPng(const std::wstring& path, int size);

// The reply of "getIcons": for each entry of |items| whose value is a path string with a picture,
// its key (as sent) to the PNG bytes, in the map's order. Cut short once |stop| is set.
flutter::EncodableMap ExtractIconPngs(const flutter::EncodableMap& items, int size,
                                      const std::atomic<bool>& stop);

// |icon| resampled to |size| by |size| and encoded as a PNG file; empty on any failure. The icon
// stays the caller's.
std::vector<uint8_t> EncodeIconAsPng(HICON icon, int size);

#endif  // BRIDGE_APP_ICONS_H_
