#ifndef ENGINE_API_FLUTTER_MESSENGER_H_
#define ENGINE_API_FLUTTER_MESSENGER_H_

// The engine library's channel-messaging functions. Kept apart from the rest of the engine's
// interface because they need no Windows header: the messaging layer and its tests build on any
// platform against them.

#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
// The engine library's own name for the structure, reserved as it is.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
typedef struct _FlutterPlatformMessageResponseHandle FlutterDesktopMessageResponseHandle;

// One message arriving on a channel. The host reads only the message bytes, their length and
// the response handle.
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);

typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size);

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data);

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length);

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data);

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);

// Returns a token; when it is not null the engine's lock is held until it is unlocked.
FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

#if defined(__cplusplus)
}  // extern "C"
#endif

#if defined(__cplusplus)
// The record's layout is shared with the engine library, which is built separately.
static_assert(offsetof(FlutterDesktopMessage, message) == 16);
static_assert(offsetof(FlutterDesktopMessage, message_size) == 24);
static_assert(offsetof(FlutterDesktopMessage, response_handle) == 32);
#endif

#endif  // ENGINE_API_FLUTTER_MESSENGER_H_
