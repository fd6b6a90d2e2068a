#ifndef DEVKIT_DRIVER_PROTOCOL_DRIVER_CONFIG_H_
#define DEVKIT_DRIVER_PROTOCOL_DRIVER_CONFIG_H_

#include <string>
#include <vector>

namespace devkit {

// How a test points the driver at its pipe and names the channels to listen on: entrypoint
// arguments (which the host passes on from its command line), or else environment variables.
inline constexpr char kPipeArgument[] = "--devkit-pipe=";
inline constexpr char kChannelArgument[] = "--devkit-channel=";
inline constexpr char kPipeVariable[] = "KEELO_DEVKIT_PIPE";
// Channel names separated by ';'.
inline constexpr char kChannelsVariable[] = "KEELO_DEVKIT_CHANNELS";

struct DriverConfig {
  // Without the \\.\pipe\ prefix; empty when the test gave none.
  std::string pipe_name;
  std::vector<std::string> channels;
};

// Arguments win over the variables, which may be null when unset.
DriverConfig ParseDriverConfig(const std::vector<std::string>& arguments, const char* pipe_variable,
                               const char* channels_variable);

// The entrypoint arguments that ParseDriverConfig reads back as |config|.
std::vector<std::string> DriverArguments(const DriverConfig& config);

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PROTOCOL_DRIVER_CONFIG_H_
