#include "runner/engine/engine_project.h"

namespace flutter {

EngineProject::EngineProject(const std::wstring& base_directory)
    : assets_path(base_directory + L"\\flutter_assets"),
      icu_data_path(base_directory + L"\\icudtl.dat"),
      aot_library_path(base_directory + L"\\app.so") {}

}  // namespace flutter
