#include "runner/startup_marks.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/scoped_handles.h"

namespace {

constexpr wchar_t kMarksFileVariable[] = L"KEELO_STARTUP_MARKS";

struct Mark {
  const char* phase;
  uint64_t time;  // 100 ns units, as FILETIME counts
};

// Marks are made on the UI thread only, before the first frame; a full list drops later ones.
std::array<Mark, 24> marks;
size_t mark_count = 0;

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

void MarkStartupPhase(const char* phase) {
  if (mark_count == marks.size()) return;
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  marks[mark_count++] = {phase, Ticks(now)};
}

void WriteStartupMarks() {
  const size_t count = mark_count;
  mark_count = 0;
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(kMarksFileVariable, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    char line[128];
    const uint64_t since_creation = marks[i].time - Ticks(created);
    std::snprintf(line, sizeof line, "%s %llu\n", marks[i].phase,
                  static_cast<unsigned long long>(since_creation / 10));
    text += line;
  }
  const ScopedFileHandle file(CreateFileW(path, FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
