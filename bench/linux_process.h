#ifndef BENCH_LINUX_PROCESS_H_
#define BENCH_LINUX_PROCESS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace keelo::bench {

// What Linux knows of the Wine process behind a Windows process, read from /proc through Wine's
// drive Z:. Wine says 0 for a process's private bytes and a constant for another process's CPU
// time, and counts no wake-ups; the kernel counts all three.
struct LinuxProcessSample {
  // smaps_rollup: resident pages that no other process maps, clean and dirty.
  uint64_t private_clean_kib = 0;
  uint64_t private_dirty_kib = 0;
  // status: VmRSS, and its anonymous and file-backed parts (RssAnon, RssFile).
  uint64_t rss_kib = 0;
  uint64_t rss_anon_kib = 0;
  uint64_t rss_file_kib = 0;
  // status: Threads, which counts Wine's own threads besides the program's.
  uint64_t threads = 0;
  // Summed over the threads alive now (task/<tid>/schedstat and task/<tid>/status): the time on a
  // CPU in nanoseconds, and the switches away from a CPU, voluntary ones (a thread going back to
  // sleep, once per wake-up) and involuntary ones (a thread preempted).
  uint64_t cpu_ns = 0;
  uint64_t voluntary_switches = 0;
  uint64_t involuntary_switches = 0;
  // stat: utime + stime in clock ticks (10 ms), which also keeps what ended threads used.
  uint64_t cpu_ticks = 0;

  uint64_t private_kib() const { return private_clean_kib + private_dirty_kib; }
};

// The Linux process id of the one Wine process that has |argument| among the arguments of its
// command line (Wine shows a program's Windows command line there); 0 when none or several do.
int FindLinuxProcess(const std::string& argument);

// None when the process is gone or a field is missing.
std::optional<LinuxProcessSample> SampleLinuxProcess(int pid);

// Where a process's Private_Dirty lies (smaps): KiB per file mapped, by its path, and per
// anonymous mapping, each under "[anon] <size in KiB>" (mappings of one size summed), so that a
// single large block stands out from many small ones.
std::map<std::string, uint64_t> PrivateDirtyByMapping(int pid);

// The value in kB of the line "<key>: <value> kB" of a /proc file such as status or
// smaps_rollup, or the number of a line "<key>: <value>"; none when there is no such line.
std::optional<uint64_t> ProcField(const std::string& text, const std::string& key);

}  // namespace keelo::bench

#endif  // BENCH_LINUX_PROCESS_H_
