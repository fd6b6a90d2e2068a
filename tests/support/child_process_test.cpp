#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/scoped_handles.h"

namespace keelo::testing {
namespace {

// How the started program reads its arguments back.
std::vector<std::wstring> ArgumentsOf(const std::wstring& command_line) {
  int count = 0;
  wchar_t** read = CommandLineToArgvW(command_line.c_str(), &count);
  const ScopedLocalMemory owned(reinterpret_cast<HLOCAL>(read));
  if (read == nullptr) return {};
  return std::vector<std::wstring>(read + 1, read + count);
}

TEST(QuotedArgumentTest, EveryArgumentIsReadBackUnchanged) {
  const std::vector<std::wstring> arguments = {
      L"plain",     L"two words",         L"",
      L"C:\\dir\\", L"C:\\two words\\",   L"say \"hi\"",
      L"a\\\"b",    L"ends in a quote\"", L"\\\\server\\share\\\\",
  };
  std::wstring command_line = L"program.exe";
  for (const std::wstring& argument : arguments) command_line += L" " + QuotedArgument(argument);
  EXPECT_EQ(ArgumentsOf(command_line), arguments) << command_line;
}

TEST(QuotedArgumentTest, EnclosesAnArgumentWithoutQuotesOrClosingBackslashAsItIs) {
  EXPECT_EQ(QuotedArgument(L"e2e front"), L"\"e2e front\"");
  EXPECT_EQ(QuotedArgument(L"C:\\Temp\\a b.log"), L"\"C:\\Temp\\a b.log\"");
}

}  // namespace
}  // namespace keelo::testing
