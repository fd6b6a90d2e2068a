#include "bench/linux_process.h"

#include <windows.h>

#include <charconv>
#include <sstream>
#include <vector>

#include "bench/bench_host.h"
#include "common/scoped_handles.h"

namespace keelo::bench {
namespace {

// Wine's drive Z: is the Unix root.
constexpr wchar_t kProc[] = L"Z:\\proc\\";
// The fields of /proc/<pid>/stat after the command's closing parenthesis start at field 3 (the
// state); utime and stime are fields 14 and 15.
constexpr size_t kUtimeAfterCommand = 11;
constexpr size_t kStimeAfterCommand = 12;

// The names in |folder| that are numbers: processes in /proc, threads in a task folder.
std::vector<std::wstring> NumberedEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const ScopedFindHandle search(FindFirstFileW((folder + L"*").c_str(), &found));
  if (!search) return names;
  do {
    const std::wstring name = found.cFileName;
    if (!name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos) {
      names.push_back(name);
    }
  } while (FindNextFileW(search.get(), &found));
  return names;
}

std::optional<uint64_t> Number(const std::string& text) {
  uint64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

std::optional<uint64_t> StatTicks(const std::string& stat) {
  const size_t command_end = stat.rfind(')');
  if (command_end == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(command_end + 1));
  std::vector<std::string> values;
  std::string value;
  while (fields >> value) values.push_back(value);
  if (values.size() <= kStimeAfterCommand) return std::nullopt;
  const std::optional<uint64_t> utime = Number(values[kUtimeAfterCommand]);
  const std::optional<uint64_t> stime = Number(values[kStimeAfterCommand]);
  if (!utime || !stime) return std::nullopt;
  return *utime + *stime;
}

}  // namespace

std::optional<uint64_t> ProcField(const std::string& text, const std::string& key) {
  const std::string label = key + ":";
  size_t line = 0;
  while (line < text.size()) {
    const size_t end = text.find('\n', line);
    const std::string current =
        text.substr(line, end == std::string::npos ? std::string::npos : end - line);
    if (current.compare(0, label.size(), label) == 0) {
      const size_t digits = current.find_first_of("0123456789", label.size());
      if (digits == std::string::npos) return std::nullopt;
      return Number(current.substr(digits));
    }
    if (end == std::string::npos) break;
    line = end + 1;
  }
  return std::nullopt;
}

int FindLinuxProcess(const std::string& argument) {
  int found = 0;
  int matches = 0;
  for (const std::wstring& pid : NumberedEntries(kProc)) {
    const std::optional<std::string> command_line = ReadWholeFile(kProc + pid + L"\\cmdline");
    if (!command_line) continue;
    // The arguments are separated by zero bytes; the first is the program.
    const size_t program_end = command_line->find('\0');
    if (program_end == std::string::npos) continue;
    size_t start = program_end + 1;
    while (start < command_line->size()) {
      size_t end = command_line->find('\0', start);
      if (end == std::string::npos) end = command_line->size();
      if (command_line->compare(start, end - start, argument) == 0) {
        found = std::stoi(pid);
        ++matches;
        break;
      }
      start = end + 1;
    }
  }
  return matches == 1 ? found : 0;
}

std::map<std::string, uint64_t> PrivateDirtyByMapping(int pid) {
  std::map<std::string, uint64_t> dirty;
  const std::optional<std::string> smaps = ReadWholeFile(kProc + std::to_wstring(pid) + L"\\smaps");
  if (!smaps) return dirty;
  std::istringstream lines(*smaps);
  std::string line;
  std::string mapping;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    // A mapping's header: "<start>-<end> <permissions> <offset> <device> <inode> [<path>]".
    const size_t dash = first.find('-');
    if (dash != std::string::npos && first.back() != ':') {
      std::string permissions, offset, device, inode, path;
      fields >> permissions >> offset >> device >> inode;
      std::getline(fields >> std::ws, path);
      if (path.empty()) {
        const uint64_t start = std::stoull(first.substr(0, dash), nullptr, 16);
        const uint64_t end = std::stoull(first.substr(dash + 1), nullptr, 16);
        path = "[anon] " + std::to_string((end - start) / 1024);
      }
      mapping = path;
    } else if (first == "Private_Dirty:") {
      uint64_t kib = 0;
      fields >> kib;
      dirty[mapping] += kib;
    }
  }
  return dirty;
}

std::optional<LinuxProcessSample> SampleLinuxProcess(int pid) {
  const std::wstring folder = kProc + std::to_wstring(pid) + L"\\";
  const std::optional<std::string> status = ReadWholeFile(folder + L"status");
  const std::optional<std::string> rollup = ReadWholeFile(folder + L"smaps_rollup");
  const std::optional<std::string> stat = ReadWholeFile(folder + L"stat");
  if (!status || !rollup || !stat) return std::nullopt;
  LinuxProcessSample sample;
  const std::optional<uint64_t> fields[] = {ProcField(*rollup, "Private_Clean"),
                                            ProcField(*rollup, "Private_Dirty"),
                                            ProcField(*status, "VmRSS"),
                                            ProcField(*status, "RssAnon"),
                                            ProcField(*status, "RssFile"),
                                            ProcField(*status, "Threads"),
                                            StatTicks(*stat)};
  for (const std::optional<uint64_t>& field : fields) {
    if (!field) return std::nullopt;
  }
  sample.private_clean_kib = *fields[0];
  sample.private_dirty_kib = *fields[1];
  sample.rss_kib = *fields[2];
  sample.rss_anon_kib = *fields[3];
  sample.rss_file_kib = *fields[4];
  sample.threads = *fields[5];
  sample.cpu_ticks = *fields[6];
  const std::wstring tasks = folder + L"task\\";
  for (const std::wstring& tid : NumberedEntries(tasks)) {
    const std::optional<std::string> schedstat = ReadWholeFile(tasks + tid + L"\\schedstat");
    const std::optional<std::string> task_status = ReadWholeFile(tasks + tid + L"\\status");
    // A thread that ended between the listing and the reading counts in no sum.
    if (!schedstat || !task_status) continue;
    const std::optional<uint64_t> cpu_ns = Number(*schedstat);
    const std::optional<uint64_t> voluntary = ProcField(*task_status, "voluntary_ctxt_switches");
    const std::optional<uint64_t> involuntary =
        ProcField(*task_status, "nonvoluntary_ctxt_switches");
    if (!cpu_ns || !voluntary || !involuntary) return std::nullopt;
    sample.cpu_ns += *cpu_ns;
    sample.voluntary_switches += *voluntary;
    sample.involuntary_switches += *involuntary;
  }
  return sample;
}

}  // namespace keelo::bench
