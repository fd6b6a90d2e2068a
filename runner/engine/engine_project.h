#ifndef RUNNER_ENGINE_ENGINE_PROJECT_H_
#define RUNNER_ENGINE_ENGINE_PROJECT_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace flutter {

// Where the engine finds the UI application and what it starts it with.
struct EngineProject {
  // |base_directory| is passed on unresolved; a relative one is resolved by the engine.
  explicit EngineProject(const std::wstring& base_directory);

  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  // UTF-8; empty selects the UI application's default entrypoint.
  std::string dart_entrypoint;
  // UTF-8.
  std::vector<std::string> dart_entrypoint_arguments;
  std::array<int32_t, 4> engine_options = {};
  uint8_t byte_option = 0;
};

}  // namespace flutter

#endif  // RUNNER_ENGINE_ENGINE_PROJECT_H_
