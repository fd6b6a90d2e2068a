#include "devkit/apps/bench/bench_results.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

TEST(BenchResults, ReadsBackWhatItWroteInOrderWithRepeatedKeys) {
  BenchResults written;
  written.Add("calls", "200");
  written.Add("message", "host posted FLUTTER_RUNNER_WIN32_WINDOW 0x0113 4");
  written.Add("message", "engine posted KeeloDevkitEngineTasks 0x8001 2");
  const std::string text = written.Format();
  EXPECT_EQ(text,
            "calls 200\n"
            "message host posted FLUTTER_RUNNER_WIN32_WINDOW 0x0113 4\n"
            "message engine posted KeeloDevkitEngineTasks 0x8001 2\n"
            "end\n");

  const std::optional<BenchResults> read = BenchResults::Parse(text);
  ASSERT_TRUE(read.has_value());
  ASSERT_NE(read->Find("calls"), nullptr);
  EXPECT_EQ(*read->Find("calls"), "200");
  EXPECT_EQ(read->FindAll("message"),
            (std::vector<std::string>{"host posted FLUTTER_RUNNER_WIN32_WINDOW 0x0113 4",
                                      "engine posted KeeloDevkitEngineTasks 0x8001 2"}));
  EXPECT_EQ(read->Find("error"), nullptr);
}

TEST(BenchResults, KeepsEachValueOnItsOwnLine) {
  BenchResults written;
  written.Add("error", "first line\r\nsecond line");
  written.Add("calls", "1");
  const std::optional<BenchResults> read = BenchResults::Parse(written.Format());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read->Find("error"), "first line  second line");
  EXPECT_EQ(*read->Find("calls"), "1");
}

TEST(BenchResults, AnEmptyReportIsOnlyTheEndLine) {
  const std::optional<BenchResults> read = BenchResults::Parse(BenchResults().Format());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->Find("calls"), nullptr);
}

TEST(BenchResults, RefusesAReportCutShort) {
  EXPECT_FALSE(BenchResults::Parse("").has_value());
  EXPECT_FALSE(BenchResults::Parse("calls 200\n").has_value());
  EXPECT_FALSE(BenchResults::Parse("calls 200\nhost_ok 40").has_value());
  EXPECT_FALSE(BenchResults::Parse("calls 200\nend").has_value());
}

TEST(BenchResults, RefusesLinesWithoutAKeyAndAnythingAfterTheEnd) {
  EXPECT_FALSE(BenchResults::Parse("calls\nend\n").has_value());
  EXPECT_FALSE(BenchResults::Parse(" 200\nend\n").has_value());
  EXPECT_FALSE(BenchResults::Parse("calls 1\nend\ncalls 2\nend\n").has_value());
}

}  // namespace
}  // namespace devkit
