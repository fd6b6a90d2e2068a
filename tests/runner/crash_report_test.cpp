#include "runner/crash_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keelo::testing {
namespace {

TEST(CrashReportTest, DumpsAreNamedByTimeAndTheNewestFiveKept) {
  SYSTEMTIME time = {};
  time.wYear = 2026;
  time.wMonth = 12;
  time.wDay = 7;
  time.wHour = 17;
  time.wMinute = 5;
  time.wSecond = 3;
  time.wMilliseconds = 9;
  EXPECT_EQ(CrashDumpName(time, 4242), L"keelo-20261207-170503-009-4242.dmp");

  std::vector<std::wstring> names = {
      L"keelo-20261207-170503-009-4242.dmp",
      L"keelo-20251231-235959-999-7.dmp",
      L"notes.txt",
      L"keelo-20261207-170503-010-12.dmp",
      L"keelo-20260101-000000-000-99.dmp",
      L"keelo-20261201-120000-000-5.dmp.partial",
      L"keelo-20261130-080000-500-31.dmp",
      L"keelo-20261207-090000-000-8.dmp",
  };
  EXPECT_EQ(CrashDumpsToDelete(names, kKeptCrashDumps),
            (std::vector<std::wstring>{L"keelo-20251231-235959-999-7.dmp"}));
  names.push_back(L"keelo-20261208-000000-000-1.dmp");
  EXPECT_EQ(CrashDumpsToDelete(names, kKeptCrashDumps),
            (std::vector<std::wstring>{L"keelo-20251231-235959-999-7.dmp",
                                       L"keelo-20260101-000000-000-99.dmp"}));
  EXPECT_TRUE(CrashDumpsToDelete({L"keelo-20261208-000000-000-1.dmp", L"a.dmp"}, 5).empty());
}

TEST(CrashReportTest, TheLineNamesTheExceptionAndWhereItHappened) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(uintptr_t{0x7FF6A1B2C3D4});
  EXPECT_EQ(UnhandledExceptionLine(record), "Ending on exception 0xC0000005 at 0x00007FF6A1B2C3D4");
  record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  record.ExceptionAddress = nullptr;
  EXPECT_EQ(UnhandledExceptionLine(record), "Ending on exception 0xC00000FD at 0x0000000000000000");
}

}  // namespace
}  // namespace keelo::testing
