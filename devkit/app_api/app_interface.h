#ifndef DEVKIT_APP_API_APP_INTERFACE_H_
#define DEVKIT_APP_API_APP_INTERFACE_H_

// What the development kit's stand-in engine offers a UI application, and what it asks of one.
// A UI application is a library (data\app.so) that exports KeeloAppStart and KeeloAppStop with
// C linkage. The engine loads it when the view controller is created and stops and unloads it
// when the view controller is destroyed. Plain C, so that any toolchain can build an application.

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "devkit/app_api/draw_item.h"

#if defined(__cplusplus)
extern "C" {
#endif

#define KEELO_APP_INTERFACE_VERSION 1
#define KEELO_APP_START_SYMBOL "KeeloAppStart"
#define KEELO_APP_STOP_SYMBOL "KeeloAppStop"

// The host's response to a message sent with send_with_reply. |size| 0 is the empty reply: the
// host has no handler on the channel, or did not implement the method.
typedef void (*KeeloReplyFunction)(const uint8_t* data, size_t size, void* user_data);

// A message of the host on a channel. |reply_id| is 0 when the host wants no reply; otherwise
// the application answers once through respond(), from any thread, now or later.
typedef void (*KeeloMessageHandler)(const uint8_t* data, size_t size, uint64_t reply_id,
                                    void* user_data);

// Takes a frame's items, back to front; |items| is valid during the call only.
typedef void (*KeeloDrawFunction)(void* frame, const KeeloDrawItem* items, size_t count);
// Describes the whole of a frame for a view of |width| x |height| logical pixels by calling
// |draw| with |frame|, as often as it likes. On the UI thread, for every frame.
typedef void (*KeeloPaintFunction)(float width, float height, KeeloDrawFunction draw, void* frame,
                                   void* user_data);

typedef struct {
  size_t struct_size;
  uint64_t frames_produced;
  uint64_t font_reloads;
  // False once the engine is shutting down; sends are refused then.
  bool engine_running;
} KeeloEngineState;

// The engine as the application sees it. Every function takes |context| first and may be called
// from any thread until KeeloAppStop returns. Handlers and reply functions run on the host's UI
// thread, from its message loop, and never once KeeloAppStop has been called.
typedef struct {
  size_t struct_size;
  uint32_t version;
  void* context;

  // Both return false when the engine refuses the message (it is shutting down).
  bool (*send)(void* context, const char* channel, const uint8_t* data, size_t size);
  bool (*send_with_reply)(void* context, const char* channel, const uint8_t* data, size_t size,
                          KeeloReplyFunction reply, void* user_data);

  // Null |handler| removes the channel's handler. Messages on a channel without a handler that
  // want a reply get the empty reply.
  void (*set_handler)(void* context, const char* channel, KeeloMessageHandler handler,
                      void* user_data);
  // False when |reply_id| is not awaiting a reply (unknown, or already answered).
  bool (*respond)(void* context, uint64_t reply_id, const uint8_t* data, size_t size);

  // The view's child window. The engine paints it: the application's text under the engine's
  // own line, or what the application's painter describes.
  HWND (*view_window)(void* context);
  // UTF-8; shown under the engine's own line from the next frame on, which this requests. It is
  // also the view window's text, for a test to read, whether or not a painter draws the view.
  void (*set_status_text)(void* context, const char* text);

  bool (*get_state)(void* context, KeeloEngineState* state);
  // Names of the plug-ins that took their registrar, one per line, NUL-terminated when
  // |capacity| allows. Returns the length of the whole text without the NUL.
  size_t (*registered_plugins)(void* context, char* buffer, size_t capacity);

  // From the next frame on, |paint| describes every frame in place of the text; null returns the
  // view to the text. Requests a frame.
  void (*set_painter)(void* context, KeeloPaintFunction paint, void* user_data);
} KeeloPeerInterface;

typedef struct {
  size_t struct_size;
  // UTF-8; empty for the default entrypoint.
  const char* entrypoint;
  int argument_count;
  // UTF-8, as the host passed them.
  const char* const* arguments;
  // The resolved assets folder.
  const wchar_t* assets_path;
} KeeloAppStartInfo;

// Returns the application's instance, or null when it cannot start. |info| and |peer| are valid
// for the call only; the functions and the context inside |peer| stay valid until KeeloAppStop.
typedef void* (*KeeloAppStartFunction)(const KeeloAppStartInfo* info,
                                       const KeeloPeerInterface* peer);
// Stops the instance; when it returns, the application no longer calls the engine and no thread
// of its own runs.
typedef void (*KeeloAppStopFunction)(void* app);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // DEVKIT_APP_API_APP_INTERFACE_H_
