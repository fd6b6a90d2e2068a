#ifndef TESTS_RUNNER_FAKE_ENGINE_H_
#define TESTS_RUNNER_FAKE_ENGINE_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine_api/flutter_windows.h"

namespace keelo::testing {

// What the host asked of the engine library, and how the stand-in below answers. The
// stand-in plays the engine in-process: its engines carry a development-kit messenger, its
// views are real child windows, and frames happen when a test calls DeliverFrame.
struct FakeEngineLibrary {
  // The properties of the last FlutterDesktopEngineCreate, copied during the call.
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  bool entrypoint_was_null = false;
  std::string entrypoint;
  int argc = -1;
  bool argv_was_null = false;
  std::vector<std::string> argv;
  std::array<int32_t, 4> options = {};
  uint8_t byte_option = 0;

  // Answers.
  bool fail_engine_create = false;
  bool fail_view_controller = false;
  UINT dpi = 96;
  // A message that HandleTopLevelWindowProc consumes, with its result.
  std::optional<UINT> consumed_message;
  LRESULT consumed_result = 0;
  // A message on which HandleTopLevelWindowProc destroys the window, once, as a handler the
  // host calls while it starts might.
  std::optional<UINT> destroy_window_on;

  // Counts and records.
  int engines_created = 0;
  int engines_destroyed = 0;
  int controllers_created = 0;
  int controllers_destroyed = 0;
  // Whether a desktop bridge still listened on its channels when the controller went.
  bool bridge_alive_at_controller_destroy = false;
  int redraws = 0;
  int font_reloads = 0;
  // Messages offered to HandleTopLevelWindowProc, in order.
  std::vector<UINT> top_level_messages;
  // How many messages had been offered when the fonts were last reloaded.
  size_t offered_before_font_reload = 0;
  std::vector<std::string> registrar_names;
  FlutterDesktopPluginRegistrarRef registered_with_url_launcher = nullptr;
  int url_launcher_registrations = 0;
  // Null-handle calls the library would crash on.
  int null_handle_calls = 0;
  HWND last_view = nullptr;
  // The development kit's messenger of the last engine made; it goes with the engine unless a
  // test holds a reference.
  FlutterDesktopMessengerRef last_messenger = nullptr;

  FlutterDesktopOnNextFrameCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;
};

// Cleared by each test's fixture.
FakeEngineLibrary& fake_engine();
void ResetFakeEngine();

// The engine's next frame: runs the pending next-frame callback once.
void DeliverFrame();

// Whether a desktop bridge listens on the channels of the live engine: the handlers it sets
// when made and takes back when destroyed. False when no engine is live.
bool BridgeListening();

}  // namespace keelo::testing

#endif  // TESTS_RUNNER_FAKE_ENGINE_H_
