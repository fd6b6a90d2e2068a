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

#include "bench/desktop_scene.h"
#include "bridge/app_catalog.h"
#include "bridge/app_identifier.h"
#include "bridge/desktop_bridge.h"
#include "bridge/folder_listing.h"
#include "bridge/foreground_watcher.h"
#include "bridge/system_calls.h"
#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "devkit/engine/messenger.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/support/fixtures.h"
#include "tests/support/shell_fixtures.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using keelo::bench::DesktopScene;
using keelo::testing::FixtureExecutable;
using keelo::testing::FixtureProcess;

constexpr int kIconSize = 96;
constexpr int kWarmUps = 3;
// Foreground reports per timed run: one takes about a millisecond under Wine, too little to
// time alone against the clock's and the scheduler's noise.
constexpr int kReportsPerRun = 20;
constexpr DWORD kImagePathCapacity = 520;
// The longest a call waits for the shell worker's reply before it counts as failed.
constexpr DWORD kReplyTimeoutMs = 60000;

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

  // The size of the reply; 0 means the call failed.
  size_t Call(const std::string& method, EncodableValue arguments) {
    const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    // Shared with the engine's task rather than on this frame: a reply that comes after this
    // call has given up must not land in the frame of the next one.
    const auto reply_size = std::make_shared<std::optional<size_t>>();
    engine_->SendToHost(
        desktop_channel_, *message,
        [reply_size](const FlutterDesktopMessenger::Bytes& reply) { *reply_size = reply.size(); });
    engine_->RunPendingTasks();
    // The catalogue and the icons are answered from the shell worker: its value arrives through
    // this thread's messages, and the engine then hands the reply over as a task of its own.
    const DWORD start = GetTickCount();
    while (!reply_size->has_value() && GetTickCount() - start < kReplyTimeoutMs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG pending;
      while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&pending);
      engine_->RunPendingTasks();
    }
    return reply_size->value_or(0);
  }

 private:
  const std::string desktop_channel_ = kDesktopChannel;
  FlutterDesktopMessenger* engine_;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger_;
  std::unique_ptr<DesktopBridge> bridge_;
  std::vector<std::string> reported_originals_;
};

// The least a catalogue must do: load every shortcut and read its target.
size_t LoadShortcuts(const std::vector<std::wstring>& shortcuts) {
  size_t characters = 0;
  for (const std::wstring& shortcut : shortcuts) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put_void()))) {
      continue;
    }
    const ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
    if (!file || FAILED(file->Load(shortcut.c_str(), STGM_READ))) continue;
    wchar_t target[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    characters += std::wcslen(target);
  }
  return characters;
}

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
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  const ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  wchar_t path[kImagePathCapacity];
  DWORD path_size = kImagePathCapacity;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &path_size)) return 0;
  const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  if (size == 0) return 0;
  std::vector<uint8_t> block(size);
  void* translation = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translation, &length) ||
      length < 4) {
    return 0;
  }
  WORD language_and_code_page[2];
  std::memcpy(language_and_code_page, translation, sizeof(language_and_code_page));
  wchar_t sub_block[128];
  std::swprintf(sub_block, 128, L"\\StringFileInfo\\%04x%04x\\OriginalFilename",
                language_and_code_page[0], language_and_code_page[1]);
  void* text = nullptr;
  if (!VerQueryValueW(block.data(), sub_block, &text, &length)) return 0;
  return std::wcslen(static_cast<const wchar_t*>(text));
}

void Report(const char* what, const Comparison& comparison) {
  std::printf("%-40s host %9.2f ms   bare loop %9.2f ms   ratio %.2f\n", what, comparison.host_ms,
              comparison.bare_ms, comparison.host_ms / comparison.bare_ms);
}

// Each method's comparison prints its line; false when a side produced nothing, which would
// make its time meaningless.
bool CompareListApps(const DesktopScene& scene, BridgeClient& client, int runs) {
  // The smallest reply of all runs: one failed call makes the host's time meaningless.
  size_t host_reply = std::numeric_limits<size_t>::max();
  size_t bare_characters = 0;
  const Comparison comparison =
      Compare([&] { host_reply = std::min(host_reply, client.Call("listApps", EncodableValue())); },
              [&] { bare_characters = LoadShortcuts(scene.shortcuts()); }, runs);
  if (host_reply == 0 || bare_characters == 0) return false;
  Report("listApps, 300 shortcuts and 20 windows", comparison);
  // Where the host's time goes: the Start menu's walk with its shortcuts, and the window pass.
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
  std::printf("  of which the walk with its shortcuts %.2f ms, the window pass %.2f ms\n",
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
  const Comparison comparison =
      Compare([&] { host_reply = std::min(host_reply, client.Call("getIcons", arguments)); },
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
