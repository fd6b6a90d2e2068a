#ifndef TESTS_E2E_SOAK_MIX_H_
#define TESTS_E2E_SOAK_MIX_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/encodable_value.h"

namespace keelo::testing {

using SoakBytes = std::vector<uint8_t>;

// What the host must answer to one call of the mix, as the bridge defines it: the bridge never
// answers with an error envelope, so a wrong argument gets the method's default in a success
// envelope, and a name it does not know, or a message that is no method call, the empty reply.
struct ExpectedReply {
  enum class Shape {
    // |bytes| exactly: a bool or null success, or the empty not-implemented reply.
    kExact,
    // A success list of application records, four strings each.
    kAppList,
    // A success map with a PNG of |icon_size| pixels under each of |icon_keys| and nothing else.
    kIcons,
    // Null, or the five-field identity of the window in front.
    kForeground,
    // A non-negative integer.
    kIdleSeconds,
    // A map of the four proxy fields whose flags and server are |proxy_flags| and
    // |proxy_server|; WinINet under Wine keeps neither bypass nor autoconfig URL.
    kProxy,
  };

  Shape shape = Shape::kExact;
  SoakBytes bytes;
  std::vector<flutter::EncodableValue> icon_keys;
  int icon_size = 0;
  int64_t proxy_flags = 0;
  std::string proxy_server;
};

struct SoakCall {
  std::string channel;
  // The method, or what kind of message it is when it names none of the channel's.
  std::string kind;
  // The method and the variant of its arguments, for reports: "blockWindow host window".
  std::string label;
  SoakBytes message;
  ExpectedReply expected;
  // The host runs a move loop after answering, which the caller ends before the next call.
  bool starts_drag = false;
};

// What the calls may name, all of the test's own making.
struct SoakTargets {
  // Windows of fixture programs, as the UI application sends handles.
  std::vector<int64_t> fixture_windows;
  int64_t host_window = 0;
  // The handle of a fixture window that has been destroyed.
  int64_t gone_window = 0;
  // An executable with icon resources.
  std::string icon_path;
  // A file that does not exist, in a folder that does not exist either.
  std::string missing_path;
};

struct SoakProxy {
  int64_t flags = 1;
  std::string server;
};

// What the host holds after the calls made so far, kept by the mix as it makes them.
struct SoakModel {
  bool mini_mode = false;
  bool launch_at_startup = false;
  SoakProxy proxy;
  // "onMiniMode" messages the host owes: one each time it leaves mini mode to come to the front.
  size_t mini_mode_exits_reported = 0;
  // The lines the host owes on stderr, one per fault of a message it was sent, and how many
  // times each.
  std::map<std::string, size_t> diagnostics;
};

// A reproducible random mix of calls over every method of both channels, with valid and
// invalid arguments, weighted so that the slow methods ("listApps", "getIcons") come rarely.
class SoakMix {
 public:
  // |start| is what the host holds before the first call; its proxy is also what the calls ask
  // the host to put back when it ends. A non-empty |only| keeps one kind of call (a method name,
  // "(unknown method)" or "(undecodable)"), to find which one a fault comes with.
  SoakMix(uint64_t seed, SoakTargets targets, SoakModel start, const std::string& only = "");

  // False when |only| named no kind of call.
  bool empty() const { return kinds_.empty(); }

  // The next call of the mix. Inside the tray menu's loop no drag is started: a user cannot
  // press on the window while the menu holds the mouse.
  SoakCall Next(bool inside_tray_menu);

  // Whether the tray menu opens before the next call, and how many calls come while it is open.
  // Rare: a menu costs about as much as a hundred calls under Wine.
  bool OpensTrayMenu();
  size_t CallsInTrayMenu();

  // Each kind of call |rounds| times in a fixed order, so that everything the host loads on
  // first use is loaded before the first measurement.
  std::vector<SoakCall> WarmUp(int rounds);

  const SoakModel& model() const { return model_; }
  // The fields of a proxy as "setProxy" and "restoreOnExit" take them.
  static flutter::EncodableMap ProxyArguments(const SoakProxy& proxy);

 private:
  using Maker = SoakCall (SoakMix::*)();
  struct Kind {
    std::string_view name;
    int weight;
    Maker make;
  };
  static const std::vector<Kind>& Kinds();

  SoakCall ListApps();
  SoakCall GetIcons();
  SoakCall GetForeground();
  SoakCall BlockWindow();
  SoakCall RestoreWindow();
  SoakCall GetIdleSeconds();
  SoakCall ShowWindow();
  SoakCall SetQuitAllowed();
  SoakCall SetTrayTooltip();
  SoakCall SetLaunchAtStartup();
  SoakCall GetLaunchAtStartup();
  SoakCall IsPackaged();
  SoakCall GetProxy();
  SoakCall SetProxy();
  SoakCall LaunchApp();
  SoakCall SetMiniMode();
  SoakCall StartDrag();
  SoakCall Notify();
  SoakCall SetTrayStatus();
  SoakCall UnknownMethod();
  SoakCall Undecodable();

  // "blockWindow" and "restoreWindow" take the same argument; true when it names a fixture.
  SoakCall WindowCall(const std::string& method);
  // The host comes to the front, leaving mini mode (and saying so) if it was in it.
  void ComesToFront();
  size_t Pick(size_t count);
  bool Chance(int percent);
  std::string SomeText(size_t longest);

  std::mt19937_64 random_;
  SoakTargets targets_;
  SoakModel model_;
  SoakProxy start_proxy_;
  std::vector<Kind> kinds_;
  int total_weight_ = 0;
  uint64_t serial_ = 0;
};

}  // namespace keelo::testing

#endif  // TESTS_E2E_SOAK_MIX_H_
