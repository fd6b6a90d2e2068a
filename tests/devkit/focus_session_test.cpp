#include "devkit/apps/demo/focus_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

flutter::EncodableValue Identity(const std::string& exe, const std::string& original) {
  return flutter::EncodableValue(flutter::EncodableMap{
      {flutter::EncodableValue("exe"), flutter::EncodableValue(exe)},
      {flutter::EncodableValue("original"), flutter::EncodableValue(original)},
      {flutter::EncodableValue("hwnd"), flutter::EncodableValue(int64_t{42})}});
}

TEST(FocusSettingsTest, DefaultsBlockNotepad) {
  const FocusSettings settings = ParseFocusSettings({"--demo-channel=x/desktop"});
  EXPECT_GT(settings.session_seconds, 0);
  EXPECT_EQ(settings.blocked_exes, std::vector<std::string>{"notepad.exe"});
}

TEST(FocusSettingsTest, ArgumentsSetLengthAndLowerCaseBlockList) {
  const FocusSettings settings =
      ParseFocusSettings({"--session-seconds=15", "--block=Notepad.EXE,,winmine.exe"});
  EXPECT_EQ(settings.session_seconds, 15);
  EXPECT_EQ(settings.blocked_exes, (std::vector<std::string>{"notepad.exe", "winmine.exe"}));
}

TEST(FocusSettingsTest, MalformedLengthKeepsTheDefault) {
  const int64_t fallback = ParseFocusSettings({}).session_seconds;
  EXPECT_EQ(ParseFocusSettings({"--session-seconds=12x"}).session_seconds, fallback);
  EXPECT_EQ(ParseFocusSettings({"--session-seconds=0"}).session_seconds, fallback);
  EXPECT_EQ(ParseFocusSettings({"--session-seconds=-5"}).session_seconds, fallback);
}

TEST(FormatTimeLeftTest, MinutesAndSecondsThenHours) {
  EXPECT_EQ(FormatTimeLeft(760), "12:40");
  EXPECT_EQ(FormatTimeLeft(5), "0:05");
  EXPECT_EQ(FormatTimeLeft(3723), "1:02:03");
  EXPECT_EQ(FormatTimeLeft(-3), "0:00");
}

TEST(DisplayNameTest, DropsTheExtensionAndCapitalises) {
  EXPECT_EQ(DisplayName("notepad.exe"), "Notepad");
  EXPECT_EQ(DisplayName("my.game.exe"), "My.game");
  EXPECT_EQ(DisplayName("tool"), "Tool");
}

TEST(MatchBlockedTest, MatchesExeOrOriginalName) {
  const std::vector<std::string> blocked = {"notepad.exe"};
  EXPECT_EQ(MatchBlocked(blocked, Identity("notepad.exe", "")), "notepad.exe");
  EXPECT_EQ(MatchBlocked(blocked, Identity("renamed.exe", "NOTEPAD.EXE")), "notepad.exe");
  EXPECT_EQ(MatchBlocked(blocked, Identity("keelo_app.exe", "keelo_app.exe")), "");
}

TEST(MatchBlockedTest, NullOrEmptyRecordMatchesNothing) {
  const std::vector<std::string> blocked = {"notepad.exe"};
  EXPECT_EQ(MatchBlocked(blocked, flutter::EncodableValue()), "");
  EXPECT_EQ(MatchBlocked(blocked, Identity("", "")), "");
  EXPECT_EQ(MatchBlocked({}, Identity("notepad.exe", "notepad.exe")), "");
}

TEST(FocusSessionTest, CountsDownAndEnds) {
  const FocusSession session(10'000, 760);
  EXPECT_EQ(session.StatusLine(10'000), "Focus: 12:40 left");
  EXPECT_EQ(session.SecondsLeft(10'500), 760);
  EXPECT_EQ(session.StatusLine(11'000), "Focus: 12:39 left");
  EXPECT_FALSE(session.IsOver(769'999));
  EXPECT_TRUE(session.IsOver(770'000));
  EXPECT_EQ(session.StatusLine(900'000), "Focus session over");
}

TEST(FocusSessionTest, ActsOnceEachTimeAWindowComesToTheFront) {
  FocusSession session(0, 60);
  EXPECT_TRUE(session.CameToFront(7));
  EXPECT_FALSE(session.CameToFront(7));
  EXPECT_FALSE(session.CameToFront(0));
  EXPECT_TRUE(session.CameToFront(7));
  EXPECT_TRUE(session.CameToFront(9));
}

TEST(FocusSessionTest, RemembersWhatWasBlocked) {
  FocusSession session(0, 60);
  session.RecordBlock("notepad.exe");
  session.RecordBlock("notepad.exe");
  EXPECT_EQ(session.blocked(), (std::vector<std::string>{"notepad.exe", "notepad.exe"}));
}

}  // namespace
}  // namespace devkit
