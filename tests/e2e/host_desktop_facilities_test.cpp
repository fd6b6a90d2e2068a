#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/text_conversion.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/e2e/bundle_paths.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/host_bundle.h"
#include "tests/support/host_names.h"
#include "tests/support/registry_text.h"
#include "tests/support/registry_value_guard.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

const Bytes kTrue = {0x00, 0x01};
const Bytes kFalse = {0x00, 0x02};

std::wstring ReadString(const wchar_t* key, const wchar_t* name) {
  return ReadRegistryText(HKEY_CURRENT_USER, key, name).value_or(L"<missing>");
}

class HostDesktopFacilitiesTest : public HostTest {
 protected:
  // The host's reply to a call, byte for byte.
  Bytes RawReply(const std::string& method, EncodableValue arguments = EncodableValue()) {
    const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    auto reply = client_->Call(kDesktopChannel, *message);
    EXPECT_TRUE(reply.ok()) << reply.error;
    return reply.value;
  }

  EncodableValue Value(const std::string& method,
                       const EncodableValue& arguments = EncodableValue()) {
    auto reply = client_->InvokeMethod(kDesktopChannel, method, arguments);
    EXPECT_TRUE(reply.ok()) << reply.error;
    EXPECT_EQ(reply.value.kind, devkit::MethodReply::Kind::kSuccess) << method;
    return reply.value.value;
  }
};

TEST_F(HostDesktopFacilitiesTest, ForegroundIsTheIdentityOfTheWindowInFront) {
  StartHost(L"--minimized");
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_versioned.exe"), L"e2e front");
  ASSERT_NE(app, nullptr);
  // Wine activates another process's window through that process's message queue, so the
  // change shows only once the other process has handled it.
  SetForegroundWindow(app->window());
  WaitUntil([&] { return GetForegroundWindow() == app->window(); }, 2000);
  ASSERT_EQ(GetForegroundWindow(), app->window());

  const EncodableValue identity = Value("getForeground");
  ASSERT_TRUE(identity.Holds<EncodableMap>());
  const EncodableMap& record = identity.Get<EncodableMap>();
  EXPECT_EQ(record.size(), 5u);
  EXPECT_EQ(record.at(EncodableValue("exe")), EncodableValue("fixture_versioned.exe"));
  EXPECT_EQ(record.at(EncodableValue("original")), EncodableValue("fixtureeditor.exe"));
  EXPECT_EQ(record.at(EncodableValue("pid")), EncodableValue(static_cast<int64_t>(app->id())));
  EXPECT_EQ(record.at(EncodableValue("hwnd")),
            EncodableValue(static_cast<int64_t>(reinterpret_cast<intptr_t>(app->window()))));
}

TEST_F(HostDesktopFacilitiesTest, StartupMethodsWriteTheRunValueOfThisExecutable) {
  const RegistryValueGuard run_value(kRunKeyPath, kRunValueName);
  run_value.Delete();
  StartHost(L"--minimized");
  EXPECT_EQ(RawReply("isPackaged"), kFalse);
  EXPECT_EQ(RawReply("getLaunchAtStartup"), kFalse);
  EXPECT_EQ(RawReply("setLaunchAtStartup", EncodableValue(EncodableMap{{"enabled", true}})), kTrue);
  const std::wstring stored = ReadString(kRunKeyPath, kRunValueName);
  const std::wstring expected = L"\"" + HostExecutable() + L"\" --minimized";
  EXPECT_EQ(CompareStringOrdinal(stored.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
      << std::string(stored.begin(), stored.end());
  EXPECT_EQ(RawReply("getLaunchAtStartup"), kTrue);
  EXPECT_EQ(RawReply("setLaunchAtStartup"), kTrue);
  EXPECT_EQ(ReadString(kRunKeyPath, kRunValueName), L"<missing>");
}

TEST_F(HostDesktopFacilitiesTest, ProxyIsSetReadAndPutBackWhenTheHostEnds) {
  const RegistryValueGuard enable(kInternetSettings, L"ProxyEnable");
  const RegistryValueGuard server(kInternetSettings, L"ProxyServer");
  StartHost(L"--minimized");
  ASSERT_EQ(
      RawReply("setProxy", EncodableValue(EncodableMap{{"flags", 1}, {"server", "before:1"}})),
      kTrue);
  EXPECT_EQ(Value("getProxy"),
            EncodableValue(EncodableMap{
                {"flags", int64_t{1}}, {"server", "before:1"}, {"bypass", ""}, {"pac", ""}}));

  EXPECT_EQ(RawReply("setProxy", EncodableValue(EncodableMap{
                                     {"flags", 1},
                                     {"server", "during:2"},
                                     {"restoreOnExit", EncodableMap{{"server", "before:1"}}}})),
            kTrue);
  EXPECT_EQ(ReadString(kInternetSettings, L"ProxyServer"), L"during:2");

  AskHostToQuit(window_);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  EXPECT_EQ(ReadString(kInternetSettings, L"ProxyServer"), L"before:1");
}

// The user quits while the app picker loads: the scan runs off the host's UI thread, which must
// neither wait for it nor be ended by it. The catalogue may or may not be answered first.
TEST_F(HostDesktopFacilitiesTest, QuitDuringACatalogueScanEndsWithZeroAndPutsTheProxyBack) {
  const RegistryValueGuard enable(kInternetSettings, L"ProxyEnable");
  const RegistryValueGuard server(kInternetSettings, L"ProxyServer");
  StartHost(L"--minimized");
  ASSERT_EQ(RawReply("setProxy", EncodableValue(EncodableMap{
                                     {"flags", 1},
                                     {"server", "during:3"},
                                     {"restoreOnExit", EncodableMap{{"server", "before:3"}}}})),
            kTrue);
  std::thread picker([this] { client_->InvokeMethod(kDesktopChannel, "listApps"); });
  Sleep(20);
  AskHostToQuit(window_);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  picker.join();
  EXPECT_EQ(ReadString(kInternetSettings, L"ProxyServer"), L"before:3");
}

std::wstring TemporaryFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name;
}

// The Run value must start the executable it was written by, wherever that is: quoted, so that a
// folder with spaces still names the right file. (A path past MAX_PATH is tested on a library:
// Wine cannot start a process from one.)
TEST_F(HostDesktopFacilitiesTest, RunValueQuotesTheHostsPathWithSpaces) {
  const RegistryValueGuard run_value(kRunKeyPath, kRunValueName);
  const std::wstring folder = TemporaryFolder(L"keelo folder with spaces\\Keelo App");
  const BundleCopy copy(folder);
  ASSERT_TRUE(copy.complete()) << GetLastError();
  ASSERT_NO_FATAL_FAILURE(StartHost(L"--minimized", copy.directory()));
  EXPECT_EQ(RawReply("setLaunchAtStartup", EncodableValue(EncodableMap{{"enabled", true}})), kTrue);
  const std::wstring stored = ReadString(kRunKeyPath, kRunValueName);
  const std::wstring expected = L"\"" + HostIn(folder) + L"\" --minimized";
  EXPECT_EQ(CompareStringOrdinal(stored.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
      << std::string(stored.begin(), stored.end());
  AskHostToQuit(window_);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
}

std::string Text(const EncodableMap& record, const char* key) {
  const auto found = record.find(EncodableValue(key));
  if (found == record.end() || !found->second.Holds<std::string>()) return "<missing>";
  return found->second.Get<std::string>();
}

// The big-endian 32-bit number at |offset| of a PNG file: IHDR's width is at 16, its height at 20.
uint32_t PngNumber(const Bytes& png, size_t offset) {
  return (uint32_t{png[offset]} << 24) | (uint32_t{png[offset + 1]} << 16) |
         (uint32_t{png[offset + 2]} << 8) | uint32_t{png[offset + 3]};
}

TEST_F(HostDesktopFacilitiesTest, CatalogueAndIconsAnswerInTheStandardEncoding) {
  const ScopedComApartment apartment;
  CreatedFiles files;
  const std::wstring editor = FixtureExecutable(L"fixture_versioned.exe");
  const std::wstring shortcut = KnownFolderPath(FOLDERID_Programs) + L"\\Keelo E2E Editor.lnk";
  ASSERT_TRUE(files.Shortcut(shortcut, editor));
  StartHost(L"--minimized");

  // The success envelope, then a list (tag 12) and a map (tag 13).
  const Bytes apps_bytes = RawReply("listApps");
  ASSERT_GE(apps_bytes.size(), 2u);
  EXPECT_EQ(apps_bytes[0], 0x00);
  EXPECT_EQ(apps_bytes[1], 0x0C);
  const EncodableValue apps = Value("listApps");
  ASSERT_TRUE(apps.Holds<flutter::EncodableList>());
  int found = 0;
  for (const EncodableValue& entry : apps.Get<flutter::EncodableList>()) {
    const EncodableMap& record = entry.Get<EncodableMap>();
    EXPECT_EQ(record.size(), 4u);
    if (Text(record, "exe") != "fixture_versioned.exe") continue;
    ++found;
    EXPECT_EQ(Text(record, "name"), "Keelo E2E Editor");
    EXPECT_EQ(Text(record, "path"), WideToUtf8(editor));
    EXPECT_EQ(Text(record, "icon"), WideToUtf8(shortcut));
  }
  EXPECT_EQ(found, 1);

  const EncodableValue request(EncodableMap{
      {"size", 48},
      {"items", EncodableMap{{"editor", WideToUtf8(editor)}, {"shortcut", WideToUtf8(shortcut)}}}});
  const Bytes icons_bytes = RawReply("getIcons", request);
  ASSERT_GE(icons_bytes.size(), 3u);
  EXPECT_EQ(icons_bytes[0], 0x00);
  EXPECT_EQ(icons_bytes[1], 0x0D);
  EXPECT_EQ(icons_bytes[2], 2);
  const EncodableValue icons = Value("getIcons", request);
  ASSERT_TRUE(icons.Holds<EncodableMap>());
  for (const char* key : {"editor", "shortcut"}) {
    const auto image = icons.Get<EncodableMap>().find(EncodableValue(key));
    ASSERT_NE(image, icons.Get<EncodableMap>().end()) << key;
    // A byte list (tag 8) arrives as bytes.
    ASSERT_TRUE(image->second.Holds<Bytes>()) << key;
    const Bytes& png = image->second.Get<Bytes>();
    ASSERT_GT(png.size(), 24u) << key;
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 8),
              (Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        << key;
    EXPECT_EQ(PngNumber(png, 16), 48u) << key;
    EXPECT_EQ(PngNumber(png, 20), 48u) << key;
  }
}

}  // namespace
}  // namespace keelo::testing
