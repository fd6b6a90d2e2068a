#include "devkit/apps/bench/idle_watch.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/text_conversion.h"
#include "devkit/apps/bench/bench_results.h"
#include "devkit/apps/bench/report_file.h"

namespace devkit {
namespace {

constexpr wchar_t kEngineLibrary[] = L"flutter_windows.dll";

ScopedHandle OpenNamedEvent(const std::string& name) {
  return ScopedHandle(OpenEventW(SYNCHRONIZE, FALSE, Utf8ToWide(name).c_str()));
}

// The whole process's user and kernel time in milliseconds, as the process sees it itself.
double OwnCpuMilliseconds() {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  // FILETIME counts 100 ns.
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

uint64_t Total(const std::vector<MessageCensus::Entry>& entries) {
  uint64_t total = 0;
  for (const MessageCensus::Entry& entry : entries) total += entry.count;
  return total;
}

std::string Hex(UINT message) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%04X", message);
  return text;
}

}  // namespace

std::unique_ptr<IdleWatch> IdleWatch::Start(const BenchOptions& options, std::string* error) {
  std::unique_ptr<IdleWatch> watch(new IdleWatch());
  watch->out_ = options.out;
  watch->start_ = OpenNamedEvent(options.control + "-start");
  watch->stop_ = OpenNamedEvent(options.control + "-stop");
  watch->quit_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!watch->start_ || !watch->stop_ || !watch->quit_) {
    *error = "cannot open the events " + options.control + "-start and -stop";
    return nullptr;
  }
  watch->census_ =
      MessageCensus::Install(GetModuleHandleW(kEngineLibrary), GetModuleHandleW(nullptr));
  if (watch->census_ == nullptr) {
    *error = "cannot hook the UI thread's messages (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  watch->thread_ = std::thread(&IdleWatch::Run, watch.get());
  return watch;
}

IdleWatch::~IdleWatch() {
  if (quit_) SetEvent(quit_.get());
  if (thread_.joinable()) thread_.join();
  census_.reset();
}

void IdleWatch::Run() {
  const HANDLE start_or_quit[] = {start_.get(), quit_.get()};
  if (WaitForMultipleObjects(2, start_or_quit, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  // What the start-up brought shows that the hook sees the thread's messages at all.
  const uint64_t before_window = Total(census_->Snapshot());
  census_->Reset();
  const double cpu_before = OwnCpuMilliseconds();
  const HANDLE stop_or_quit[] = {stop_.get(), quit_.get()};
  if (WaitForMultipleObjects(2, stop_or_quit, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  const double cpu_after = OwnCpuMilliseconds();

  uint64_t totals[3] = {};
  uint64_t sent = 0;
  BenchResults results;
  results.Add("messages_before_window", std::to_string(before_window));
  results.Add("process_cpu_ms", std::to_string(cpu_after - cpu_before));
  for (const MessageCensus::Entry& entry : census_->Snapshot()) {
    (entry.sent ? sent : totals[static_cast<int>(entry.origin)]) += entry.count;
    results.Add("message", std::string(OriginName(entry.origin)) +
                               (entry.sent ? " sent " : " posted ") + entry.window_class + " " +
                               Hex(entry.message) + " " + std::to_string(entry.count));
  }
  results.Add("sent_messages", std::to_string(sent));
  for (const MessageCensus::Origin origin :
       {MessageCensus::Origin::kEngine, MessageCensus::Origin::kHost,
        MessageCensus::Origin::kSystem}) {
    results.Add(std::string(OriginName(origin)) + "_messages",
                std::to_string(totals[static_cast<int>(origin)]));
  }
  if (!WriteReportFile(out_, results)) {
    std::fprintf(stderr, "bench app: cannot write the report to %s\n", out_.c_str());
  }
}

}  // namespace devkit
