#include "devkit/driver/protocol/driver_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

using Strings = std::vector<std::string>;

TEST(DriverConfigTest, ArgumentsRoundTripAndOtherArgumentsAreLeftAlone) {
  const DriverConfig config{"keelo-devkit-1", {"app/desktop", "app/desktop_ui"}};
  Strings arguments = {"--minimized"};
  const Strings driver = DriverArguments(config);
  EXPECT_EQ(driver, (Strings{"--devkit-pipe=keelo-devkit-1", "--devkit-channel=app/desktop",
                             "--devkit-channel=app/desktop_ui"}));
  arguments.insert(arguments.end(), driver.begin(), driver.end());
  arguments.push_back("C:\\Program Files\\x --devkit-pipe=not-this");

  const DriverConfig parsed = ParseDriverConfig(arguments, nullptr, nullptr);
  EXPECT_EQ(parsed.pipe_name, "keelo-devkit-1");
  EXPECT_EQ(parsed.channels, config.channels);
}

TEST(DriverConfigTest, EnvironmentFillsOnlyWhatTheArgumentsLeaveOut) {
  DriverConfig parsed = ParseDriverConfig({}, "from-env", ";app/desktop;;app/desktop_ui;");
  EXPECT_EQ(parsed.pipe_name, "from-env");
  EXPECT_EQ(parsed.channels, (Strings{"app/desktop", "app/desktop_ui"}));

  parsed = ParseDriverConfig({"--devkit-pipe=from-args"}, "from-env", "app/desktop");
  EXPECT_EQ(parsed.pipe_name, "from-args");
  EXPECT_EQ(parsed.channels, Strings{"app/desktop"});

  parsed = ParseDriverConfig({"--devkit-channel=a", "--devkit-channel="}, nullptr, "b;c");
  EXPECT_EQ(parsed.pipe_name, "");
  EXPECT_EQ(parsed.channels, Strings{"a"});
}

}  // namespace
}  // namespace devkit
