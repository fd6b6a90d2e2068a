#include "bridge/startup_entry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/app_paths.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;

// The Run value as stored: its type, its text and its size in bytes.
struct RunValue {
  DWORD type = REG_NONE;
  std::wstring text;
  DWORD size = 0;
};

std::optional<RunValue> ReadRunValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RunValue value;
  std::vector<wchar_t> data(4096);
  value.size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  const LSTATUS status = RegQueryValueExW(key, kRunValueName, nullptr, &value.type,
                                          reinterpret_cast<BYTE*>(data.data()), &value.size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  value.text = data.data();
  return value;
}

TEST(RunValueDataTest, QuotesThePathSoThatSpacesStartTheRightFile) {
  EXPECT_EQ(RunValueData(L"C:\\Apps\\keelo_app.exe"), L"\"C:\\Apps\\keelo_app.exe\" --minimized");
  EXPECT_EQ(RunValueData(L"C:\\Program Files\\Keelo\\keelo_app.exe"),
            L"\"C:\\Program Files\\Keelo\\keelo_app.exe\" --minimized");
}

TEST(ModuleFilePathTest, IsTheWholePathHoweverLong) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  EXPECT_EQ(ModuleFilePath(nullptr), std::wstring(path));

  // Wine cannot start a process from a path past MAX_PATH (CreateProcessW gives
  // ERROR_FILE_NOT_FOUND, in the extended form too), but it loads a library from one.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::vector<std::wstring> folders = {std::wstring(temp) + L"keelo long module path"};
  while (folders.back().size() < 400) {
    folders.push_back(folders.back() + L"\\a folder name of some forty characters");
  }
  for (const std::wstring& folder : folders) CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring module_path = folders.back() + L"\\fixture_module.dll";
  ASSERT_TRUE(
      CopyFileW(FixtureExecutable(L"fixture_module.dll").c_str(), module_path.c_str(), FALSE))
      << GetLastError();
  HMODULE module = LoadLibraryW(module_path.c_str());
  EXPECT_NE(module, nullptr) << GetLastError();
  if (module != nullptr) {
    const std::optional<std::wstring> loaded_from = ModuleFilePath(module);
    ASSERT_TRUE(loaded_from.has_value());
    EXPECT_GT(loaded_from->size(), 400u);
    EXPECT_EQ(CompareStringOrdinal(loaded_from->c_str(), -1, module_path.c_str(), -1, TRUE),
              CSTR_EQUAL);
    FreeLibrary(module);
  }
  DeleteFileW(module_path.c_str());
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    RemoveDirectoryW(folder->c_str());
  }
}

// The 12 bytes Task Manager and Settings write: a flag word, then the time of the switch.
std::vector<uint8_t> Approval(uint8_t flag) {
  return {flag, 0, 0, 0, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0x01};
}

std::optional<std::vector<uint8_t>> ReadApproval() {
  std::vector<uint8_t> data(64);
  DWORD size = static_cast<DWORD>(data.size());
  if (RegGetValueW(HKEY_CURRENT_USER, kStartupApprovedKeyPath, kRunValueName, RRF_RT_ANY, nullptr,
                   data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(size);
  return data;
}

TEST(StartupApprovalTest, AnOddFirstByteSwitchesTheEntryOff) {
  for (const uint8_t off : {0x01, 0x03, 0x07}) EXPECT_TRUE(StartupApprovalDisables(Approval(off)));
  for (const uint8_t on : {0x00, 0x02, 0x06}) EXPECT_FALSE(StartupApprovalDisables(Approval(on)));
  EXPECT_FALSE(StartupApprovalDisables({}));
}

// In the test prefix's real registry, put back as it was afterwards.
class LaunchAtStartupTest : public BridgeTest {
 protected:
  RegistryValueGuard run_value_{kRunKeyPath, kRunValueName};
  RegistryValueGuard approval_{kStartupApprovedKeyPath, kRunValueName};
};

TEST_F(LaunchAtStartupTest, AnEntrySwitchedOffInTaskManagerIsOffUntilTheUserTurnsItOnHere) {
  approval_.Delete();
  ASSERT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", true}}), kTrue);
  // Switched on by the system (or by the user, there): the approval is the user's and stays.
  ASSERT_EQ(approval_.SetBinary(Approval(0x02)), ERROR_SUCCESS);
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kTrue);
  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", true}}), kTrue);
  EXPECT_EQ(ReadApproval(), Approval(0x02));

  for (const uint8_t off : {0x03, 0x07}) {
    ASSERT_EQ(approval_.SetBinary(Approval(off)), ERROR_SUCCESS);
    EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kFalse) << int{off};
    EXPECT_TRUE(ReadRunValue().has_value()) << "the Run value is only switched off, not gone";
    EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", true}}), kTrue);
    EXPECT_EQ(ReadApproval(), std::nullopt);
    EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kTrue);
  }

  // Off removes both: a switch left behind would turn a later Run value off unseen.
  ASSERT_EQ(approval_.SetBinary(Approval(0x02)), ERROR_SUCCESS);
  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", false}}), kTrue);
  EXPECT_FALSE(ReadRunValue().has_value());
  EXPECT_EQ(ReadApproval(), std::nullopt);
}

TEST_F(LaunchAtStartupTest, EnableWritesTheQuotedPathAndDisableDeletesIt) {
  run_value_.Delete();
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kFalse);

  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", true}}), kTrue);
  const std::optional<RunValue> value = ReadRunValue();
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  const std::wstring expected = L"\"" + ModuleFilePath(nullptr).value() + L"\" --minimized";
  EXPECT_EQ(value->text, expected);
  // The terminating NUL is part of the stored size.
  EXPECT_EQ(value->size, (expected.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kTrue);

  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", false}}), kTrue);
  EXPECT_FALSE(ReadRunValue().has_value());
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kFalse);
  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", false}}), kTrue);
}

TEST_F(LaunchAtStartupTest, AnythingButTrueDisables) {
  for (const flutter::EncodableValue& arguments :
       {flutter::EncodableValue(), flutter::EncodableValue(EncodableMap{{"enabled", 1}}),
        flutter::EncodableValue(EncodableList{"enabled", true})}) {
    ASSERT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", true}}), kTrue);
    EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", arguments), kTrue);
    EXPECT_FALSE(ReadRunValue().has_value());
  }
}

TEST_F(LaunchAtStartupTest, OnlyAStringValueCountsAsEnabled) {
  ASSERT_EQ(run_value_.SetDword(1), ERROR_SUCCESS);
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kFalse);
  const wchar_t other_copy[] = L"\"D:\\Elsewhere\\keelo_app.exe\" --minimized";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, other_copy,
                            sizeof(other_copy)),
            ERROR_SUCCESS);
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kTrue);
}

TEST_F(LaunchAtStartupTest, PackagedProcessNeverUsesTheRunKey) {
  EXPECT_EQ(Call(kDesktopChannel, "isPackaged"), kFalse);
  int asked = 0;
  system_->is_packaged = [&] {
    ++asked;
    return true;
  };
  EXPECT_EQ(Call(kDesktopChannel, "isPackaged"), kTrue);

  const wchar_t present[] = L"\"C:\\Apps\\keelo_app.exe\" --minimized";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, present,
                            sizeof(present)),
            ERROR_SUCCESS);
  EXPECT_EQ(Call(kDesktopChannel, "getLaunchAtStartup"), kFalse);
  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", false}}), kFalse);
  EXPECT_EQ(Call(kDesktopChannel, "setLaunchAtStartup", EncodableMap{{"enabled", true}}), kFalse);
  ASSERT_TRUE(ReadRunValue().has_value());
  EXPECT_EQ(ReadRunValue()->text, present);
  EXPECT_EQ(asked, 4);
}

}  // namespace
}  // namespace keelo::testing
