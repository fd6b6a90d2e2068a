#include "bridge/app_identity.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/text_conversion.h"
#include "tests/support/fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

int64_t HandleValue(HWND window) { return reinterpret_cast<intptr_t>(window); }

std::string Text(const EncodableMap& record, const char* key) {
  const auto found = record.find(EncodableValue(key));
  if (found == record.end() || !found->second.Holds<std::string>()) return "<missing>";
  return found->second.Get<std::string>();
}

int64_t Number(const EncodableMap& record, const char* key) {
  const auto found = record.find(EncodableValue(key));
  if (found == record.end() || !found->second.Holds<int64_t>()) return -1;
  return found->second.Get<int64_t>();
}

TEST(FileNameTest, TakesWhatFollowsTheLastSeparatorButNeverARoot) {
  EXPECT_EQ(GetFileName(L"C:\\Program Files\\Editor\\Editor.exe"), L"Editor.exe");
  EXPECT_EQ(GetFileName(L"C:/tools/mixed\\last/x.EXE"), L"x.EXE");
  EXPECT_EQ(GetFileName(L"plain.exe"), L"plain.exe");
  EXPECT_EQ(GetFileName(L"C:relative.exe"), L"relative.exe");
  EXPECT_EQ(GetFileName(L"\\\\server\\share\\app.exe"), L"app.exe");
  EXPECT_EQ(GetFileName(L"\\\\?\\C:\\long\\app.exe"), L"app.exe");
  EXPECT_EQ(GetFileName(L"C:\\folder\\"), L"");
  EXPECT_EQ(GetFileName(L"C:"), L"");
  EXPECT_EQ(GetFileName(L"C:\\"), L"");
  EXPECT_EQ(GetFileName(L"\\\\server"), L"");
  EXPECT_EQ(GetFileName(L""), L"");
}

TEST(ToLowerTest, FoldsOnlyAsciiCapitals) {
  EXPECT_EQ(ToLower(L"Code.EXE"), L"code.exe");
  EXPECT_EQ(ToLower(L"\u00C9COLE_\u0394.Exe"), L"\u00C9cole_\u0394.exe");
  EXPECT_EQ(ToLower(L"@[`{"), L"@[`{");
}

// Copies of the fixture programs under names of the test's choosing, in the prefix's temporary
// folder, removed at the end.
class AppIdentityTest : public ::testing::Test {
 protected:
  void TearDown() override {
    processes_.clear();
    for (const std::wstring& copy : copies_) DeleteFileW(copy.c_str());
    if (!folder_.empty()) RemoveDirectoryW(folder_.c_str());
  }

  std::wstring CopyFixture(const std::wstring& fixture, const std::wstring& name) {
    if (folder_.empty()) {
      wchar_t temp[MAX_PATH];
      GetTempPathW(MAX_PATH, temp);
      folder_ = std::wstring(temp) + L"keelo-identity-" + std::to_wstring(GetCurrentProcessId());
      CreateDirectoryW(folder_.c_str(), nullptr);
    }
    std::wstring copy = folder_ + L"\\" + name;
    EXPECT_TRUE(CopyFileW(FixtureExecutable(fixture).c_str(), copy.c_str(), FALSE))
        << GetLastError();
    copies_.push_back(copy);
    return copy;
  }

  FixtureProcess* Run(const std::wstring& executable, const std::wstring& title) {
    processes_.push_back(FixtureProcess::Start(executable, title));
    return processes_.back().get();
  }

  std::wstring folder_;
  std::vector<std::wstring> copies_;
  std::vector<std::unique_ptr<FixtureProcess>> processes_;
};

TEST_F(AppIdentityTest, LiveProcessIsNamedByItsImageAndFirstTranslation) {
  const std::wstring path = CopyFixture(L"fixture_versioned.exe", L"Keelo Fixture CAPS.EXE");
  FixtureProcess* app = Run(path, L"identity versioned");
  ASSERT_NE(app, nullptr);

  const EncodableMap record = BuildWindowIdentity(app->window());
  EXPECT_EQ(record.size(), 5u);
  EXPECT_EQ(Text(record, "exe"), "keelo fixture caps.exe");
  EXPECT_EQ(Text(record, "original"), "fixtureeditor.exe");
  // As the system gives it, capitals kept; Wine may spell the folders its own way.
  const std::string reported_path = Text(record, "path");
  EXPECT_EQ(CompareStringOrdinal(Utf8ToWide(reported_path).c_str(), -1, path.c_str(), -1, TRUE),
            CSTR_EQUAL)
      << reported_path;
  EXPECT_NE(reported_path.find("Keelo Fixture CAPS.EXE"), std::string::npos);
  EXPECT_EQ(Number(record, "pid"), static_cast<int64_t>(app->id()));
  EXPECT_EQ(Number(record, "hwnd"), HandleValue(app->window()));
}

TEST_F(AppIdentityTest, OriginalNameComesOnlyFromTheFirstTranslation) {
  FixtureProcess* second = Run(FixtureExecutable(L"fixture_second_translation.exe"), L"second");
  FixtureProcess* plain = Run(FixtureExecutable(L"fixture_plain.exe"), L"plain");
  ASSERT_NE(second, nullptr);
  ASSERT_NE(plain, nullptr);

  const EncodableMap second_record = BuildWindowIdentity(second->window());
  EXPECT_EQ(Text(second_record, "exe"), "fixture_second_translation.exe");
  EXPECT_EQ(Text(second_record, "original"), "");
  EXPECT_EQ(
      GetVersionString(FixtureExecutable(L"fixture_second_translation.exe"), L"FileDescription"),
      L"Keelo Fixture Deutsch");

  const EncodableMap plain_record = BuildWindowIdentity(plain->window());
  EXPECT_EQ(Text(plain_record, "exe"), "fixture_plain.exe");
  EXPECT_EQ(Text(plain_record, "original"), "");
  EXPECT_EQ(GetVersionString(FixtureExecutable(L"fixture_plain.exe"), L"OriginalFilename"), L"");
}

TEST_F(AppIdentityTest, WindowOfAnEndedProcessStillGivesAllFiveKeys) {
  FixtureProcess* app = Run(FixtureExecutable(L"fixture_versioned.exe"), L"identity ended");
  ASSERT_NE(app, nullptr);
  HWND window = app->window();
  app->Terminate();

  const EncodableMap record = BuildWindowIdentity(window);
  EXPECT_EQ(record.size(), 5u);
  EXPECT_EQ(Number(record, "pid"), 0);
  EXPECT_EQ(Text(record, "exe"), "");
  EXPECT_EQ(Text(record, "original"), "");
  EXPECT_EQ(Text(record, "path"), "");
  EXPECT_EQ(Number(record, "hwnd"), HandleValue(window));
  EXPECT_EQ(GetProcessImagePath(0), L"");
}

// The size of |file|'s version resource as stored, in bytes; 0 when it has none.
DWORD StoredVersionSize(const std::wstring& file) {
  const HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return 0;
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  const DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
  FreeLibrary(module);
  return size;
}

// The version is read into a buffer of 8 KiB first; a resource that does not fit must be read
// again whole, or the names at its end are lost.
TEST(VersionStringTest, StringsBeyondTheFirstReadingAreFound) {
  const std::wstring large = FixtureExecutable(L"fixture_large_version.dll");
  ASSERT_GT(StoredVersionSize(large), 8192u);
  EXPECT_EQ(GetVersionString(large, L"OriginalFilename"), L"LargeVersion.dll");
  EXPECT_EQ(GetVersionString(large, L"FileDescription"), L"Keelo Fixture Large Version");
  EXPECT_EQ(GetVersionString(large, L"Filler00").size(), 100u);

  const std::wstring small = FixtureExecutable(L"fixture_versioned.exe");
  ASSERT_LT(StoredVersionSize(small), 8192u);
  EXPECT_EQ(GetVersionString(small, L"OriginalFilename"), L"FixtureEditor.EXE");
  EXPECT_EQ(GetVersionString(FixtureExecutable(L"no_such_fixture.exe"), L"OriginalFilename"), L"");
}

TEST(ClassifyFrameTest, OnlyTheFrameHostsWindowsAreFramesAndTheyHostWhatIsInside) {
  EXPECT_EQ(ClassifyFrame(L"applicationframehost.exe", 0), FrameState::kWaitingForApp);
  EXPECT_EQ(ClassifyFrame(L"applicationframehost.exe", 4321), FrameState::kHostingApp);
  for (const wchar_t* name :
       {L"notepad.exe", L"", L"applicationframehost", L"xapplicationframehost.exe"}) {
    EXPECT_EQ(ClassifyFrame(name, 0), FrameState::kNoFrame);
    EXPECT_EQ(ClassifyFrame(name, 4321), FrameState::kNoFrame);
  }
}

// A packaged app's window is a child of a frame window of the application frame host; the
// identity is the hosted app's.
TEST_F(AppIdentityTest, FrameHostReportsTheProcessOfItsHostedChild) {
  const std::wstring frame_host = CopyFixture(L"fixture_plain.exe", L"ApplicationFrameHost.exe");
  FixtureProcess* frame = Run(frame_host, L"frame with app");
  FixtureProcess* hosted = Run(FixtureExecutable(L"fixture_versioned.exe"), L"hosted app");
  FixtureProcess* empty_frame = Run(frame_host, L"frame alone");
  ASSERT_NE(frame, nullptr);
  ASSERT_NE(hosted, nullptr);
  ASSERT_NE(empty_frame, nullptr);
  SetWindowLongPtrW(hosted->window(), GWL_STYLE, WS_CHILD | WS_VISIBLE);
  ASSERT_NE(SetParent(hosted->window(), frame->window()), nullptr) << GetLastError();

  EXPECT_EQ(ResolveAppProcessId(frame->window()), hosted->id());
  EXPECT_EQ(ResolveAppProcess(frame->window()).frame, FrameState::kHostingApp);
  const EncodableMap record = BuildWindowIdentity(frame->window());
  EXPECT_EQ(Text(record, "exe"), "fixture_versioned.exe");
  EXPECT_EQ(Text(record, "original"), "fixtureeditor.exe");
  EXPECT_EQ(Number(record, "pid"), static_cast<int64_t>(hosted->id()));
  EXPECT_EQ(Number(record, "hwnd"), HandleValue(frame->window()));

  EXPECT_EQ(ResolveAppProcessId(empty_frame->window()), empty_frame->id());
  EXPECT_EQ(ResolveAppProcess(empty_frame->window()).frame, FrameState::kWaitingForApp);
  EXPECT_EQ(Text(BuildWindowIdentity(empty_frame->window()), "exe"), "applicationframehost.exe");
  // Only the frame host is looked through: any other parent is its own application.
  EXPECT_EQ(ResolveAppProcessId(hosted->window()), hosted->id());
  EXPECT_EQ(ResolveAppProcess(hosted->window()).frame, FrameState::kNoFrame);
}

}  // namespace
}  // namespace keelo::testing
