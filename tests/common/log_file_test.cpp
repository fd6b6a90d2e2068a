#include "common/log_file.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "tests/support/local_app_data.h"

namespace keelo::testing {
namespace {

constexpr auto kFlushTimeout = std::chrono::seconds(10);

SYSTEMTIME Time(WORD hour, WORD minute, WORD second, WORD millisecond) {
  SYSTEMTIME time = {};
  time.wYear = 2026;
  time.wMonth = 12;
  time.wDay = 7;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  time.wMilliseconds = millisecond;
  return time;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(LogLineTest, IsOneLineWithTimeAndProcessHoweverLongOrOddTheText) {
  const SYSTEMTIME time = Time(17, 5, 3, 9);
  EXPECT_EQ(FormatLogLine(time, 4242, "Proxy restored (guard)"),
            "2026-12-07T17:05:03.009Z [4242] Proxy restored (guard)\r\n");
  // A line end or another control character in the text would begin a line of its own.
  EXPECT_EQ(FormatLogLine(time, 1, std::string("a\nb\rc\0d\te\x7f", 10)),
            std::string("2026-12-07T17:05:03.009Z [1] a?b?c?d\te?\r\n"));

  // Cut at the limit, and never inside a character: "é" is two bytes.
  const std::string prefix = "2026-12-07T17:05:03.009Z [1] ";
  const std::string long_text = std::string(kMaxLogText - 1, 'x') + "\xC3\xA9" + "tail";
  EXPECT_EQ(FormatLogLine(time, 1, long_text),
            prefix + std::string(kMaxLogText - 1, 'x') + "...\r\n");
  const std::string exact(kMaxLogText, 'y');
  EXPECT_EQ(FormatLogLine(time, 1, exact), prefix + exact + "\r\n");
}

TEST(LogRotationTest, StartsANewFileOnlyWhenALineWouldPassTheLimit) {
  EXPECT_FALSE(LogNeedsRotation(0, 5000, 1000));
  EXPECT_FALSE(LogNeedsRotation(900, 100, 1000));
  EXPECT_TRUE(LogNeedsRotation(900, 101, 1000));
  EXPECT_EQ(LogFilePath(L"C:\\logs", 0), L"C:\\logs\\keelo.log");
  EXPECT_EQ(LogFilePath(L"C:\\logs", 2), L"C:\\logs\\keelo.2.log");
}

// Many lines through a small limit: every file stays within it, only the two older files are
// kept, and what is kept is the newest lines, whole and in order.
TEST(LogFileTest, StaysWithinItsBoundOverManyLines) {
  const TemporaryLocalAppData local;
  const std::wstring folder = local.KeeloFolder(L"logs");
  constexpr uint64_t kLimit = 4096;
  constexpr int kLines = 3000;
  {
    LogFile log(folder, kLimit, 2);
    for (int line = 0; line < kLines; ++line) {
      log.Write("line " + std::to_string(line) + " " + std::string(line % 97, '.'));
    }
    ASSERT_TRUE(log.Flush(kFlushTimeout));
  }
  for (int age = 0; age <= 2; ++age) {
    EXPECT_GT(FileSize(LogFilePath(folder, age)), 0u) << age;
    EXPECT_LE(FileSize(LogFilePath(folder, age)), kLimit) << age;
  }
  EXPECT_EQ(GetFileAttributesW(LogFilePath(folder, 3).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(TemporaryLocalAppData::FilesIn(folder).size(), 3u);

  std::vector<std::string> kept;
  for (int age = 2; age >= 0; --age) {
    for (const std::string& text : LoggedTexts(LogFilePath(folder, age))) kept.push_back(text);
  }
  ASSERT_FALSE(kept.empty());
  const int first = kLines - static_cast<int>(kept.size());
  EXPECT_GT(first, 0);
  for (size_t i = 0; i < kept.size(); ++i) {
    const int line = first + static_cast<int>(i);
    ASSERT_EQ(kept[i], "line " + std::to_string(line) + " " + std::string(line % 97, '.'));
  }
}

// Another process's writer (the proxy guard's) takes turns with this one through the session's
// mutex, and rotates the same files.
TEST(LogFileTest, TwoWritersKeepEveryLineOnceWithinTheBound) {
  const TemporaryLocalAppData local;
  const std::wstring folder = local.KeeloFolder(L"logs");
  {
    LogFile first(folder, 2048, 2);
    LogFile second(folder, 2048, 2);
    for (int line = 0; line < 40; ++line) {
      LogFile& writer = line % 2 == 0 ? first : second;
      writer.Write("writer line " + std::to_string(line));
      if (line % 5 == 0) {
        ASSERT_TRUE(writer.Flush(kFlushTimeout));
      }
    }
  }
  std::vector<std::string> kept;
  for (int age = 2; age >= 0; --age) {
    EXPECT_LE(FileSize(LogFilePath(folder, age)), 2048u);
    for (const std::string& text : LoggedTexts(LogFilePath(folder, age))) kept.push_back(text);
  }
  EXPECT_EQ(kept.size(), 40u);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(std::unique(kept.begin(), kept.end()), kept.end());
}

// A reader that holds keelo.log open without sharing it for deletion (an editor, a log viewer)
// keeps it from being moved aside. Begun afresh in its place, the file would lose the newest
// lines; it grows past the limit instead, and is moved aside once the reader has let go.
TEST(LogFileTest, AReaderHoldingTheFileAcrossARotationLosesNoLine) {
  const TemporaryLocalAppData local;
  const std::wstring folder = local.KeeloFolder(L"logs");
  constexpr uint64_t kLimit = 1024;
  const auto text = [](int line) { return "line " + std::to_string(line) + std::string(30, '.'); };
  LogFile log(folder, kLimit, 2);
  int written = 0;
  const auto write = [&](int until) {
    for (; written < until; ++written) log.Write(text(written));
    ASSERT_TRUE(log.Flush(kFlushTimeout));
  };
  write(10);
  HANDLE reader =
      CreateFileW(LogFilePath(folder, 0).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  // Lines for three files' worth, one batch at a time.
  for (int batch = 1; batch <= 6; ++batch) write(10 + batch * 10);
  EXPECT_GT(FileSize(LogFilePath(folder, 0)), kLimit);
  EXPECT_EQ(GetFileAttributesW(LogFilePath(folder, 1).c_str()), INVALID_FILE_ATTRIBUTES);
  CloseHandle(reader);
  write(80);
  EXPECT_NE(GetFileAttributesW(LogFilePath(folder, 1).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_LE(FileSize(LogFilePath(folder, 0)), kLimit);

  std::vector<std::string> kept;
  for (int age = 2; age >= 0; --age) {
    for (const std::string& line : LoggedTexts(LogFilePath(folder, age))) kept.push_back(line);
  }
  std::vector<std::string> expected;
  for (int line = 0; line < written; ++line) expected.push_back(text(line));
  EXPECT_EQ(kept, expected);
}

int ThreadsOfThisProcess() {
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = snapshot ? Thread32First(snapshot.get(), &entry) : FALSE; more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  return count;
}

// The host opens its log on every start and mostly writes nothing: the writer must cost nothing
// until a line comes, and then lose none of the lines.
TEST(LogFileTest, TheWriterStartsWithTheFirstLineAndNotBefore) {
  const TemporaryLocalAppData local;
  const std::wstring folder = local.KeeloFolder(L"logs");
  const int threads = ThreadsOfThisProcess();
  ASSERT_GT(threads, 0);
  {
    LogFile log(folder);
    EXPECT_TRUE(log.Flush(kFlushTimeout));
    EXPECT_EQ(ThreadsOfThisProcess(), threads);
    log.Write("first");
    EXPECT_EQ(ThreadsOfThisProcess(), threads + 1);
    log.Write("second");
    ASSERT_TRUE(log.Flush(kFlushTimeout));
    EXPECT_EQ(ThreadsOfThisProcess(), threads + 1);
    EXPECT_EQ(LoggedTexts(LogFilePath(folder, 0)), (std::vector<std::string>{"first", "second"}));
  }
  {
    // A dying process writes past a writer that was never started, straight to the file.
    LogFile log(folder);
    log.WriteWithoutWaiting("while dying");
    EXPECT_TRUE(log.FlushWithoutWaiting(kFlushTimeout));
    EXPECT_EQ(ThreadsOfThisProcess(), threads);
  }
  EXPECT_EQ(LoggedTexts(LogFilePath(folder, 0)),
            (std::vector<std::string>{"first", "second", "while dying"}));
}

TEST(LogFileTest, AFolderThatCannotBeMadeDropsTheLinesAndNothingElse) {
  const TemporaryLocalAppData local;
  // Under a file, where no folder can be.
  const std::wstring file = local.path() + L"\\file";
  const HANDLE made =
      CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  CloseHandle(made);
  LogFile log(file + L"\\logs");
  log.Write("nowhere to go");
  EXPECT_TRUE(log.Flush(kFlushTimeout));
  EXPECT_EQ(GetFileAttributesW((file + L"\\logs").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ProcessLogTest, LinesGoToTheScopedLogOnlyWhileTheScopeLasts) {
  const TemporaryLocalAppData local;
  const std::wstring folder = local.KeeloFolder(L"logs");
  LogFile log(folder);
  WriteLogLine("before");
  {
    const ProcessLogScope scope(&log);
    WriteLogLine("during");
  }
  WriteLogLine("after");
  ASSERT_TRUE(log.Flush(kFlushTimeout));
  EXPECT_EQ(LoggedTexts(LogFilePath(folder, 0)), std::vector<std::string>{"during"});
}

}  // namespace
}  // namespace keelo::testing
