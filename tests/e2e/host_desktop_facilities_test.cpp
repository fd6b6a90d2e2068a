#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/app_identifier.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/e2e/bundle_paths.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

const std::string kDesktop = std::string(kAppIdentifier) + "/desktop";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Vantrel Keelo";
constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

const Bytes kTrue = {0x00, 0x01};
const Bytes kFalse = {0x00, 0x02};

std::wstring ReadString(const wchar_t* key, const wchar_t* name) {
  wchar_t text[2048] = {};
  DWORD size = sizeof(text);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return text;
}

class HostDesktopFacilitiesTest : public HostTest {
 protected:
  // The host's reply to a call, byte for byte.
  Bytes RawReply(const std::string& method, EncodableValue arguments = EncodableValue()) {
    const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    auto reply = client_->Call(kDesktop, *message);
    EXPECT_TRUE(reply.ok()) << reply.error;
    return reply.value;
  }

  EncodableValue Value(const std::string& method,
                       const EncodableValue& arguments = EncodableValue()) {
    auto reply = client_->InvokeMethod(kDesktop, method, arguments);
    EXPECT_TRUE(reply.ok()) << reply.error;
    EXPECT_EQ(reply.value.kind, devkit::MethodReply::Kind::kSuccess) << method;
    return reply.value.value;
  }
};

TEST_F(HostDesktopFacilitiesTest, ForegroundIsTheIdentityOfTheWindowInFront) {
  StartHost(L"--minimized");
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_versioned.exe"), L"e2e front");
  ASSERT_NE(app, nullptr);
  SetForegroundWindow(app->window());
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
  const RegistryValueGuard run_value(kRunKey, kRunValue);
  run_value.Delete();
  StartHost(L"--minimized");
  EXPECT_EQ(RawReply("isPackaged"), kFalse);
  EXPECT_EQ(RawReply("getLaunchAtStartup"), kFalse);
  EXPECT_EQ(RawReply("setLaunchAtStartup", EncodableValue(EncodableMap{{"enabled", true}})), kTrue);
  const std::wstring stored = ReadString(kRunKey, kRunValue);
  const std::wstring expected = L"\"" + HostExecutable() + L"\" --minimized";
  EXPECT_EQ(CompareStringOrdinal(stored.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
      << std::string(stored.begin(), stored.end());
  EXPECT_EQ(RawReply("getLaunchAtStartup"), kTrue);
  EXPECT_EQ(RawReply("setLaunchAtStartup"), kTrue);
  EXPECT_EQ(ReadString(kRunKey, kRunValue), L"<missing>");
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

std::wstring TemporaryFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name;
}

// The Run value must start the executable it was written by, wherever that is: quoted, so that a
// folder with spaces still names the right file. (A path past MAX_PATH is tested on a library:
// Wine cannot start a process from one.)
TEST_F(HostDesktopFacilitiesTest, RunValueQuotesTheHostsPathWithSpaces) {
  const RegistryValueGuard run_value(kRunKey, kRunValue);
  const std::wstring folder = TemporaryFolder(L"keelo folder with spaces\\Keelo App");
  const BundleCopy copy(folder);
  ASSERT_TRUE(copy.complete()) << GetLastError();
  ASSERT_NO_FATAL_FAILURE(StartHost(L"--minimized", copy.directory()));
  EXPECT_EQ(RawReply("setLaunchAtStartup", EncodableValue(EncodableMap{{"enabled", true}})), kTrue);
  const std::wstring stored = ReadString(kRunKey, kRunValue);
  const std::wstring expected = L"\"" + folder + L"\\keelo_app.exe\" --minimized";
  EXPECT_EQ(CompareStringOrdinal(stored.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
      << std::string(stored.begin(), stored.end());
  AskHostToQuit(window_);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
}

}  // namespace
}  // namespace keelo::testing
