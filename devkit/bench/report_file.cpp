#include "devkit/bench/report_file.h"

#include <windows.h>

#include "devkit/common/text_conversion.h"

namespace devkit {

bool WriteReportFile(const std::string& path, const BenchResults& results) {
  const std::wstring final_path = Utf8ToWide(path);
  const std::wstring partial_path = final_path + L".partial";
  const std::string text = results.Format();
  HANDLE file = CreateFileW(partial_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool complete =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE &&
      written == text.size();
  CloseHandle(file);
  if (!complete) {
    DeleteFileW(partial_path.c_str());
    return false;
  }
  return MoveFileExW(partial_path.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace devkit
