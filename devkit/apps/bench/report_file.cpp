#include "devkit/apps/bench/report_file.h"

#include <windows.h>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"

namespace devkit {

bool WriteReportFile(const std::string& path, const BenchResults& results) {
  const std::wstring final_path = Utf8ToWide(path);
  const std::wstring partial_path = final_path + L".partial";
  const std::string text = results.Format();
  ScopedFileHandle file(CreateFileW(partial_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const bool complete = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()),
                                  &written, nullptr) != FALSE &&
                        written == text.size();
  // Closed before the file is deleted or renamed, which an open handle without sharing refuses.
  file.reset();
  if (!complete) {
    DeleteFileW(partial_path.c_str());
    return false;
  }
  return MoveFileExW(partial_path.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace devkit
