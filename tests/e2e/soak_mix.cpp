#include "tests/e2e/soak_mix.h"

#include <limits>
#include <utility>

#include "devkit/driver/protocol/method_envelopes.h"
#include "tests/support/host_names.h"

namespace keelo::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

const SoakBytes kTrue = {0x00, 0x01};
const SoakBytes kFalse = {0x00, 0x02};
const SoakBytes kNull = {0x00, 0x00};
const SoakBytes kNotImplemented = {};

// Sizes "getIcons" takes (1 to 1024 pixels); the default when the size is not an int32.
constexpr int kIconSizes[] = {16, 32, 48};
constexpr int kDefaultIconSize = 96;
// One call in this many is preceded by the tray menu.
constexpr size_t kTrayMenuEvery = 250;

// Pieces of text in one to four UTF-8 bytes, so that the host's conversions meet them all.
const char* const kTextPieces[] = {
    "a", "Z", "7", " ", ":", "\xC3\xA9", "\xC3\x9F", "\xE6\xBC\xA2", "\xF0\x9F\x99\x82"};

ExpectedReply Exact(SoakBytes bytes) {
  ExpectedReply expected;
  expected.bytes = std::move(bytes);
  return expected;
}

ExpectedReply OfShape(ExpectedReply::Shape shape) {
  ExpectedReply expected;
  expected.shape = shape;
  return expected;
}

SoakCall MakeCall(const std::string& channel, const std::string& method, const std::string& variant,
                  const EncodableValue& arguments, ExpectedReply expected) {
  SoakCall call;
  call.channel = channel;
  call.kind = method;
  call.label = method + " " + variant;
  call.message = devkit::EncodeMethodCall(method, arguments);
  call.expected = std::move(expected);
  return call;
}

// Arguments that are not a map read as an empty one.
EncodableValue NotAMap(size_t which) {
  switch (which % 4) {
    case 0:
      return EncodableValue();
    case 1:
      return EncodableValue("enabled");
    case 2:
      return EncodableValue(EncodableList{EncodableValue(true)});
    default:
      return EncodableValue(int32_t{1});
  }
}

}  // namespace

SoakMix::SoakMix(uint64_t seed, SoakTargets targets, SoakModel start, const std::string& only)
    : random_(seed), targets_(std::move(targets)), model_(std::move(start)) {
  start_proxy_ = model_.proxy;
  for (const Kind& kind : Kinds()) {
    if (!only.empty() && kind.name != only) continue;
    kinds_.push_back(kind);
    total_weight_ += kind.weight;
  }
}

const std::vector<SoakMix::Kind>& SoakMix::Kinds() {
  // Relative weights, about 750 in all. The slow methods come rarely: "listApps" walks the
  // Start menu and every window, "getIcons" extracts and encodes pictures. "getProxy" is rarer
  // still: Wine's WinINet takes some 20 ms per query and keeps about 550 bytes of each (measured
  // with 1000 queries in a program of its own, texts freed), and the host queries twice under
  // Wine, so that at a common weight Wine's own loss would pass the memory allowance. "setProxy"
  // queries too, twice, after every apply that keeps settings to restore, to learn what WinINet
  // made of them: 5000 bare queries in a program of its own grew its PagefileUsage, what this
  // test reads, by 544 bytes each (and its RssAnon by nothing). At weight 50 that loss alone
  // followed a rising line of over 500 KiB in some mixes; at 3 the long run's 100,000 calls make
  // some 400 of them, within the allowance, and a short run some twenty.
  static const std::vector<Kind> kinds = {
      {"listApps", 2, &SoakMix::ListApps},
      {"getIcons", 5, &SoakMix::GetIcons},
      {"getForeground", 50, &SoakMix::GetForeground},
      {"blockWindow", 50, &SoakMix::BlockWindow},
      {"restoreWindow", 50, &SoakMix::RestoreWindow},
      {"getIdleSeconds", 60, &SoakMix::GetIdleSeconds},
      {"showWindow", 30, &SoakMix::ShowWindow},
      {"setQuitAllowed", 50, &SoakMix::SetQuitAllowed},
      {"setTrayTooltip", 60, &SoakMix::SetTrayTooltip},
      {"setLaunchAtStartup", 40, &SoakMix::SetLaunchAtStartup},
      {"getLaunchAtStartup", 40, &SoakMix::GetLaunchAtStartup},
      {"isPackaged", 40, &SoakMix::IsPackaged},
      {"getProxy", 1, &SoakMix::GetProxy},
      {"setProxy", 3, &SoakMix::SetProxy},
      {"launchApp", 30, &SoakMix::LaunchApp},
      {"setMiniMode", 80, &SoakMix::SetMiniMode},
      {"startDrag", 10, &SoakMix::StartDrag},
      {"notify", 40, &SoakMix::Notify},
      {"setTrayStatus", 60, &SoakMix::SetTrayStatus},
      {"(unknown method)", 40, &SoakMix::UnknownMethod},
      {"(undecodable)", 10, &SoakMix::Undecodable},
  };
  return kinds;
}

SoakCall SoakMix::Next(bool inside_tray_menu) {
  for (;;) {
    int ticket = static_cast<int>(Pick(static_cast<size_t>(total_weight_)));
    for (const Kind& kind : kinds_) {
      ticket -= kind.weight;
      if (ticket >= 0) continue;
      if (inside_tray_menu && kind.make == &SoakMix::StartDrag) break;
      return (this->*kind.make)();
    }
  }
}

std::vector<SoakCall> SoakMix::WarmUp(int rounds) {
  std::vector<SoakCall> calls;
  for (int round = 0; round < rounds; ++round) {
    for (const Kind& kind : kinds_) calls.push_back((this->*kind.make)());
  }
  return calls;
}

bool SoakMix::OpensTrayMenu() { return Pick(kTrayMenuEvery) == 0; }

size_t SoakMix::CallsInTrayMenu() { return Pick(3); }

EncodableMap SoakMix::ProxyArguments(const SoakProxy& proxy) {
  return EncodableMap{{"flags", proxy.flags}, {"server", proxy.server}};
}

size_t SoakMix::Pick(size_t count) {
  return std::uniform_int_distribution<size_t>(0, count - 1)(random_);
}

bool SoakMix::Chance(int percent) { return static_cast<int>(Pick(100)) < percent; }

std::string SoakMix::SomeText(size_t longest) {
  std::string text;
  const size_t length = Pick(longest + 1);
  for (size_t i = 0; i < length; ++i) text += kTextPieces[Pick(std::size(kTextPieces))];
  return text;
}

void SoakMix::ComesToFront() {
  if (model_.mini_mode) ++model_.mini_mode_exits_reported;
  model_.mini_mode = false;
}

SoakCall SoakMix::ListApps() {
  const bool plain = Chance(50);
  return MakeCall(kDesktopChannel, "listApps", plain ? "no arguments" : "arguments it ignores",
                  plain ? EncodableValue() : EncodableValue(EncodableMap{{"size", 4}}),
                  OfShape(ExpectedReply::Shape::kAppList));
}

SoakCall SoakMix::GetIcons() {
  ExpectedReply expected = OfShape(ExpectedReply::Shape::kIcons);
  const int size = kIconSizes[Pick(std::size(kIconSizes))];
  expected.icon_size = size;
  switch (Pick(7)) {
    case 0:
      expected.icon_keys = {EncodableValue("app")};
      return MakeCall(
          kDesktopChannel, "getIcons", "one executable",
          EncodableMap{{"size", size}, {"items", EncodableMap{{"app", targets_.icon_path}}}},
          expected);
    case 1:
      // A missing file has no icon and is left out; a key of another kind goes back as it came.
      expected.icon_keys = {EncodableValue(int32_t{7})};
      return MakeCall(kDesktopChannel, "getIcons", "an int key and a missing file",
                      EncodableMap{{"size", size},
                                   {"items", EncodableMap{{EncodableValue(int32_t{7}),
                                                           EncodableValue(targets_.icon_path)},
                                                          {"missing", targets_.missing_path}}}},
                      expected);
    case 2:
      // Only an int32 is a size; an int64 counts as absent and gives the default.
      expected.icon_size = kDefaultIconSize;
      expected.icon_keys = {EncodableValue("app")};
      return MakeCall(kDesktopChannel, "getIcons", "size as int64",
                      EncodableMap{{"size", int64_t{size}},
                                   {"items", EncodableMap{{"app", targets_.icon_path}}}},
                      expected);
    case 3: {
      const int32_t unusable[] = {0, -16, 1025};
      return MakeCall(kDesktopChannel, "getIcons", "size out of range",
                      EncodableMap{{"size", unusable[Pick(std::size(unusable))]},
                                   {"items", EncodableMap{{"app", targets_.icon_path}}}},
                      expected);
    }
    case 4:
      return MakeCall(kDesktopChannel, "getIcons", "items as a list",
                      EncodableMap{{"size", size}, {"items", EncodableList{targets_.icon_path}}},
                      expected);
    case 5:
      return MakeCall(kDesktopChannel, "getIcons", "a path that is no string",
                      EncodableMap{{"size", size}, {"items", EncodableMap{{"app", 5}}}}, expected);
    default:
      return MakeCall(kDesktopChannel, "getIcons", "arguments not a map", NotAMap(Pick(4)),
                      expected);
  }
}

SoakCall SoakMix::GetForeground() {
  return MakeCall(kDesktopChannel, "getForeground", "", EncodableValue(),
                  OfShape(ExpectedReply::Shape::kForeground));
}

SoakCall SoakMix::WindowCall(const std::string& method) {
  const int64_t fixture = targets_.fixture_windows[Pick(targets_.fixture_windows.size())];
  switch (Pick(9)) {
    case 0:
    case 1:
      return MakeCall(kDesktopChannel, method, "fixture window", EncodableMap{{"hwnd", fixture}},
                      Exact(kTrue));
    case 2:
      // Handles are sign-extended from an int32; the fixture's handle fits in one.
      return MakeCall(kDesktopChannel, method, "fixture window as int32",
                      EncodableMap{{"hwnd", static_cast<int32_t>(fixture)}}, Exact(kTrue));
    case 3:
      return MakeCall(kDesktopChannel, method, "host window",
                      EncodableMap{{"hwnd", targets_.host_window}}, Exact(kFalse));
    case 4:
      return MakeCall(kDesktopChannel, method, "destroyed window",
                      EncodableMap{{"hwnd", targets_.gone_window}}, Exact(kFalse));
    case 5:
      return MakeCall(kDesktopChannel, method, "null handle", EncodableMap{{"hwnd", int64_t{0}}},
                      Exact(kFalse));
    case 6:
      return MakeCall(kDesktopChannel, method, "handle as a string",
                      EncodableMap{{"hwnd", std::to_string(fixture)}}, Exact(kFalse));
    case 7:
      return MakeCall(kDesktopChannel, method, "handle as a double",
                      EncodableMap{{"hwnd", static_cast<double>(fixture)}}, Exact(kFalse));
    default:
      return MakeCall(kDesktopChannel, method, "arguments not a map", NotAMap(Pick(4)),
                      Exact(kFalse));
  }
}

SoakCall SoakMix::BlockWindow() {
  // Whatever it names, the host comes to the front.
  SoakCall call = WindowCall("blockWindow");
  ComesToFront();
  return call;
}

SoakCall SoakMix::RestoreWindow() { return WindowCall("restoreWindow"); }

SoakCall SoakMix::GetIdleSeconds() {
  return MakeCall(kDesktopChannel, "getIdleSeconds", "", EncodableValue(),
                  OfShape(ExpectedReply::Shape::kIdleSeconds));
}

SoakCall SoakMix::ShowWindow() {
  ComesToFront();
  return MakeCall(kDesktopChannel, "showWindow", "", EncodableValue(), Exact(kTrue));
}

SoakCall SoakMix::SetQuitAllowed() {
  switch (Pick(3)) {
    case 0:
      return MakeCall(kDesktopChannel, "setQuitAllowed", "bool",
                      EncodableMap{{"allowed", Chance(50)}}, Exact(kNull));
    case 1:
      return MakeCall(kDesktopChannel, "setQuitAllowed", "int", EncodableMap{{"allowed", 1}},
                      Exact(kNull));
    default:
      return MakeCall(kDesktopChannel, "setQuitAllowed", "arguments not a map", NotAMap(Pick(4)),
                      Exact(kNull));
  }
}

SoakCall SoakMix::SetTrayTooltip() {
  switch (Pick(4)) {
    case 0:
      return MakeCall(kDesktopChannel, "setTrayTooltip", "text",
                      EncodableMap{{"text", SomeText(40)}}, Exact(kNull));
    case 1:
      // Past the shell's 128-unit field: the host cuts it.
      return MakeCall(kDesktopChannel, "setTrayTooltip", "long text",
                      EncodableMap{{"text", SomeText(400)}}, Exact(kNull));
    case 2:
      return MakeCall(kDesktopChannel, "setTrayTooltip", "text as a number",
                      EncodableMap{{"text", 5}}, Exact(kNull));
    default:
      return MakeCall(kDesktopChannel, "setTrayTooltip", "arguments not a map", NotAMap(Pick(4)),
                      Exact(kNull));
  }
}

SoakCall SoakMix::SetLaunchAtStartup() {
  // Anything but a bool reads as false, which removes the value; both succeed.
  if (Chance(60)) {
    model_.launch_at_startup = Chance(50);
    return MakeCall(kDesktopChannel, "setLaunchAtStartup", "bool",
                    EncodableMap{{"enabled", model_.launch_at_startup}}, Exact(kTrue));
  }
  model_.launch_at_startup = false;
  if (Chance(50)) {
    return MakeCall(kDesktopChannel, "setLaunchAtStartup", "enabled as a string",
                    EncodableMap{{"enabled", "true"}}, Exact(kTrue));
  }
  return MakeCall(kDesktopChannel, "setLaunchAtStartup", "arguments not a map", NotAMap(Pick(4)),
                  Exact(kTrue));
}

SoakCall SoakMix::GetLaunchAtStartup() {
  return MakeCall(kDesktopChannel, "getLaunchAtStartup", "", EncodableValue(),
                  Exact(model_.launch_at_startup ? kTrue : kFalse));
}

SoakCall SoakMix::IsPackaged() {
  return MakeCall(kDesktopChannel, "isPackaged", "", EncodableValue(), Exact(kFalse));
}

SoakCall SoakMix::GetProxy() {
  ExpectedReply expected = OfShape(ExpectedReply::Shape::kProxy);
  expected.proxy_flags = model_.proxy.flags;
  expected.proxy_server = model_.proxy.server;
  return MakeCall(kDesktopChannel, "getProxy", "", EncodableValue(), expected);
}

SoakCall SoakMix::SetProxy() {
  // Flags stay direct (1) throughout, so that no proxy is ever in force: every unusable flags
  // value reads as 1 too. The server text is kept either way.
  const SoakProxy proxy{1, "soak-" + std::to_string(++serial_) + SomeText(6) + ".invalid:8080"};
  const EncodableValue restore(ProxyArguments(start_proxy_));
  switch (Pick(6)) {
    case 0:
    case 1: {
      EncodableMap arguments = ProxyArguments(proxy);
      arguments[EncodableValue("bypass")] = EncodableValue("<local>");
      arguments[EncodableValue("restoreOnExit")] = restore;
      model_.proxy = proxy;
      return MakeCall(kDesktopChannel, "setProxy", "server, restored on exit", arguments,
                      Exact(kTrue));
    }
    case 2: {
      model_.proxy = proxy;
      return MakeCall(kDesktopChannel, "setProxy", "server, nothing to restore",
                      ProxyArguments(proxy), Exact(kTrue));
    }
    case 3: {
      const EncodableValue unusable[] = {EncodableValue(int32_t{-1}), EncodableValue(4294967296.0),
                                         EncodableValue(std::numeric_limits<double>::quiet_NaN()),
                                         EncodableValue("2"), EncodableValue(1.75)};
      EncodableMap arguments = ProxyArguments(proxy);
      arguments[EncodableValue("flags")] = unusable[Pick(std::size(unusable))];
      arguments[EncodableValue("restoreOnExit")] = EncodableList{restore};
      model_.proxy = proxy;
      return MakeCall(kDesktopChannel, "setProxy", "unusable flags, restore not a map", arguments,
                      Exact(kTrue));
    }
    case 4:
      model_.proxy = SoakProxy{1, ""};
      return MakeCall(kDesktopChannel, "setProxy", "server as a number",
                      EncodableMap{{"flags", 1}, {"server", 8080}, {"restoreOnExit", restore}},
                      Exact(kTrue));
    default:
      // No settings at all: refused, and the user's proxy left as it was.
      return MakeCall(kDesktopChannel, "setProxy", "arguments not a map", NotAMap(Pick(4)),
                      Exact(kFalse));
  }
}

SoakCall SoakMix::LaunchApp() {
  // Nothing here may open anything: the only path that reaches the shell names no file.
  switch (Pick(5)) {
    case 0:
    case 1:
      return MakeCall(kDesktopChannel, "launchApp", "missing file",
                      EncodableMap{{"path", targets_.missing_path}}, Exact(kFalse));
    case 2:
      return MakeCall(kDesktopChannel, "launchApp", "empty path", EncodableMap{{"path", ""}},
                      Exact(kFalse));
    case 3:
      return MakeCall(kDesktopChannel, "launchApp", "path with a zero byte",
                      EncodableMap{{"path", std::string("C:\\x\0y.exe", 10)}}, Exact(kFalse));
    default:
      return MakeCall(kDesktopChannel, "launchApp", "path as a number", EncodableMap{{"path", 3}},
                      Exact(kFalse));
  }
}

SoakCall SoakMix::SetMiniMode() {
  if (Chance(50)) {
    model_.mini_mode = true;
    switch (Pick(4)) {
      case 0:
        return MakeCall(kUiChannel, "setMiniMode", "on", EncodableMap{{"enabled", true}},
                        Exact(kTrue));
      case 1:
        return MakeCall(kUiChannel, "setMiniMode", "on with a size",
                        EncodableMap{{"enabled", true},
                                     {"width", static_cast<int32_t>(200 + Pick(300))},
                                     {"height", 60.0 + static_cast<double>(Pick(100))}},
                        Exact(kTrue));
      case 2:
        return MakeCall(kUiChannel, "setMiniMode", "on with unusable sizes",
                        EncodableMap{{"enabled", true},
                                     {"width", -40.0},
                                     {"height", std::numeric_limits<double>::quiet_NaN()}},
                        Exact(kTrue));
      default:
        return MakeCall(kUiChannel, "setMiniMode", "on with sizes of the wrong kind",
                        EncodableMap{{"enabled", true}, {"width", "wide"}, {"height", true}},
                        Exact(kTrue));
    }
  }
  // Leaving through "setMiniMode" itself is not reported back.
  model_.mini_mode = false;
  switch (Pick(3)) {
    case 0:
      return MakeCall(kUiChannel, "setMiniMode", "off", EncodableMap{{"enabled", false}},
                      Exact(kFalse));
    case 1:
      return MakeCall(kUiChannel, "setMiniMode", "enabled as an int", EncodableMap{{"enabled", 1}},
                      Exact(kFalse));
    default:
      return MakeCall(kUiChannel, "setMiniMode", "arguments not a map", NotAMap(Pick(4)),
                      Exact(kFalse));
  }
}

SoakCall SoakMix::StartDrag() {
  SoakCall call = MakeCall(kUiChannel, "startDrag", "",
                           Chance(50) ? EncodableValue() : NotAMap(Pick(4)), Exact(kNull));
  call.starts_drag = true;
  return call;
}

SoakCall SoakMix::Notify() {
  switch (Pick(3)) {
    case 0:
      return MakeCall(kUiChannel, "notify", "title and body",
                      EncodableMap{{"title", SomeText(20)}, {"body", SomeText(300)}}, Exact(kNull));
    case 1:
      return MakeCall(kUiChannel, "notify", "texts as numbers",
                      EncodableMap{{"title", 1}, {"body", 2.5}}, Exact(kNull));
    default:
      return MakeCall(kUiChannel, "notify", "arguments not a map", NotAMap(Pick(4)), Exact(kNull));
  }
}

SoakCall SoakMix::SetTrayStatus() {
  switch (Pick(3)) {
    case 0:
      return MakeCall(kUiChannel, "setTrayStatus", "status and session",
                      EncodableMap{{"status", SomeText(160)}, {"session", Chance(50)}},
                      Exact(kNull));
    case 1:
      return MakeCall(kUiChannel, "setTrayStatus", "values of the wrong kind",
                      EncodableMap{{"status", 12}, {"session", "yes"}}, Exact(kNull));
    default:
      return MakeCall(kUiChannel, "setTrayStatus", "arguments not a map", NotAMap(Pick(4)),
                      Exact(kNull));
  }
}

SoakCall SoakMix::UnknownMethod() {
  struct Unknown {
    const char* channel;
    std::string method;
  };
  const Unknown unknown[] = {
      {kDesktopChannel, "noSuchMethod"},
      {kUiChannel, "noSuchMethod"},
      // Each channel answers its own methods only, and names match byte for byte.
      {kUiChannel, "getIdleSeconds"},
      {kDesktopChannel, "setMiniMode"},
      {kDesktopChannel, "ListApps"},
      {kUiChannel, "setminimode"},
      {kDesktopChannel, std::string("getProxy\0x", 10)},
      {kDesktopChannel, ""},
  };
  const Unknown& chosen = unknown[Pick(std::size(unknown))];
  SoakCall call = MakeCall(chosen.channel, chosen.method, "(not a method of the channel)",
                           EncodableMap{{"enabled", true}}, Exact(kNotImplemented));
  call.kind = "(unknown method)";
  return call;
}

SoakCall SoakMix::Undecodable() {
  SoakCall call;
  call.channel = Chance(50) ? kDesktopChannel : kUiChannel;
  call.kind = "(undecodable)";
  if (Chance(50)) {
    // Tag 255 is no value at all, so there is no method name: the channel gives up on it, with
    // the line of the message's first fault only.
    call.label = "(bytes that are no method call)";
    call.message = {0xff, 0x00};
    call.expected = Exact(kNotImplemented);
    ++model_.diagnostics["Unknown type in StandardCodecSerializer::ReadValueOfType: 255"];
    return call;
  }
  // A call cut short inside its last string: the reader says so once, and the call is not the
  // one that was sent, so no method runs on it.
  call.label = "setTrayStatus (cut short)";
  call.message = devkit::EncodeMethodCall("setTrayStatus", EncodableMap{{"status", "cut"}});
  call.message.resize(call.message.size() - 2);
  call.expected = Exact(kNotImplemented);
  ++model_.diagnostics["Invalid read in StandardCodecByteStreamReader"];
  return call;
}

}  // namespace keelo::testing
