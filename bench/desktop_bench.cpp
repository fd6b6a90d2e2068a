// How much the host adds to the platform work of "listApps", "getIcons" and the "onForeground"
// report, measured under Wine in one run: each through the bridge and the engine messenger,
// against a bare loop doing only the platform work it cannot avoid. Not a test; see README.md.
//
//   desktop_bench [--only listApps|getIcons|foreground] [--runs N]

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/catalogue_floor.h"
#include "bench/catalogue_profile.h"
#include "bench/desktop_scene.h"
#include "bench/phase_clock.h"
#include "bridge/app_catalog.h"
#include "bridge/app_identifier.h"
#include "bridge/desktop_bridge.h"
#include "bridge/folder_listing.h"
#include "bridge/foreground_watcher.h"
#include "bridge/system_calls.h"
#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "devkit/apps/bench/reply_checks.h"
#include "devkit/engine/messenger.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/support/fixtures.h"
#include "tests/support/shell_fixtures.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using keelo::bench::CatalogueProfile;
using keelo::bench::DesktopScene;
using keelo::bench::GetShellLinkFactory;
using keelo::bench::Phase;
using keelo::bench::PhaseClock;
using keelo::bench::PhaseName;
using keelo::bench::ProfileCatalogue;
using keelo::bench::ReadCatalogueFloor;
using keelo::bench::ReadShortcut;
using keelo::bench::ReadVersionString;
using keelo::bench::ReadWindowImagePath;
using keelo::testing::FixtureExecutable;
using keelo::testing::FixtureProcess;

constexpr int kIconSize = 96;
constexpr int kWarmUps = 3;
// Foreground reports per timed run: one takes about a millisecond under Wine, too little to
// time alone against the clock's and the scheduler's noise.
constexpr int kReportsPerRun = 20;
// The longest a call waits for the shell worker's reply before it counts as failed.
constexpr DWORD kReplyTimeoutMs = 60000;
// Calls of "listApps" in a row, to see whether the host slows down over them.
constexpr int kCallsInARow = 10;

// The medians, in milliseconds, of the host's way and of the bare loop.
struct Comparison {
  double host_ms;
  double bare_ms;
};

double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Both ways in turn, so that a machine that gets busier or quieter meanwhile weighs on both.
Comparison Compare(const std::function<void()>& host, const std::function<void()>& bare, int runs) {
  for (int i = 0; i < kWarmUps; ++i) {
    host();
    bare();
  }
  std::vector<double> host_times;
  std::vector<double> bare_times;
  for (int i = 0; i < runs; ++i) {
    bare_times.push_back(Milliseconds(bare));
    host_times.push_back(Milliseconds(host));
  }
  return Comparison{Median(host_times), Median(bare_times)};
}

// The "original" entry of an "onForeground" report; empty when the message is not one.
std::string ReportedOriginal(const FlutterDesktopMessenger::Bytes& message) {
  const std::unique_ptr<flutter::MethodCall> call =
      flutter::StandardMethodCodec::ForSerializer(nullptr).DecodeCall(message.data(),
                                                                      message.size());
  if (call == nullptr || call->method_name() != "onForeground" || call->arguments() == nullptr) {
    return std::string();
  }
  const auto* identity = call->arguments()->GetIf<EncodableMap>();
  if (identity == nullptr) return std::string();
  const auto original = identity->find(EncodableValue("original"));
  if (original == identity->end() || !original->second.Holds<std::string>()) return std::string();
  return original->second.Get<std::string>();
}

// A bridge on the development kit's engine messenger, called as the UI application calls it.
class BridgeClient {
 public:
  BridgeClient()
      : engine_(FlutterDesktopMessenger::Create(
            FlutterDesktopMessenger::Options{nullptr, nullptr, /*record_traffic=*/false})),
        messenger_(std::make_unique<flutter::BinaryMessengerImpl>(engine_)),
        bridge_(std::make_unique<DesktopBridge>(messenger_.get(), nullptr)) {}

  ~BridgeClient() {
    bridge_.reset();
    messenger_.reset();
    engine_->ShutDown();
  }

  BridgeClient(const BridgeClient&) = delete;
  BridgeClient& operator=(const BridgeClient&) = delete;

  // Reports |window| as the system's foreground hook would, through the hook's own procedure:
  // Wine never raises the event. The report waits in the engine's queue until TakeReports.
  static void ReportForeground(HWND window) {
    ForegroundWatcher::ForegroundEventProc(nullptr, EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW,
                                           CHILDID_SELF, 0, 0);
  }

  // From now on the reports are kept, by their "original" names, once delivered. The engine
  // passes a message on only to a handler that is there when it is sent.
  void CollectReports() {
    engine_->SetPeerHandler(desktop_channel_,
                            [this](const FlutterDesktopMessenger::Bytes& message,
                                   const FlutterDesktopMessenger::PeerResponder&) {
                              reported_originals_.push_back(ReportedOriginal(message));
                            });
  }

  // Delivers the reports waiting in the engine's queue and stops collecting; the names in order.
  std::vector<std::string> TakeReports() {
    engine_->RunPendingTasks();
    engine_->SetPeerHandler(desktop_channel_, nullptr);
    return std::exchange(reported_originals_, {});
  }

  // The reply's bytes; none when the call was not answered.
  std::optional<FlutterDesktopMessenger::Bytes> Call(const std::string& method,
                                                     EncodableValue arguments) {
    const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    // Shared with the engine's task rather than on this frame: a reply that comes after this
    // call has given up must not land in the frame of the next one.
    const auto reply = std::make_shared<std::optional<FlutterDesktopMessenger::Bytes>>();
    engine_->SendToHost(desktop_channel_, *message,
                        [reply](const FlutterDesktopMessenger::Bytes& bytes) { *reply = bytes; });
    engine_->RunPendingTasks();
    // The catalogue and the icons are answered from the shell worker: its value arrives through
    // this thread's messages, and the engine then hands the reply over as a task of its own.
    const DWORD start = GetTickCount();
    while (!reply->has_value() && GetTickCount() - start < kReplyTimeoutMs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG pending;
      while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&pending);
      engine_->RunPendingTasks();
    }
    return std::move(*reply);
  }

 private:
  const std::string desktop_channel_ = kDesktopChannel;
  FlutterDesktopMessenger* engine_;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger_;
  std::unique_ptr<DesktopBridge> bridge_;
  std::vector<std::string> reported_originals_;
};

// The least "getIcons" must do: an icon per path, one imaging factory for all of them, each
// encoded as PNG into a memory stream and copied out.
size_t ExtractAndEncode(IWICImagingFactory* factory, const std::vector<std::wstring>& paths) {
  size_t bytes = 0;
  for (const std::wstring& path : paths) {
    ScopedIcon icon;
    if (path.ends_with(L".exe")) {
      PrivateExtractIconsW(path.c_str(), 0, kIconSize, kIconSize, icon.put(), nullptr, 1, 0);
    }
    if (!icon) {
      SHFILEINFOW info = {};
      if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ICON) == 0) continue;
      icon.reset(info.hIcon);
    }
    ComPtr<IWICBitmap> bitmap;
    ComPtr<IWICBitmapScaler> scaler;
    const ComPtr<IStream> stream(SHCreateMemStream(nullptr, 0));
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    ULARGE_INTEGER size = {};
    if (FAILED(factory->CreateBitmapFromHICON(icon.get(), bitmap.put())) ||
        FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(bitmap.get(), kIconSize, kIconSize,
                                  WICBitmapInterpolationModeFant)) ||
        !stream ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) ||
        FAILED(frame->Initialize(nullptr)) || FAILED(frame->SetSize(kIconSize, kIconSize)) ||
        FAILED(frame->SetPixelFormat(&format)) ||
        FAILED(frame->WriteSource(scaler.get(), nullptr)) || FAILED(frame->Commit()) ||
        FAILED(encoder->Commit()) || FAILED(IStream_Size(stream.get(), &size)) ||
        FAILED(IStream_Reset(stream.get()))) {
      continue;
    }
    std::vector<uint8_t> png(static_cast<size_t>(size.QuadPart));
    if (SUCCEEDED(IStream_Read(stream.get(), png.data(), static_cast<ULONG>(png.size())))) {
      bytes += png.size();
    }
  }
  return bytes;
}

// The least a foreground report must do: the window's process, its image path, and the
// OriginalFilename of the image's version resource in its first translation. Returns the length
// of that name.
size_t ReadIdentityBare(HWND window) {
  const std::wstring path = ReadWindowImagePath(window, nullptr);
  if (path.empty()) return 0;
  return ReadVersionString(path, L"OriginalFilename", nullptr).size();
}

void Report(const char* what, const Comparison& comparison) {
  std::printf("%-40s host %9.2f ms   bare loop %9.2f ms   ratio %.2f\n", what, comparison.host_ms,
              comparison.bare_ms, comparison.host_ms / comparison.bare_ms);
}

// The phases of the floor and of the host's way side by side: per catalogue in milliseconds, and
// per item in microseconds (per folder listed, per window enumerated, per shortcut or per window
// examined).
void ReportPhases(const PhaseClock& floor, const PhaseClock& host, const CatalogueProfile& profile,
                  const DesktopScene& scene, int runs) {
  struct Row {
    Phase phase;
    size_t host_items;
    size_t floor_items;
  };
  const size_t shortcuts = scene.shortcuts().size();
  const size_t windows = scene.windows().size();
  const Row rows[] = {
      {Phase::kListFolders, profile.folders, 0},
      {Phase::kCreateLink, profile.shortcuts, shortcuts},
      {Phase::kLoadLink, profile.shortcuts, shortcuts},
      {Phase::kReadLink, profile.shortcuts, shortcuts},
      {Phase::kMergeShortcut, profile.shortcuts, 0},
      {Phase::kEnumerate, profile.windows_enumerated, 0},
      {Phase::kTitle, profile.windows_examined, 0},
      {Phase::kCloaked, profile.windows_examined, 0},
      {Phase::kOpenProcess, profile.windows_examined, windows},
      {Phase::kImagePath, profile.windows_examined, windows},
      {Phase::kVersionSize, profile.windows_described, windows},
      {Phase::kVersionBlock, profile.windows_described, windows},
      {Phase::kVersionQuery, profile.windows_described, windows},
      {Phase::kMergeWindow, profile.windows_examined, 0},
  };
  std::printf(
      "  per phase: %zu folders, %zu shortcuts, %zu windows enumerated, %zu examined, %zu "
      "described by the host's way\n",
      profile.folders, profile.shortcuts, profile.windows_enumerated, profile.windows_examined,
      profile.windows_described);
  std::printf("  %-34s %10s %10s %12s %12s\n", "phase", "host ms", "floor ms", "host us/item",
              "floor us/item");
  const auto per_item = [runs](double us, size_t items) {
    return items == 0 ? 0.0 : us / static_cast<double>(runs) / static_cast<double>(items);
  };
  double host_shortcut_us = 0;
  double host_window_us = 0;
  double floor_shortcut_us = 0;
  double floor_window_us = 0;
  for (const Row& row : rows) {
    const double host_us = host.Microseconds(row.phase);
    const double floor_us = floor.Microseconds(row.phase);
    std::printf("  %-34s %10.2f %10.2f %12.1f %12.1f\n", PhaseName(row.phase),
                host_us / runs / 1000.0, floor_us / runs / 1000.0,
                per_item(host_us, row.host_items), per_item(floor_us, row.floor_items));
    const bool walk = row.phase <= Phase::kMergeShortcut;
    (walk ? host_shortcut_us : host_window_us) += host_us;
    (walk ? floor_shortcut_us : floor_window_us) += floor_us;
  }
  std::printf("  per shortcut, listing and merge included: host %.1f us, floor %.1f us\n",
              per_item(host_shortcut_us, profile.shortcuts),
              per_item(floor_shortcut_us, shortcuts));
  std::printf("  per window examined, enumeration included: host %.1f us, floor %.1f us\n",
              per_item(host_window_us, profile.windows_examined),
              per_item(floor_window_us, windows));
}

// Each method's comparison prints its line; false when a side did not do all of its work,
// which would make its time meaningless.
bool CompareListApps(const DesktopScene& scene, BridgeClient& client, int runs) {
  std::vector<std::string> executables;
  for (const std::wstring& exe : scene.catalogue_executables())
    executables.push_back(WideToUtf8(exe));
  const std::vector<HWND> windows = scene.windows();
  size_t host_failures = 0;
  size_t floor_failures = 0;
  // Each reply is kept, and checked once the clock has stopped.
  std::vector<std::optional<FlutterDesktopMessenger::Bytes>> replies;
  const auto host_call = [&] { replies.push_back(client.Call("listApps", EncodableValue())); };
  const auto check_replies = [&] {
    for (const auto& reply : replies) {
      if (!reply || !devkit::IsCatalogueReply(*reply, executables)) ++host_failures;
    }
    replies.clear();
  };
  const Comparison comparison = Compare(
      host_call,
      [&] {
        if (!ReadCatalogueFloor(scene.shortcuts(), windows)
                 .ReadAll(scene.shortcuts().size(), windows.size())) {
          ++floor_failures;
        }
      },
      runs);
  check_replies();
  if (host_failures > 0 || floor_failures > 0) {
    std::fprintf(stderr,
                 "listApps: %zu catalogues without every item of the scene, %zu floor passes "
                 "that did not read every item\n",
                 host_failures, floor_failures);
    return false;
  }
  Report("listApps, 300 shortcuts and 20 windows", comparison);

  // Whether the host slows down over calls in a row: ten, nothing in between.
  std::vector<double> in_a_row;
  for (int i = 0; i < kCallsInARow; ++i) in_a_row.push_back(Milliseconds(host_call));
  check_replies();
  std::printf("  %d calls in a row:", kCallsInARow);
  for (const double ms : in_a_row) std::printf(" %.1f", ms);
  // One call against another carries the noise of single samples; the halves' medians show a
  // trend without it.
  const std::vector<double> first_half(in_a_row.begin(), in_a_row.begin() + kCallsInARow / 2);
  const std::vector<double> last_half(in_a_row.begin() + kCallsInARow / 2, in_a_row.end());
  std::printf(" ms; last / first %.2f, median of the last five / of the first five %.2f\n",
              in_a_row.back() / in_a_row.front(), Median(last_half) / Median(first_half));

  // Where the floor's time goes per item, and the same system calls timed inside a copy of the
  // host's catalogue, with what the host does around them.
  PhaseClock floor_clock;
  for (int i = 0; i < runs; ++i) {
    const ComPtr<IClassFactory> factory = GetShellLinkFactory(&floor_clock);
    std::wstring target;
    std::wstring arguments;
    for (const std::wstring& shortcut : scene.shortcuts()) {
      ReadShortcut(factory.get(), shortcut, &target, &arguments, &floor_clock);
    }
    for (HWND window : windows) {
      ReadVersionString(ReadWindowImagePath(window, &floor_clock), L"FileDescription",
                        &floor_clock);
    }
  }
  PhaseClock host_clock;
  CatalogueProfile profile;
  for (int i = 0; i < runs; ++i) profile = ProfileCatalogue(host_clock);
  if (host_failures > 0) {
    std::fprintf(stderr, "listApps: %zu of the calls in a row without every item of the scene\n",
                 host_failures);
    return false;
  }
  ReportPhases(floor_clock, host_clock, profile, scene, runs);

  // The host's own code, timed as a whole: the Start menu's walk with its shortcuts, and the
  // window pass.
  const std::wstring programs = keelo::testing::KnownFolderPath(FOLDERID_Programs);
  const std::wstring common = keelo::testing::KnownFolderPath(FOLDERID_CommonPrograms);
  const SystemCalls system = SystemCalls::Real();
  const FolderLister& list_folder = system.list_folder;
  const Comparison parts = Compare(
      [&] {
        AppCatalog catalog;
        ScanShortcutFolder(programs, catalog, list_folder);
        ScanShortcutFolder(common, catalog, list_folder);
      },
      [&] {
        AppCatalog catalog;
        WindowPass pass{catalog, system.read_cloaked};
        EnumWindows(&CollectWindowApp, reinterpret_cast<LPARAM>(&pass));
      },
      runs);
  std::printf(
      "  the host's code on this thread: the walk with its shortcuts %.2f ms, the window "
      "pass %.2f ms\n",
      parts.host_ms, parts.bare_ms);
  return true;
}

bool CompareGetIcons(const DesktopScene& scene, BridgeClient& client, int runs) {
  EncodableMap items;
  for (size_t i = 0; i < scene.icon_paths().size(); ++i) {
    items[EncodableValue(static_cast<int32_t>(i))] =
        EncodableValue(WideToUtf8(scene.icon_paths()[i]));
  }
  const EncodableValue arguments(EncodableMap{{"size", kIconSize}, {"items", items}});
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void()))) {
    return false;
  }
  size_t host_reply = std::numeric_limits<size_t>::max();
  size_t bare_bytes = 0;
  const Comparison comparison = Compare(
      [&] {
        const auto reply = client.Call("getIcons", arguments);
        host_reply = std::min(host_reply, reply ? reply->size() : 0);
      },
      [&] { bare_bytes = ExtractAndEncode(factory.get(), scene.icon_paths()); }, runs);
  if (host_reply < bare_bytes || bare_bytes == 0) return false;
  Report("getIcons, 40 items at 96 px", comparison);
  return true;
}

// Also false when a report did not name the fixture by its version resource.
bool CompareForeground(BridgeClient& client, int runs) {
  const std::unique_ptr<FixtureProcess> other =
      FixtureProcess::Start(FixtureExecutable(L"fixture_versioned.exe"), L"Keelo bench foreground");
  if (other == nullptr) return false;
  size_t bare_characters = 0;
  client.CollectReports();
  const Comparison comparison = Compare(
      [&] {
        for (int i = 0; i < kReportsPerRun; ++i) BridgeClient::ReportForeground(other->window());
      },
      [&] {
        for (int i = 0; i < kReportsPerRun; ++i)
          bare_characters += ReadIdentityBare(other->window());
      },
      runs);
  const std::vector<std::string> originals = client.TakeReports();
  const size_t expected = static_cast<size_t>(kWarmUps + runs) * kReportsPerRun;
  const bool all_named =
      std::all_of(originals.begin(), originals.end(),
                  [](const std::string& name) { return name == "fixtureeditor.exe"; });
  if (originals.size() != expected || !all_named || bare_characters == 0) return false;
  Report("onForeground, one report",
         Comparison{comparison.host_ms / kReportsPerRun, comparison.bare_ms / kReportsPerRun});
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  int runs = 15;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  const keelo::testing::ScopedComApartment apartment;
  BridgeClient client;
  std::printf("median of %d runs after %d warm-ups each\n", runs, kWarmUps);
  if (only.empty() || only == "listApps" || only == "getIcons") {
    DesktopScene scene;
    if (!scene.Build()) {
      std::fprintf(stderr, "desktop_bench: could not lay out the shortcuts and windows\n");
      return 1;
    }
    if ((only.empty() || only == "listApps") && !CompareListApps(scene, client, runs)) return 1;
    if ((only.empty() || only == "getIcons") && !CompareGetIcons(scene, client, runs)) return 1;
  }
  if ((only.empty() || only == "foreground") && !CompareForeground(client, runs)) {
    std::fprintf(stderr, "desktop_bench: the foreground reports did not name the fixture\n");
    return 1;
  }
  return 0;
}
