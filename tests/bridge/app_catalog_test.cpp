#include "bridge/app_catalog.h"

#include <dwmapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/folder_listing.h"
#include "bridge/system_calls.h"
#include "bridge/window_cloaking.h"
#include "common/text_conversion.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

TEST(ShortcutStemTest, OnlyALnkExtensionInAnyCaseMakesAShortcut) {
  EXPECT_EQ(ShortcutStem(L"Editor.lnk"), L"Editor");
  EXPECT_EQ(ShortcutStem(L"Editor.LNK"), L"Editor");
  EXPECT_EQ(ShortcutStem(L"My.Editor.Lnk"), L"My.Editor");
  EXPECT_EQ(ShortcutStem(L"..lnk"), L".");
  EXPECT_EQ(ShortcutStem(L".lnk"), std::nullopt);
  EXPECT_EQ(ShortcutStem(L"Editor.lnk.txt"), std::nullopt);
  EXPECT_EQ(ShortcutStem(L"Editor"), std::nullopt);
  EXPECT_EQ(ShortcutStem(L"Editor.lnk "), std::nullopt);
  EXPECT_EQ(ShortcutStem(L".."), std::nullopt);
}

TEST(ExcludedShortcutNameTest, EveryWordInAnyCaseAndInsideLongerWords) {
  for (const wchar_t* stem :
       {L"Uninstall Foo", L"Foo Setup", L"README", L"Foo Help", L"Foo Helpdesk", L"Foo Website",
        L"Foo DOCUMENTATION", L"User Manual", L"Release Notes", L"LICENSE", L"Unsupported",
        L"Repair Foo", L"Foo (Reset Preferences)", L"Foo Safe Mode", L"sEtUpFoo"}) {
    EXPECT_TRUE(IsExcludedShortcutName(stem)) << WideToUtf8(stem);
  }
  for (const wchar_t* stem : {L"Foo", L"Hel p", L"Release  Notes", L"Safemode", L"Set up"}) {
    EXPECT_FALSE(IsExcludedShortcutName(stem)) << WideToUtf8(stem);
  }
}

TEST(ShortcutExecutableTest, TargetsThatAreExecutablesInAnyCase) {
  const auto app = ShortcutExecutable(L"C:\\Tools\\Code.EXE", L"--new-window");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->exe, L"code.exe");
  EXPECT_EQ(app->path, L"C:\\Tools\\Code.EXE");
  // Kept as stored: Wine cannot store such a target (it saves it as a relative path), so this
  // case is checked here only.
  const auto unexpanded = ShortcutExecutable(L"%windir%\\Notepad.exe", L"");
  ASSERT_TRUE(unexpanded);
  EXPECT_EQ(unexpanded->exe, L"notepad.exe");
  EXPECT_EQ(unexpanded->path, L"%windir%\\Notepad.exe");
  EXPECT_EQ(ShortcutExecutable(L"C:\\Tools\\.exe", L""), std::nullopt);
  EXPECT_EQ(ShortcutExecutable(L"C:\\Docs\\manual.pdf", L""), std::nullopt);
  EXPECT_EQ(ShortcutExecutable(L"", L""), std::nullopt);
  EXPECT_EQ(ShortcutExecutable(L"C:\\Tools\\", L""), std::nullopt);
  // Only the launcher's switch counts; another program keeps its own name.
  EXPECT_EQ(ShortcutExecutable(L"C:\\a\\other.exe", L"--processStart foo.exe")->exe, L"other.exe");
}

TEST(ShortcutExecutableTest, LauncherStandsForTheApplicationItStarts) {
  const std::wstring launcher = L"C:\\Users\\me\\AppData\\Local\\Chat\\Update.exe";
  const auto app = ShortcutExecutable(launcher, L"--processStart \"Chat.exe\"");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->exe, L"chat.exe");
  EXPECT_EQ(app->path, L"");
  EXPECT_EQ(ShortcutExecutable(launcher, L"--PROCESSSTART   Chat.exe --flag")->exe, L"chat.exe");
  EXPECT_EQ(ShortcutExecutable(launcher, L"-a --processstart\"chat.exe\"")->exe, L"chat.exe");
  // A tab is no separator: the name runs on to the next space.
  EXPECT_EQ(ShortcutExecutable(launcher, L"--processstart a.exe\tb.exe")->exe, L"a.exe\tb.exe");

  EXPECT_EQ(ShortcutExecutable(launcher, L"--processStart \"Chat App.exe\""), std::nullopt);
  EXPECT_EQ(ShortcutExecutable(launcher, L"--processStartAndWait chat.exe"), std::nullopt);
  EXPECT_EQ(ShortcutExecutable(launcher, L"--processStart"), std::nullopt);
  EXPECT_EQ(ShortcutExecutable(launcher, L"--processStart  \" \" "), std::nullopt);

  const auto itself = ShortcutExecutable(launcher, L"--update https://example.invalid");
  ASSERT_TRUE(itself);
  EXPECT_EQ(itself->exe, L"update.exe");
  EXPECT_EQ(itself->path, launcher);
}

TEST(MergeShortcutAppTest, FirstShortcutKeepsItsRecordAndAShorterStemNamesIt) {
  AppCatalog catalog;
  MergeShortcutApp(catalog, {L"ed.exe", L"C:\\one\\Ed.exe"}, L"Editor Pro", L"P:\\Editor Pro.lnk");
  MergeShortcutApp(catalog, {L"ed.exe", L"C:\\two\\ed.exe"}, L"Editor Max", L"P:\\Editor Max.lnk");
  ASSERT_EQ(catalog.size(), 1u);
  EXPECT_EQ(catalog[L"ed.exe"].name, L"Editor Pro");
  MergeShortcutApp(catalog, {L"ed.exe", L"C:\\three\\ed.exe"}, L"Editor", L"P:\\Editor.lnk");
  const AppRecord& record = catalog[L"ed.exe"];
  EXPECT_EQ(record.exe, L"ed.exe");
  EXPECT_EQ(record.name, L"Editor");
  EXPECT_EQ(record.path, L"C:\\one\\Ed.exe");
  EXPECT_EQ(record.icon, L"P:\\Editor Pro.lnk");
}

TEST(FolderEntryTest, LinksAndJunctionsAreNotEntered) {
  const DWORD directory = FILE_ATTRIBUTE_DIRECTORY;
  const DWORD reparse = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsFolderToEnter({L"Tools", directory, 0}));
  EXPECT_FALSE(IsFolderToEnter({L"a.lnk", FILE_ATTRIBUTE_ARCHIVE, 0}));
  EXPECT_FALSE(IsFolderToEnter({L"Link", reparse, IO_REPARSE_TAG_SYMLINK}));
  EXPECT_FALSE(IsFolderToEnter({L"Junction", reparse, IO_REPARSE_TAG_MOUNT_POINT}));
  EXPECT_TRUE(IsFolderToEnter({L"Cloud", reparse, IO_REPARSE_TAG_DEDUP}));
}

std::string Field(const EncodableMap& entry, const char* key) {
  const auto found = entry.find(EncodableValue(key));
  if (found == entry.end() || !found->second.Holds<std::string>()) return "<missing>";
  return found->second.Get<std::string>();
}

TEST(AppCatalogToListTest, FourStringsPerEntryInUtf16OrderAndInvalidTextEmpty) {
  AppCatalog catalog;
  // In UTF-16 a surrogate (D83D) sorts before U+FF41, unlike in UTF-8 or by code point.
  for (const std::wstring& exe :
       {std::wstring(L"\uFF41.exe"), std::wstring(L"\U0001F600.exe"), std::wstring(L"b.exe"),
        std::wstring(L"_.exe"), std::wstring(L"ab.exe"), std::wstring(L"a.exe")}) {
    catalog[exe] = AppRecord{exe, L"Name", L"C:\\" + exe, L"C:\\icon"};
  }
  catalog[L"b.exe"].path = std::wstring(L"C:\\bad\xD800.exe");
  const EncodableList list = AppCatalogToList(catalog);
  std::vector<std::string> order;
  for (const EncodableValue& element : list) {
    ASSERT_TRUE(element.Holds<EncodableMap>());
    const EncodableMap& entry = element.Get<EncodableMap>();
    EXPECT_EQ(entry.size(), 4u);
    for (const char* key : {"exe", "name", "path", "icon"}) {
      EXPECT_NE(Field(entry, key), "<missing>") << key;
    }
    order.push_back(Field(entry, "exe"));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"_.exe", "a.exe", "ab.exe", "b.exe",
                                             "\xF0\x9F\x98\x80.exe", "\xEF\xBD\x81.exe"}));
  EXPECT_EQ(Field(list[3].Get<EncodableMap>(), "path"), "");
  EXPECT_EQ(Field(list[3].Get<EncodableMap>(), "name"), "Name");
}

struct Record {
  std::string name;
  std::string path;
  std::string icon;
};

// The catalogue through the bridge, with the Start menu's Programs folders of the prefix and
// fixture programs of the test's own. What the prefix holds besides (its own windows) is left
// out of every expectation.
class AppCatalogTest : public BridgeTest {
 protected:
  AppCatalogTest()
      : user_programs_(KnownFolderPath(FOLDERID_Programs)),
        common_programs_(KnownFolderPath(FOLDERID_CommonPrograms)) {}

  void SetUp() override {
    ASSERT_FALSE(user_programs_.empty());
    ASSERT_FALSE(common_programs_.empty());
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    programs_folder_ =
        std::wstring(temp) + L"keelo-catalog-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(files_.Folder(programs_folder_)) << GetLastError();
  }

  // "listApps" as the UI application gets it, by "exe".
  std::map<std::string, Record> ListApps() {
    std::map<std::string, Record> records;
    const std::optional<EncodableValue> reply = CallForValue(kDesktopChannel, "listApps");
    if (!reply || !reply->Holds<EncodableList>()) {
      ADD_FAILURE() << "listApps did not reply with a list";
      return records;
    }
    std::string previous;
    for (const EncodableValue& element : reply->Get<EncodableList>()) {
      const EncodableMap* entry = element.GetIf<EncodableMap>();
      if (entry == nullptr || entry->size() != 4) {
        ADD_FAILURE() << "an entry is not a map of four";
        continue;
      }
      const std::string exe = Field(*entry, "exe");
      // Byte order of UTF-8 is UTF-16 order for the names the tests use.
      EXPECT_LT(previous, exe);
      previous = exe;
      records[exe] = Record{Field(*entry, "name"), Field(*entry, "path"), Field(*entry, "icon")};
    }
    return records;
  }

  // A shortcut under |folder|; its full path.
  std::wstring Shortcut(const std::wstring& folder, const std::wstring& name,
                        const std::wstring& target, const std::wstring& arguments = L"") {
    std::wstring path = folder + L"\\" + name;
    EXPECT_TRUE(files_.Shortcut(path, target, arguments)) << WideToUtf8(path);
    return path;
  }

  // A copy of a fixture program named |name|, so that the catalogue sees an executable that no
  // other test runs.
  std::wstring CopyFixture(const std::wstring& fixture, const std::wstring& name) {
    std::wstring path = programs_folder_ + L"\\" + name;
    EXPECT_TRUE(files_.Copy(FixtureExecutable(fixture), path)) << GetLastError();
    return path;
  }

  FixtureProcess* Run(const std::wstring& executable, const std::wstring& kind = L"") {
    processes_.push_back(FixtureProcess::Start(executable, L"catalogue window", kind));
    return processes_.back().get();
  }

  ScopedComApartment apartment_;
  const std::wstring user_programs_;
  const std::wstring common_programs_;
  std::wstring programs_folder_;
  // Before the processes, so that a copy is deleted only once its process has ended.
  CreatedFiles files_;
  std::vector<std::unique_ptr<FixtureProcess>> processes_;
};

std::string U8(const std::wstring& text) { return WideToUtf8(text); }

TEST_F(AppCatalogTest, FirstShortcutGivesTheRecordAndTheShorterStemTheName) {
  const std::wstring user_first =
      Shortcut(user_programs_, L"Keelo Twin Editor.lnk", L"C:\\User Side\\KeeloTwin.exe");
  Shortcut(common_programs_, L"Keelo Twin.lnk", L"C:\\Common Side\\keelotwin.exe");
  Shortcut(common_programs_, L"KeeloTwin Ed.lnk", L"C:\\Common Side\\keelotwin.exe");

  // Equal stems within one folder: which is first is the folder's enumeration order.
  ASSERT_TRUE(files_.Folder(user_programs_ + L"\\Keelo Pair"));
  const std::wstring pair = user_programs_ + L"\\Keelo Pair";
  Shortcut(pair, L"Pair One.lnk", L"C:\\One\\keelopair.exe");
  Shortcut(pair, L"Pair Two.lnk", L"C:\\Two\\keelopair.exe");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(SystemCalls::Real().list_folder(pair, entries));
  ASSERT_EQ(entries.size(), 2u);
  const bool one_first = entries[0].name == L"Pair One.lnk";

  const std::map<std::string, Record> apps = ListApps();
  ASSERT_EQ(apps.count("keelotwin.exe"), 1u);
  const Record& twin = apps.at("keelotwin.exe");
  EXPECT_EQ(twin.name, "Keelo Twin");
  EXPECT_EQ(twin.path, "C:\\User Side\\KeeloTwin.exe");
  EXPECT_EQ(twin.icon, U8(user_first));

  ASSERT_EQ(apps.count("keelopair.exe"), 1u);
  const Record& pair_record = apps.at("keelopair.exe");
  EXPECT_EQ(pair_record.name, one_first ? "Pair One" : "Pair Two");
  EXPECT_EQ(pair_record.path, one_first ? "C:\\One\\keelopair.exe" : "C:\\Two\\keelopair.exe");
  EXPECT_EQ(pair_record.icon, U8(pair + (one_first ? L"\\Pair One.lnk" : L"\\Pair Two.lnk")));
}

TEST_F(AppCatalogTest, ExcludedNamesAndNamesWithoutALnkExtensionAreLeftOut) {
  const std::vector<std::wstring> excluded = {
      L"UNINSTALL Keelo", L"Keelo sEtUp",         L"ReadMe",       L"Keelo HelpDesk",
      L"Keelo Website",   L"Keelo Documentation", L"Keelo Manual", L"Keelo Release NOTES",
      L"License",         L"Unsupported",         L"Repair",       L"Keelo (Reset Preferences)",
      L"Keelo Safe Mode"};
  for (size_t i = 0; i < excluded.size(); ++i) {
    Shortcut(user_programs_, excluded[i] + L".lnk",
             L"C:\\Tools\\keeloexcluded" + std::to_wstring(i) + L".exe");
  }
  Shortcut(user_programs_, L"Keelo Capitals.LNK", L"C:\\Tools\\keelocapitals.exe");
  Shortcut(user_programs_, L".lnk", L"C:\\Tools\\keelonameless.exe");

  const std::map<std::string, Record> apps = ListApps();
  for (size_t i = 0; i < excluded.size(); ++i) {
    EXPECT_EQ(apps.count("keeloexcluded" + std::to_string(i) + ".exe"), 0u) << U8(excluded[i]);
  }
  ASSERT_EQ(apps.count("keelocapitals.exe"), 1u);
  EXPECT_EQ(apps.at("keelocapitals.exe").name, "Keelo Capitals");
  EXPECT_EQ(apps.count("keelonameless.exe"), 0u);
}

TEST_F(AppCatalogTest, TargetsAndTheLauncherForm) {
  Shortcut(user_programs_, L"Keelo Caps.lnk", L"C:\\Tools\\KeeloCaps.EXE");
  const std::wstring bare = Shortcut(user_programs_, L"Keelo Bare.lnk", L"C:\\Tools\\.exe");
  const std::wstring launcher = L"C:\\Users\\Keelo\\AppData\\Local\\KeeloChat\\Update.exe";
  const std::wstring chat =
      Shortcut(user_programs_, L"Keelo Chat.lnk", launcher, L"--processStart \"KeeloChat.exe\"");
  const std::wstring spaced = Shortcut(user_programs_, L"Keelo Spaced.lnk", launcher,
                                       L"--processStart \"Keelo Spaced.exe\"");
  Shortcut(user_programs_, L"Keelo Wait.lnk", launcher, L"--processStartAndWait keelowait.exe");
  const std::wstring updater = Shortcut(user_programs_, L"Keelo Updater.lnk", launcher, L"");

  const std::map<std::string, Record> apps = ListApps();
  ASSERT_EQ(apps.count("keelocaps.exe"), 1u);
  EXPECT_EQ(apps.at("keelocaps.exe").path, "C:\\Tools\\KeeloCaps.EXE");
  EXPECT_EQ(apps.count(".exe"), 0u);

  ASSERT_EQ(apps.count("keelochat.exe"), 1u);
  const Record& chat_record = apps.at("keelochat.exe");
  EXPECT_EQ(chat_record.name, "Keelo Chat");
  EXPECT_EQ(chat_record.path, "");
  EXPECT_EQ(chat_record.icon, U8(chat));
  EXPECT_EQ(apps.count("keelowait.exe"), 0u);
  EXPECT_EQ(apps.count("andwait"), 0u);

  ASSERT_EQ(apps.count("update.exe"), 1u);
  EXPECT_EQ(apps.at("update.exe").path, U8(launcher));
  EXPECT_EQ(apps.at("update.exe").icon, U8(updater));
  for (const auto& [exe, record] : apps) {
    EXPECT_NE(record.icon, U8(bare)) << exe;
    EXPECT_NE(record.icon, U8(spaced)) << exe;
  }
}

// Wine lists every folder (it keeps no access rules, and the tests run as root) and makes no
// junctions or directory links, so the walk's folder listing is the real one with those two
// conditions laid over it.
TEST_F(AppCatalogTest, WalkEntersFoldersButNotLinksAndStopsAtAFolderThatWillNotOpen) {
  const std::wstring walk = user_programs_ + L"\\Keelo Walk";
  ASSERT_TRUE(files_.Folder(walk));
  const std::wstring inner = walk + L"\\Inner";
  const std::wstring junction = walk + L"\\Junction";
  const std::wstring link = walk + L"\\Link";
  const std::wstring cloud = walk + L"\\Cloud";
  for (const std::wstring& folder : {inner, junction, link, cloud}) {
    ASSERT_TRUE(files_.Folder(folder));
  }
  Shortcut(inner, L"Keelo Inner.lnk", L"C:\\Tools\\keeloinner.exe");
  Shortcut(junction, L"Keelo Junction.lnk", L"C:\\Tools\\keelojunction.exe");
  Shortcut(link, L"Keelo Link.lnk", L"C:\\Tools\\keelolink.exe");
  Shortcut(cloud, L"Keelo Cloud.lnk", L"C:\\Tools\\keelocloud.exe");
  Shortcut(common_programs_, L"Keelo Common.lnk", L"C:\\Tools\\keelocommon.exe");

  std::vector<std::wstring> listed;
  std::wstring refused;
  system_->list_folder = [&](const std::wstring& folder, std::vector<FolderEntry>& entries) {
    listed.push_back(folder);
    if (folder == refused) return false;
    const bool complete = SystemCalls::Real().list_folder(folder, entries);
    for (FolderEntry& entry : entries) {
      const std::wstring path = folder + L"\\" + entry.name;
      if (path != junction && path != link && path != cloud) continue;
      entry.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      entry.reparse_tag = path == junction ? IO_REPARSE_TAG_MOUNT_POINT
                          : path == link   ? IO_REPARSE_TAG_SYMLINK
                                           : IO_REPARSE_TAG_DEDUP;
    }
    return complete;
  };

  std::map<std::string, Record> apps = ListApps();
  EXPECT_EQ(apps.count("keeloinner.exe"), 1u);
  EXPECT_EQ(apps.count("keelocloud.exe"), 1u);
  EXPECT_EQ(apps.count("keelojunction.exe"), 0u);
  EXPECT_EQ(apps.count("keelolink.exe"), 0u);
  EXPECT_EQ(apps.count("keelocommon.exe"), 1u);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), junction), 0);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), link), 0);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), inner), 1);

  // Refusing one folder of the walk loses what the walk would have met after it in this root,
  // and nothing of the other root or of the windows.
  std::vector<FolderEntry> order;
  ASSERT_TRUE(SystemCalls::Real().list_folder(walk, order));
  const auto position = [&](const std::wstring& name) {
    return std::find_if(order.begin(), order.end(),
                        [&](const FolderEntry& entry) { return entry.name == name; }) -
           order.begin();
  };
  refused = inner;
  auto app = Run(CopyFixture(L"fixture_plain.exe", L"KeeloWalkWindow.exe"));
  ASSERT_NE(app, nullptr);
  listed.clear();
  apps = ListApps();
  EXPECT_EQ(apps.count("keeloinner.exe"), 0u);
  EXPECT_EQ(apps.count("keelocloud.exe"), position(L"Cloud") < position(L"Inner") ? 1u : 0u);
  EXPECT_EQ(apps.count("keelocommon.exe"), 1u);
  EXPECT_EQ(apps.count("keelowalkwindow.exe"), 1u);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), common_programs_), 1);
}

TEST_F(AppCatalogTest, WindowsOfProgramsWithoutShortcutsAreAddedOnlyWhenTheyCount) {
  const std::wstring versioned = CopyFixture(L"fixture_versioned.exe", L"KeeloWindowDesc.exe");
  const std::wstring plain = CopyFixture(L"fixture_plain.exe", L"KeeloWindowPlain.EXE");
  const std::wstring shortcut_target =
      CopyFixture(L"fixture_versioned.exe", L"KeeloWindowShortcut.exe");
  const std::wstring shortcut =
      Shortcut(user_programs_, L"Keelo Shortcut Wins.lnk", shortcut_target);
  ASSERT_NE(Run(versioned), nullptr);
  ASSERT_NE(Run(plain), nullptr);
  ASSERT_NE(Run(shortcut_target), nullptr);
  const std::vector<std::wstring> kinds = {L"invisible", L"owned", L"untitled", L"tool"};
  for (const std::wstring& kind : kinds) {
    ASSERT_NE(Run(CopyFixture(L"fixture_plain.exe", L"KeeloWindow_" + kind + L".exe"), kind),
              nullptr)
        << U8(kind);
  }

  const std::map<std::string, Record> apps = ListApps();
  ASSERT_EQ(apps.count("keelowindowdesc.exe"), 1u);
  const Record& described = apps.at("keelowindowdesc.exe");
  EXPECT_EQ(described.name, "Keelo Fixture Editor");
  EXPECT_EQ(
      CompareStringOrdinal(Utf8ToWide(described.path).c_str(), -1, versioned.c_str(), -1, TRUE),
      CSTR_EQUAL)
      << described.path;
  EXPECT_EQ(described.icon, described.path);

  ASSERT_EQ(apps.count("keelowindowplain.exe"), 1u);
  EXPECT_EQ(apps.at("keelowindowplain.exe").name, "KeeloWindowPlain");
  EXPECT_NE(apps.at("keelowindowplain.exe").path.find("KeeloWindowPlain.EXE"), std::string::npos);

  ASSERT_EQ(apps.count("keelowindowshortcut.exe"), 1u);
  const Record& kept = apps.at("keelowindowshortcut.exe");
  EXPECT_EQ(kept.name, "Keelo Shortcut Wins");
  EXPECT_EQ(kept.path, U8(shortcut_target));
  EXPECT_EQ(kept.icon, U8(shortcut));

  for (const std::wstring& kind : kinds) {
    EXPECT_EQ(apps.count(U8(L"keelowindow_" + kind + L".exe")), 0u) << U8(kind);
  }
}

TEST(CompositorHidingTest, AnyCloakingHidesAndAnAttributeThatCannotBeReadShows) {
  EXPECT_FALSE(IsHiddenByCompositor(std::nullopt));
  EXPECT_FALSE(IsHiddenByCompositor(DWORD{0}));
  for (const DWORD cloaked :
       {DWORD{DWM_CLOAKED_APP}, DWORD{DWM_CLOAKED_SHELL}, DWORD{DWM_CLOAKED_INHERITED},
        DWORD{DWM_CLOAKED_APP | DWM_CLOAKED_INHERITED}, DWORD{0x80}}) {
    EXPECT_TRUE(IsHiddenByCompositor(cloaked)) << cloaked;
  }
}

// A suspended packaged app's frame, a window on another virtual desktop or a shell host passes
// every other test of the window pass; only the compositor knows that nobody sees it.
TEST_F(AppCatalogTest, WindowsTheCompositorHidesAreNoOpenApplications) {
  FixtureProcess* hidden = Run(CopyFixture(L"fixture_plain.exe", L"KeeloCloakedFrame.exe"));
  FixtureProcess* unreadable = Run(CopyFixture(L"fixture_plain.exe", L"KeeloUnreadable.exe"));
  FixtureProcess* shown = Run(CopyFixture(L"fixture_plain.exe", L"KeeloShownWindow.exe"));
  ASSERT_NE(hidden, nullptr);
  ASSERT_NE(unreadable, nullptr);
  ASSERT_NE(shown, nullptr);
  std::vector<HWND> asked;
  system_->read_cloaked = [&](HWND window) -> std::optional<DWORD> {
    asked.push_back(window);
    if (window == hidden->window()) return DWORD{DWM_CLOAKED_SHELL};
    if (window == unreadable->window()) return std::nullopt;
    return DWORD{0};
  };

  const std::map<std::string, Record> apps = ListApps();
  EXPECT_EQ(apps.count("keelocloakedframe.exe"), 0u);
  EXPECT_EQ(apps.count("keelounreadable.exe"), 1u);
  EXPECT_EQ(apps.count("keeloshownwindow.exe"), 1u);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), hidden->window()), 1);
  // Wine's compositor cannot tell, and a window it cannot tell about is listed.
  EXPECT_FALSE(IsHiddenByCompositor(SystemCalls::Real().read_cloaked(shown->window())));
}

}  // namespace
}  // namespace keelo::testing
