#include "messaging/diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace flutter {
namespace {

std::vector<std::string>& SunkLines() {
  static std::vector<std::string> lines;
  return lines;
}

void Sink(std::string_view line) { SunkLines().emplace_back(line); }

TEST(DiagnosticsTest, EachLineGoesToTheSinkAsWellAsUnchangedToStandardError) {
  SunkLines().clear();
  SetDiagnosticLineSink(&Sink);
  ::testing::internal::CaptureStderr();
  WriteDiagnosticLine("Unable to decode reply to method invocation on channel ", "a/b");
  WriteDiagnosticLine("Warning: one part only");
  SetDiagnosticLineSink(nullptr);
  WriteDiagnosticLine("after the sink went");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Unable to decode reply to method invocation on channel a/b\n"
            "Warning: one part only\n"
            "after the sink went\n");
  EXPECT_EQ(SunkLines(),
            (std::vector<std::string>{"Unable to decode reply to method invocation on channel a/b",
                                      "Warning: one part only"}));
}

}  // namespace
}  // namespace flutter
