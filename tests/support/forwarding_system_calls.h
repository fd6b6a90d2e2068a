#ifndef TESTS_SUPPORT_FORWARDING_SYSTEM_CALLS_H_
#define TESTS_SUPPORT_FORWARDING_SYSTEM_CALLS_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/system_calls.h"

namespace keelo::testing {

// The system's operations for a bridge whose seams a test still changes after making it: each
// entry calls what |calls| holds at the time of the call, so a test sets |calls->launch_app| and
// the bridge, which was given copies of these entries when it was made, follows. |calls| is kept
// alive by the entries, which a job of the shell worker may hold past the test.
inline SystemCalls ForwardingTo(std::shared_ptr<SystemCalls> calls) {
  SystemCalls forwarding;
  forwarding.launch_app = [calls](const std::wstring& path) { return calls->launch_app(path); };
  forwarding.notify_icon = [calls](DWORD message, const NOTIFYICONDATAW& data) {
    return calls->notify_icon(message, data);
  };
  forwarding.is_packaged = [calls] { return calls->is_packaged(); };
  forwarding.allow_message_from_lower_integrity = [calls](HWND window, UINT message) {
    return calls->allow_message_from_lower_integrity(window, message);
  };
  forwarding.proxy.apply_options = [calls](INTERNET_PER_CONN_OPTION_LISTW& options) {
    return calls->proxy.apply_options(options);
  };
  forwarding.proxy.query_options = [calls](INTERNET_PER_CONN_OPTION_LISTW& options) {
    return calls->proxy.query_options(options);
  };
  forwarding.proxy.guard_snapshot = [calls](bool on_disk) { calls->proxy.guard_snapshot(on_disk); };
  forwarding.list_folder = [calls](const std::wstring& folder, std::vector<FolderEntry>& entries) {
    return calls->list_folder(folder, entries);
  };
  forwarding.read_cloaked = [calls](HWND window) { return calls->read_cloaked(window); };
  forwarding.list_monitors = [calls] { return calls->list_monitors(); };
  forwarding.virtual_desktops.locate = [calls](HWND window) {
    return calls->virtual_desktops.locate(window);
  };
  forwarding.virtual_desktops.move_to_current = [calls](HWND window) {
    return calls->virtual_desktops.move_to_current(window);
  };
  return forwarding;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_FORWARDING_SYSTEM_CALLS_H_
