#include "devkit/driver/protocol/driver_config.h"

#include <string_view>

namespace devkit {
namespace {

bool TakeValue(std::string_view argument, std::string_view prefix, std::string* value) {
  if (argument.substr(0, prefix.size()) != prefix) return false;
  *value = std::string(argument.substr(prefix.size()));
  return true;
}

std::vector<std::string> SplitChannels(std::string_view list) {
  std::vector<std::string> channels;
  while (!list.empty()) {
    const size_t end = list.find(';');
    const std::string_view channel = list.substr(0, end);
    if (!channel.empty()) channels.emplace_back(channel);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return channels;
}

}  // namespace

DriverConfig ParseDriverConfig(const std::vector<std::string>& arguments, const char* pipe_variable,
                               const char* channels_variable) {
  DriverConfig config;
  for (const std::string& argument : arguments) {
    std::string value;
    if (TakeValue(argument, kPipeArgument, &value)) {
      config.pipe_name = value;
    } else if (TakeValue(argument, kChannelArgument, &value) && !value.empty()) {
      config.channels.push_back(value);
    }
  }
  if (config.pipe_name.empty() && pipe_variable != nullptr) config.pipe_name = pipe_variable;
  if (config.channels.empty() && channels_variable != nullptr) {
    config.channels = SplitChannels(channels_variable);
  }
  return config;
}

std::vector<std::string> DriverArguments(const DriverConfig& config) {
  std::vector<std::string> arguments{std::string(kPipeArgument) + config.pipe_name};
  for (const std::string& channel : config.channels) {
    arguments.push_back(std::string(kChannelArgument) + channel);
  }
  return arguments;
}

}  // namespace devkit
